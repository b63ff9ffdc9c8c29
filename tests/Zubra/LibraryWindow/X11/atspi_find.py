#!/usr/bin/python3
"""Finds showing elements in one process's windows, over the accessibility bus.

Usage: atspi_find.py PID ROLE [PREFIX]
Prints one line per showing element whose role name is ROLE (and whose name starts with PREFIX,
when given): "<x>\t<y>\t<width>\t<height>\t<name>", its extents on the screen. Line breaks in a
name are printed as "\\n". Exit status 2 when the process has no accessible application.
"""
import sys

import pyatspi


def walk(node, role, prefix, depth=0, budget=[20000]):
    if node is None or depth > 60 or budget[0] <= 0:
        return
    budget[0] -= 1
    try:
        if not node.getState().contains(pyatspi.STATE_SHOWING):
            return
        name = node.name or ""
        if node.getRoleName() == role and name.startswith(prefix):
            box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            shown = name.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", " ")
            print("%d\t%d\t%d\t%d\t%s" % (box.x, box.y, box.width, box.height, shown))
        for i in range(node.childCount):
            walk(node.getChildAtIndex(i), role, prefix, depth + 1)
    except Exception:  # an element that went away while walking
        return


def main():
    pid = int(sys.argv[1])
    role = sys.argv[2]
    prefix = sys.argv[3] if len(sys.argv) > 3 else ""
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                for j in range(app.childCount):
                    walk(app.getChildAtIndex(j), role, prefix)
                return 0
        except Exception:
            continue
    return 2


if __name__ == "__main__":
    sys.exit(main())
