#!/usr/bin/python
# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: upload
short_description: Upload a compiled PLC program (.VQC) to the PLCs on a station's lines
description:
  - Runs C(vantor upload --json) on the station with an argument list and returns each PLC's result
    line (the same line the record gets), the run's summary and the tool's exit status.
  - The lines run side by side, the PLCs of a line one after another, as the tool does.
  - In check mode the tool's dry run is used (C(vantor upload --dry-run)). The file is read as an
    upload would read it and each PLC gets the link test only; nothing else is sent, and no record is
    written on the station.
  - Linux stations. Windows stations are not supported.
version_added: 1.0.0
author:
  - Vantor Program Uploader developers
extends_documentation_fragment:
  - vantor.plc.line_settings
options:
  program:
    description:
      - The compiled program on the station (copy it there first, see the role C(vantor.plc.line)).
    type: path
    required: true
  lines:
    description:
      - The station's lines, each a port with the IDs of its PLCs.
      - Required unless I(profile) names the ports.
    type: list
    elements: dict
    suboptions:
      port:
        description:
          - A device such as C(/dev/ttyUSB0), a serial server's C(socket://HOST:PORT) or
            C(rfc2217://HOST:PORT), or any port name the tool takes.
        type: str
        required: true
      ids:
        description:
          - The PLCs' IDs in hexadecimal, as a list or ranges (C(01,02,05-0A)).
          - Give it on every line or on none (then the tool's default, C(01), or the profile's holds).
        type: str
  baud:
    description: Baud rate; the tool's default (38400), or the profile's, when left out.
    type: int
  attempts:
    description: Try the link test up to this many times (1 to 10) before giving up on a PLC.
    type: int
  reset:
    description: Reset each PLC after its upload.
    type: bool
    default: false
  verify_replies:
    description: Check every reply in full (FCS and end code), for PLCs that answer so.
    type: bool
    default: false
  record:
    description:
      - The record file on the station that each PLC's result line is appended to (created when
        missing; its folder must exist). Not written in check mode.
    type: path
  tags:
    description:
      - Tags each result line carries (C(--tag KEY=VALUE)), such as the station, site and line or a
        work order. Keys are letters, digits, C(_) and C(-); values are any text.
    type: dict
attributes:
  check_mode:
    support: full
    details: Runs the link test only, through the tool's dry run.
"""

EXAMPLES = r"""
- name: Upload conveyor.VQC to the PLCs of two lines
  vantor.plc.upload:
    program: /var/lib/vantor/conveyor.VQC
    lines:
      - port: /dev/ttyUSB0
        ids: 01-04
      - port: socket://10.0.3.22:4001
        ids: "01"
    baud: 38400
    attempts: 3
    record: /var/log/vantor/record.jsonl
    tags:
      station: "{{ inventory_hostname }}"
      work_order: WO-1187
  register: upload

- name: Upload with the ports and settings of the station's profile line3
  vantor.plc.upload:
    program: /var/lib/vantor/conveyor.VQC
    profile: line3
"""

RETURN = r"""
plcs:
  description:
    - Each PLC's result line as the tool printed it (C(event) C(result)); see the tool's
      C(docs/vantor-json.schema.json). In check mode the outcome is C(link-ok) for a PLC that answered.
  returned: when the tool ran
  type: list
  elements: dict
  sample:
    - {schema: 1, event: result, time: "2026-12-08T10:56:31.553Z", port: /dev/ttyUSB0, id: "01",
       status: 0, outcome: saved, records: 13, total: 13, seconds: 0.101, detail: null}
summary:
  description: The tool's last line, C(saved) and C(failed) counting the PLCs.
  returned: when the tool ran
  type: dict
  sample: {schema: 1, event: summary, saved: 2, failed: 0, version: 1.0.0}
status:
  description: The tool's exit status (0 saved, 12 some of several PLCs failed, 15 the dry run's link test answered, ...).
  returned: always
  type: int
failed_plcs:
  description: C(PORT ID) of each PLC that was not saved (in check mode, that did not answer the link test).
  returned: always
  type: list
  elements: str
would_upload:
  description: C(PORT ID) of each PLC that answered the link test, so an upload would be tried there.
  returned: in check mode
  type: list
  elements: str
cmd:
  description: The argument list the tool ran with.
  returned: always
  type: list
  elements: str
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vantor.plc.plugins.module_utils.vantor import (
    LINE_SETTINGS_SPEC, find_vantor, line_settings_args, of_event, run_json)

# The exit statuses of a run that went as asked: every PLC saved, or (dry run) every PLC answered.
DONE = 0
LINK_ANSWERED = 15


def line_args(module, lines):
    """-p PORT --id IDS per line. An --id is for the ports before it, so IDs given on some lines only
    would land on the wrong ones: that is refused here."""
    with_ids = [line for line in lines if line.get("ids")]
    if with_ids and len(with_ids) != len(lines):
        module.fail_json(msg="lines: give ids on every line or on none")
    args = []
    for line in lines:
        args.append("--port=" + line["port"])
        if line.get("ids"):
            args.append("--id=" + line["ids"])
    return args


def upload_argv(module):
    p = module.params
    argv = [find_vantor(module), "upload", "--json"]
    argv += line_args(module, p["lines"] or [])
    if p["baud"] is not None:
        argv.append("--baud=%d" % p["baud"])
    argv += line_settings_args(p)
    if p["attempts"] is not None:
        argv.append("--attempts=%d" % p["attempts"])
    if p["reset"]:
        argv.append("--reset")
    if p["verify_replies"]:
        argv.append("--verify-replies")
    if module.check_mode:
        argv.append("--dry-run")
    elif p["record"]:
        argv.append("--record=" + p["record"])
    for key, value in (p["tags"] or {}).items():
        argv.append("--tag=%s=%s" % (key, value))
    return argv + ["--", p["program"]]


def plc_name(result):
    return "%s %s" % (result.get("port"), result.get("id"))


def main():
    spec = dict(
        program=dict(type="path", required=True),
        lines=dict(type="list", elements="dict", options=dict(
            port=dict(type="str", required=True),
            ids=dict(type="str"))),
        baud=dict(type="int"),
        attempts=dict(type="int"),
        reset=dict(type="bool", default=False),
        verify_replies=dict(type="bool", default=False),
        record=dict(type="path"),
        tags=dict(type="dict"),
    )
    spec.update(LINE_SETTINGS_SPEC)
    module = AnsibleModule(argument_spec=spec, required_one_of=[("lines", "profile")],
                           supports_check_mode=True)

    argv = upload_argv(module)
    status, events, stderr = run_json(module, argv)
    results = of_event(events, "result")
    summaries = of_event(events, "summary")
    if not results:
        # Nothing reached a PLC: a bad command line, a profile that does not parse, a record file
        # that cannot be opened. The tool said why on standard error.
        module.fail_json(msg="vantor upload failed (exit status %d): %s" % (status, " ".join(stderr)),
                         status=status, cmd=argv, failed_plcs=[], stderr="\n".join(stderr))

    went_well = "link-ok" if module.check_mode else "saved"
    failed = [r for r in results if r.get("outcome") != went_well]
    reply = dict(plcs=results, summary=summaries[-1] if summaries else None, status=status, cmd=argv,
                 failed_plcs=[plc_name(r) for r in failed], stderr="\n".join(stderr),
                 changed=len(failed) < len(results))
    if module.check_mode:
        reply["would_upload"] = [plc_name(r) for r in results if r.get("outcome") == went_well]
    if failed or status not in (DONE, LINK_ANSWERED):
        why = ["PLC %s on %s: %s%s" % (r.get("id"), r.get("port"), r.get("outcome"),
                                       " (%s)" % r["detail"] if r.get("detail") else "") for r in failed]
        if not why:
            # Every PLC went well, yet the run did not: the record file failed mid-run (14).
            why = ["exit status %d: %s" % (status, " ".join(stderr[-1:]))]
        module.fail_json(msg="; ".join(why), **reply)
    saved = len(results) - len(failed)
    reply["msg"] = ("%d PLCs would be uploaded" if module.check_mode else "%d PLCs saved") % saved
    module.exit_json(**reply)


if __name__ == "__main__":
    main()
