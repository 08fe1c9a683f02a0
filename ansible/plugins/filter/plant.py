# -*- coding: utf-8 -*-
# The controller's side of the role vantor.plc.line: every station's result lines of this run in one
# plant record, and one table of every PLC's outcome, the stations that failed before any PLC was
# tried among them.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json


def _upload_of(hostvars, host, var):
    return hostvars[host].get(var) if host in hostvars else None


def plant_lines(hostvars, hosts, var="vantor_upload"):
    """Every PLC's result line that the stations' upload (registered as var) returned, sorted by
    time (the tool's UTC stamps sort as text), a tie kept in the stations' order."""
    lines = []
    for host in hosts:
        upload = _upload_of(hostvars, host, var) or {}
        lines.extend(upload.get("plcs") or [])
    return sorted(lines, key=lambda line: line.get("time", ""))


def json_lines(lines):
    """JSON Lines as the tool writes them: one compact object a line, text as UTF-8."""
    return "".join(json.dumps(line, separators=(",", ":"), ensure_ascii=False) + "\n" for line in lines)


def outcome_table(hostvars, hosts, var="vantor_upload"):
    """One row per PLC of each station, in the stations' order and by port and ID within one, and a
    row for a station that returned no PLC at all (it failed before the upload, or the tool refused
    the run)."""
    rows = [("STATION", "PORT", "ID", "OUTCOME", "SECONDS", "DETAIL")]
    for host in hosts:
        upload = _upload_of(hostvars, host, var)
        plcs = sorted((upload or {}).get("plcs") or [], key=lambda plc: (plc.get("port", ""), plc.get("id", "")))
        for plc in plcs:
            rows.append((host, plc.get("port", ""), plc.get("id", ""), plc.get("outcome", ""),
                         "%.3f" % plc.get("seconds", 0), plc.get("detail") or ""))
        if not plcs:
            why = (upload or {}).get("msg") or "the station failed before the upload"
            rows.append((host, "-", "-", "not-run", "-", why))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]) - 1)]
    return [(" ".join(cell.ljust(widths[i]) for i, cell in enumerate(row[:-1])) + " " + row[-1]).rstrip()
            for row in rows]


class FilterModule(object):
    def filters(self):
        return {
            "plant_lines": plant_lines,
            "json_lines": json_lines,
            "outcome_table": outcome_table,
        }
