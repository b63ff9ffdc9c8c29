"""The walk the AT-SPI helper scripts share: one process's showing elements, over the
accessibility bus, each handed to a visitor; bounded in depth and in the number of elements.
"""
import pyatspi


def _walk(node, visit, depth, budget):
    if node is None or depth > 60 or budget[0] <= 0:
        return
    budget[0] -= 1
    try:
        if not node.getState().contains(pyatspi.STATE_SHOWING):
            return
        visit(node)
        for i in range(node.childCount):
            _walk(node.getChildAtIndex(i), visit, depth + 1, budget)
    except Exception:  # an element that went away while walking
        return


def visit_showing(pid, visit):
    """Calls visit(element) for each showing element of the process's windows. Returns the
    exit status: 0, or 2 when the process has no accessible application."""
    desktop = pyatspi.Registry.getDesktop(0)
    budget = [20000]
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                for j in range(app.childCount):
                    _walk(app.getChildAtIndex(j), visit, 0, budget)
                return 0
        except Exception:
            continue
    return 2
