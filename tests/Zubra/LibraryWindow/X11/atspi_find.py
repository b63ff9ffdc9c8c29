#!/usr/bin/python3
"""Finds showing elements in one process's windows, over the accessibility bus.

Usage: atspi_find.py PID ROLE [PREFIX]
Prints one line per showing element whose role name is ROLE (and whose name starts with PREFIX,
when given): "<x>\t<y>\t<width>\t<height>\t<name>", its extents on the screen. Line breaks in a
name are printed as "\\n". Exit status 2 when the process has no accessible application.
"""
import sys

import pyatspi

from atspi_walk import visit_showing


def main():
    pid = int(sys.argv[1])
    role = sys.argv[2]
    prefix = sys.argv[3] if len(sys.argv) > 3 else ""

    def visit(node):
        name = node.name or ""
        if node.getRoleName() == role and name.startswith(prefix):
            box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            shown = name.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", " ")
            print("%d\t%d\t%d\t%d\t%s" % (box.x, box.y, box.width, box.height, shown))

    return visit_showing(pid, visit)


if __name__ == "__main__":
    sys.exit(main())
