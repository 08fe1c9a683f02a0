# -*- coding: utf-8 -*-
# What the upload and scan modules share: the port settings they both take, and running vantor with
# --json as an argument list (no shell ever sees a port name, a path or a tag) and reading its lines.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

# The options both modules take for the line, named as vantor's long options (documented once, in
# plugins/doc_fragments/line_settings.py).
LINE_SETTINGS_SPEC = dict(
    executable=dict(type="path", default="vantor"),
    data_bits=dict(type="int", choices=[7, 8]),
    parity=dict(type="str", choices=["none", "even", "odd"]),
    stop_bits=dict(type="int", choices=[1, 2]),
    timeout=dict(type="int"),
    dtr=dict(type="bool"),
    rts=dict(type="bool"),
    profile=dict(type="str"),
)


def find_vantor(module):
    """The tool's path on the station: the executable option as a path, else looked up in PATH."""
    executable = module.params["executable"]
    if "/" in executable:
        return executable
    return module.get_bin_path(executable, required=True)


def line_settings_args(params):
    """The command-line options for the settings given; those left out are the tool's (or the
    profile's) own."""
    args = []
    for name in ("data_bits", "parity", "stop_bits", "timeout"):
        if params.get(name) is not None:
            args.append("--%s=%s" % (name.replace("_", "-"), params[name]))
    for name in ("dtr", "rts"):
        if params.get(name) is not None:
            args.append("--%s=%s" % (name, "on" if params[name] else "off"))
    if params.get("profile"):
        args.append("--profile=" + params["profile"])
    return args


def run_json(module, argv):
    """Runs argv (a list, never through a shell) and returns (status, events, stderr lines): events
    are the JSON objects of standard output, in order. Fails the module when a line of standard
    output is not JSON, since then the tool is not the one these modules were written for."""
    status, out, err = module.run_command(argv, use_unsafe_shell=False, encoding="utf-8",
                                          errors="surrogate_or_strict")
    events = []
    for line in out.splitlines():
        if not line.strip():
            continue
        try:
            events.append(json.loads(line))
        except ValueError:
            module.fail_json(msg="vantor printed a line that is not JSON: %r" % line,
                             cmd=argv, rc=status, stdout=out, stderr=err)
    return status, events, err.splitlines()


def of_event(events, kind):
    return [e for e in events if e.get("event") == kind]
