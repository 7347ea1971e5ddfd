#!/usr/bin/python3
"""Reads one application's accessible tree from the accessibility bus, as a screen reader does.

Prints one JSON object: "controls", every showing control that can take the keyboard focus, and
"focused", the one that has it (or null). Each is {"role", "name", "description", "states"}.
Usage: accessible_controls.py PID
"""
import json
import sys
import time

import pyatspi


def describe(accessible):
    states = accessible.getState()
    return {
        "role": accessible.getRoleName(),
        "name": accessible.name or "",
        "description": accessible.description or "",
        "states": sorted(pyatspi.stateToString(state) for state in states.getStates()),
    }


def walk(accessible, found):
    states = accessible.getState()
    if not states.contains(pyatspi.STATE_SHOWING):
        return
    if states.contains(pyatspi.STATE_FOCUSABLE):
        found["controls"].append(describe(accessible))
    if states.contains(pyatspi.STATE_FOCUSED):
        found["focused"] = describe(accessible)
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is not None:
            walk(child, found)


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        candidate = desktop.getChildAtIndex(index)
        if candidate is not None and candidate.get_process_id() == pid:
            return candidate
    return None


def main():
    pid = int(sys.argv[1])
    # The application registers itself a moment after it starts.
    deadline = time.monotonic() + 30
    found_application = application(pid)
    while found_application is None and time.monotonic() < deadline:
        time.sleep(0.1)
        found_application = application(pid)
    if found_application is None:
        print(f"no application with process {pid} on the accessibility bus", file=sys.stderr)
        return 1
    found = {"controls": [], "focused": None}
    for window in range(found_application.childCount):
        walk(found_application.getChildAtIndex(window), found)
    json.dump(found, sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main())
