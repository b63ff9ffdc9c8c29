#!/usr/bin/python3
"""Lists the controls a screen reader finds in one process's windows, over the accessibility bus.

Usage: atspi_controls.py PID
Prints one line per showing control: "<role>\t<name>" (the name may be empty). Exit status 2
when the process has no accessible application.
"""
import sys

import pyatspi

from atspi_walk import visit_showing

CONTROL_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON,
    pyatspi.ROLE_TOGGLE_BUTTON,
    pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_COMBO_BOX,
    pyatspi.ROLE_ENTRY,
    pyatspi.ROLE_LIST,
}
if hasattr(pyatspi, "ROLE_PUSH_BUTTON_MENU"):
    CONTROL_ROLES.add(pyatspi.ROLE_PUSH_BUTTON_MENU)


def main():
    def visit(node):
        if node.getRole() in CONTROL_ROLES:
            name = (node.name or "").replace("\t", " ").replace("\n", " ")
            print(node.getRoleName() + "\t" + name)

    return visit_showing(int(sys.argv[1]), visit)


if __name__ == "__main__":
    sys.exit(main())
