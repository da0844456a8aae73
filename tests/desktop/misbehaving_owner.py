#!/usr/bin/python3
"""A clipboard owner that misbehaves, for desktop tests (python3-xlib).

Usage: misbehaving_owner.py MODE [TEXT]

silent   takes the CLIPBOARD and never answers a request, as a program that
         hangs does.
busy     offers TEXT (UTF8_STRING, with TARGETS and TIMESTAMP) but answers
         nothing in its first 2.5 s, as a program busy just after its copy.
trickle  offers TEXT and sends it in pieces (INCR) of 64 bytes, one every
         1.5 s, as a program stalling in the middle of a transfer.

Prints "ready" on stdout once it owns the clipboard; runs until killed.
"""
import sys
import time

from Xlib import X, Xatom, display
from Xlib.protocol import event

BUSY_FOR = 2.5
PIECE = 64
PIECE_EVERY = 1.5


class Owner:
    def __init__(self, text):
        self.connection = display.Display()
        self.window = self.connection.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
        self.atom = self.connection.intern_atom
        self.clipboard = self.atom("CLIPBOARD")
        self.text = text.encode()
        # A real timestamp, read back from a property change, as well-behaved owners use.
        self.window.change_attributes(event_mask=X.PropertyChangeMask)
        self.window.change_property(self.atom("OWNER_TIME"), Xatom.STRING, 8, b"")
        while True:
            e = self.connection.next_event()
            if e.type == X.PropertyNotify:
                self.time = e.time
                break
        self.window.set_selection_owner(self.clipboard, self.time)
        if self.connection.get_selection_owner(self.clipboard) != self.window:
            sys.exit("could not take the clipboard")

    def answer(self, request, prop, type_=None, format_=8, data=b""):
        if prop != X.NONE:
            request.requestor.change_property(prop, type_, format_, data)
        notify = event.SelectionNotify(time=request.time, requestor=request.requestor, selection=request.selection,
                                       target=request.target, property=prop)
        request.requestor.send_event(notify)
        self.connection.flush()

    def serve(self, request, trickle):
        target, prop = request.target, request.property or request.target
        if target == self.atom("TARGETS"):
            targets = [self.atom(name) for name in ("TARGETS", "TIMESTAMP", "UTF8_STRING")]
            self.answer(request, prop, Xatom.ATOM, 32, targets)
        elif target == self.atom("TIMESTAMP"):
            self.answer(request, prop, Xatom.INTEGER, 32, [self.time])
        elif target == self.atom("UTF8_STRING") and trickle:
            request.requestor.change_attributes(event_mask=X.PropertyChangeMask)
            self.answer(request, prop, self.atom("INCR"), 32, [len(self.text)])
            for start in range(0, len(self.text) + 1, PIECE):
                self.wait_for_deletion(request.requestor, prop)
                time.sleep(PIECE_EVERY)
                request.requestor.change_property(prop, self.atom("UTF8_STRING"), 8, self.text[start:start + PIECE])
                self.connection.flush()
        elif target == self.atom("UTF8_STRING"):
            self.answer(request, prop, self.atom("UTF8_STRING"), 8, self.text)
        else:
            self.answer(request, X.NONE)

    def wait_for_deletion(self, window, prop):
        while True:
            e = self.connection.next_event()
            if e.type == X.PropertyNotify and e.window == window and e.atom == prop and e.state == X.PropertyDelete:
                return

    def run(self, mode):
        print("ready", flush=True)
        started = time.monotonic()
        while True:
            e = self.connection.next_event()
            if mode == "silent" or e.type != X.SelectionRequest:
                continue  # requests are taken and left unanswered
            if mode == "busy":
                time.sleep(max(0.0, started + BUSY_FOR - time.monotonic()))
            self.serve(e, trickle=mode == "trickle")


def main():
    modes = ("silent", "busy", "trickle")
    if len(sys.argv) not in (2, 3) or sys.argv[1] not in modes:
        sys.exit(__doc__)
    Owner(sys.argv[2] if len(sys.argv) == 3 else "").run(sys.argv[1])


if __name__ == "__main__":
    main()
