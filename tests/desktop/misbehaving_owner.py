#!/usr/bin/python3
"""A clipboard owner that misbehaves, for desktop tests (python3-xlib).

Usage: misbehaving_owner.py silent

silent: takes the CLIPBOARD and never answers a request, as a program that
hangs does.

Prints "ready" on stdout once it owns the clipboard; runs until killed.
"""
import sys

from Xlib import X, display


def main():
    if sys.argv[1:] != ["silent"]:
        sys.exit(__doc__)
    connection = display.Display()
    screen = connection.screen()
    window = screen.root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    clipboard = connection.intern_atom("CLIPBOARD")
    window.set_selection_owner(clipboard, X.CurrentTime)
    if connection.get_selection_owner(clipboard) != window:
        sys.exit("could not take the clipboard")
    print("ready", flush=True)
    while True:
        connection.next_event()  # requests are taken and left unanswered


if __name__ == "__main__":
    main()
