#!/usr/bin/env python3
"""Prints the accessible tree of one application as a screen reader reads it over AT-SPI.

Usage: accessible_tree.py APP_NAME [press NAME]...

Waits until the application with APP_NAME is on the accessibility bus. Each "press NAME" runs the
default action of the first visible object called NAME, then waits for the tree to settle. Prints one
line per object with a name or a role of its own: depth, role, name and states, tab separated.
"""
import sys
import time

import pyatspi


def find_app(name, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            if app is not None and app.name == name:
                return app
        time.sleep(0.1)
    sys.exit(f"no application {name!r} on the accessibility bus")


def walk(node, depth=0):
    yield depth, node
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            yield from walk(child, depth + 1)


STATE_NAMES = {
    pyatspi.STATE_VISIBLE: "visible",
    pyatspi.STATE_SELECTED: "selected",
    pyatspi.STATE_CHECKED: "checked",
    pyatspi.STATE_SHOWING: "showing",
    pyatspi.STATE_ENABLED: "enabled",
}


def press(app, name):
    for _, node in walk(app):
        if node.name == name and node.getState().contains(pyatspi.STATE_VISIBLE):
            action = node.queryAction()
            for index in range(action.nActions):
                if action.getName(index) in ("press", "Press", "click", "toggle"):
                    action.doAction(index)
                    return
            action.doAction(0)
            return
    sys.exit(f"nothing called {name!r} to press")


def main():
    app = find_app(sys.argv[1])
    steps = sys.argv[2:]
    while steps:
        verb, name, steps = steps[0], steps[1], steps[2:]
        assert verb == "press", verb
        press(app, name)
        time.sleep(0.6)
    for depth, node in walk(app):
        role = node.getRoleName()
        if not node.name and role in ("filler", "unknown", "panel"):
            continue
        states = node.getState()
        marks = [label for state, label in STATE_NAMES.items() if states.contains(state)]
        print(f"{depth}\t{role}\t{node.name}\t{','.join(marks)}", flush=True)


if __name__ == "__main__":
    main()
