# -*- coding: utf-8 -*-
# The options of the line that the upload and scan modules both take (plugins/module_utils/vantor.py).
from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    DOCUMENTATION = r"""
options:
  executable:
    description:
      - The vantor program on the station, as a path or a name looked up in C(PATH).
    type: path
    default: vantor
  data_bits:
    description: Data bits; the tool's default (8), or the profile's, when left out.
    type: int
    choices: [7, 8]
  parity:
    description: Parity; the tool's default (none), or the profile's, when left out.
    type: str
    choices: [none, even, odd]
  stop_bits:
    description: Stop bits; the tool's default (1), or the profile's, when left out.
    type: int
    choices: [1, 2]
  timeout:
    description:
      - How long to wait for each answer, in milliseconds; the tool's default when left out.
      - C(0) means 1000 ms for the ENQ handshake and 500 ms for a response.
    type: int
  dtr:
    description: DTR while the port is open; the tool's default (on) when left out.
    type: bool
  rts:
    description: RTS while the port is open; the tool's default (on) when left out.
    type: bool
  profile:
    description:
      - A profile of the station's C(vantor.toml) (C(~/.config/vantor/vantor.toml) of the user Ansible
        connects as) whose options are taken under those given here.
    type: str
notes:
  - vantor runs with an argument list, never through a shell, so port names, paths and tags reach it
    as plain text.
"""
