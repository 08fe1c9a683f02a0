#!/usr/bin/python
# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: scan
short_description: Find the PLCs that answer on a station's ports
description:
  - Runs C(vantor scan --json) on the station with an argument list. That is the link test (which
    changes nothing in a PLC) to each ID at each baud rate on each port, the ports side by side.
  - Returns every reply as structured data, and the PLCs found as the fact C(vantor_plcs).
  - Nothing in a PLC changes, so it runs in check mode too.
  - Linux stations. Windows stations are not supported.
version_added: 1.0.0
author:
  - Vantor Program Uploader developers
extends_documentation_fragment:
  - vantor.plc.line_settings
options:
  ports:
    description:
      - The ports to scan; when left out, the profile's, else every port the station lists.
    type: list
    elements: str
  baud:
    description: Baud rates to try on each port, one after another; the tool's default (38400) when left out.
    type: list
    elements: int
  ids:
    description: The IDs to ask, as a list or ranges (C(00-1F), the tool's default, when left out).
    type: str
attributes:
  check_mode:
    support: full
  facts:
    support: full
"""

EXAMPLES = r"""
- name: Find the PLCs on the station's two adapters at two baud rates
  vantor.plc.scan:
    ports: [/dev/ttyUSB0, /dev/ttyUSB1]
    baud: [9600, 38400]
    ids: 01-08

- name: Show what answered
  ansible.builtin.debug:
    msg: "{{ vantor_plcs | map(attribute='id') | list }}"
"""

RETURN = r"""
found:
  description:
    - Every reply as it came (C(event) C(found) of the tool's JSON), with C(port), C(baud), C(id),
      C(kind), C(answered_as) and C(reply).
    - C(kind) is C(echo) (that PLC), C(late) (that PLC, after its wait), C(other-id) (another PLC
      answered, as C(answered_as)) or C(garbled) (no PLC's echo).
  returned: when the tool ran
  type: list
  elements: dict
  sample:
    - {port: /dev/ttyUSB0, baud: 38400, id: "01", kind: echo, answered_as: "01", reply: "@01C20030*"}
summary:
  description: The tool's last line (C(found), C(other_replies), C(interrupted)).
  returned: when the tool ran
  type: dict
status:
  description: The tool's exit status (0 a PLC answered, 7 none did).
  returned: always
  type: int
ansible_facts:
  description: The PLCs found.
  returned: when the tool ran
  type: dict
  contains:
    vantor_plcs:
      description: The replies of kind C(echo) or C(late), each C(port), C(baud), C(id) and C(kind).
      type: list
      elements: dict
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vantor.plc.plugins.module_utils.vantor import (
    LINE_SETTINGS_SPEC, find_vantor, line_settings_args, of_event, run_json)

# scan's exit statuses for a scan that ran to its end: a PLC answered, or none did.
ANSWERED = 0
NONE_ANSWERED = 7


def scan_argv(module):
    p = module.params
    argv = [find_vantor(module), "scan", "--json"]
    argv += ["--port=" + port for port in p["ports"] or []]
    if p["baud"]:
        argv.append("--baud=" + ",".join(str(b) for b in p["baud"]))
    if p["ids"]:
        argv.append("--id=" + p["ids"])
    return argv + line_settings_args(p)


def main():
    spec = dict(
        ports=dict(type="list", elements="str"),
        baud=dict(type="list", elements="int"),
        ids=dict(type="str"),
    )
    spec.update(LINE_SETTINGS_SPEC)
    module = AnsibleModule(argument_spec=spec, supports_check_mode=True)

    argv = scan_argv(module)
    status, events, stderr = run_json(module, argv)
    summaries = of_event(events, "scan-summary")
    if status not in (ANSWERED, NONE_ANSWERED) or not summaries:
        module.fail_json(msg="vantor scan failed (exit status %d): %s" % (status, " ".join(stderr)),
                         status=status, cmd=argv, stderr="\n".join(stderr))
    found = [dict((k, v) for k, v in e.items() if k not in ("schema", "event"))
             for e in of_event(events, "found")]
    plcs = [dict(port=f["port"], baud=f["baud"], id=f["id"], kind=f["kind"])
            for f in found if f["kind"] in ("echo", "late")]
    module.exit_json(changed=False, found=found, summary=summaries[-1], status=status, cmd=argv,
                     ansible_facts=dict(vantor_plcs=plcs),
                     msg="%d PLCs answered" % len(plcs))


if __name__ == "__main__":
    main()
