#!/usr/bin/python3
"""Reads one application's accessible tree from the accessibility bus, as a screen reader does.

Prints a line "ROLE<TAB>NAME" for every showing control that can take the keyboard focus, the one
that has it marked by a leading "*". Usage: accessible_controls.py PID
"""
import sys
import time

import pyatspi


def walk(accessible):
    states = accessible.getState()
    if not states.contains(pyatspi.STATE_SHOWING):
        return
    if states.contains(pyatspi.STATE_FOCUSABLE):
        mark = "*" if states.contains(pyatspi.STATE_FOCUSED) else ""
        print(f"{mark}{accessible.getRoleName()}\t{accessible.name or ''}")
    for child in accessible:
        if child is not None:
            walk(child)


def main():
    pid = int(sys.argv[1])
    # The application registers itself a moment after it starts.
    for _ in range(300):
        found = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.get_process_id() == pid]
        if found:
            for window in found[0]:
                walk(window)
            return 0
        time.sleep(0.1)
    print(f"no application with process {pid} on the accessibility bus", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
