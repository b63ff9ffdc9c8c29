#!/usr/bin/python3
"""Lists the controls a screen reader finds in one process's windows, over the accessibility bus.

Usage: atspi_controls.py PID
Prints one line per showing control: "<role>\t<name>" (the name may be empty). Exit status 2
when the process has no accessible application.
"""
import sys

import pyatspi

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


def walk(node, depth=0, budget=[20000]):
    if node is None or depth > 60 or budget[0] <= 0:
        return
    budget[0] -= 1
    try:
        states = node.getState()
        if not states.contains(pyatspi.STATE_SHOWING):
            return
        if node.getRole() in CONTROL_ROLES:
            name = (node.name or "").replace("\t", " ").replace("\n", " ")
            print(node.getRoleName() + "\t" + name)
        for i in range(node.childCount):
            walk(node.getChildAtIndex(i), depth + 1)
    except Exception:  # a control that went away while walking
        return


def main():
    pid = int(sys.argv[1])
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                for j in range(app.childCount):
                    walk(app.getChildAtIndex(j))
                return 0
        except Exception:
            continue
    return 2


if __name__ == "__main__":
    sys.exit(main())
