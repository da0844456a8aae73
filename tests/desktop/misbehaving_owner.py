#!/usr/bin/python3
"""A clipboard owner that misbehaves, for desktop tests (python3-xlib).

Usage: misbehaving_owner.py MODE [TEXT]

silent    takes the CLIPBOARD and never answers a request, as a program that
          hangs does.
busy      offers TEXT (UTF8_STRING, with TARGETS and TIMESTAMP) but answers
          nothing in its first 2.5 s, as a program busy just after its copy.
trickle   offers TEXT and sends it in pieces (INCR) of 64 bytes, one every
          1.5 s, as a program stalling in the middle of a transfer.
dies      offers TEXT repeated to 4 MiB and sends it in pieces (INCR) of
          64 KiB, but exits after the eighth, as a program that crashes in the
          middle of a large transfer.
mistyped  offers TEXT as UTF8_STRING but answers with a PNG image typed
          image/png, a type it never offered.
empty     offers TEXT as UTF8_STRING but answers with zero bytes.
many      offers 500 types: TARGETS, TIMESTAMP, 497 of its own
          (application/x-many-N, each answered with "bytes of N") and TEXT as
          UTF8_STRING last.
flood     offers TEXT and sends pieces (INCR) of 64 KiB as fast as they are
          taken, without end.

Prints "ready" on stdout once it owns the clipboard, then "request TARGET"
for each request it gets; runs until killed (dies: says "died after N pieces"
and exits).
"""
import os
import struct
import sys
import time
import zlib

from Xlib import X, Xatom, display
from Xlib.protocol import event

BUSY_FOR = 2.5
PIECE = 64
PIECE_EVERY = 1.5
LARGE_PIECE = 64 * 1024
DIES_SIZE = 4 * 1024 * 1024
DIES_AFTER_PIECES = 8
MANY_TYPES = 500


def png():
    """A 1 x 1 PNG."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"\0\xff\0\0")) + \
        chunk(b"IEND", b"")


class Owner:
    def __init__(self, mode, text):
        self.mode = mode
        self.connection = display.Display()
        self.window = self.connection.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
        self.atom = self.connection.intern_atom
        self.clipboard = self.atom("CLIPBOARD")
        self.text = text.encode()
        own = [f"application/x-many-{i}" for i in range(MANY_TYPES - 3)] if mode == "many" else []
        self.targets = ["TARGETS", "TIMESTAMP"] + own + ["UTF8_STRING"]
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

    def serve(self, request):
        target, prop = request.target, request.property or request.target
        name = self.connection.get_atom_name(target)
        utf8 = self.atom("UTF8_STRING")
        if target == self.atom("TARGETS"):
            self.answer(request, prop, Xatom.ATOM, 32, [self.atom(offered) for offered in self.targets])
        elif target == self.atom("TIMESTAMP"):
            self.answer(request, prop, Xatom.INTEGER, 32, [self.time])
        elif target == utf8 and self.mode == "trickle":
            self.send_in_pieces(request, prop, [self.text[i:i + PIECE] for i in range(0, len(self.text) + 1, PIECE)],
                                pause=PIECE_EVERY)
        elif target == utf8 and self.mode == "dies":
            whole = (self.text * (DIES_SIZE // max(len(self.text), 1) + 1))[:DIES_SIZE]
            pieces = [whole[i:i + LARGE_PIECE] for i in range(0, DIES_AFTER_PIECES * LARGE_PIECE, LARGE_PIECE)]
            self.send_in_pieces(request, prop, pieces, size=len(whole))
            print("died after", len(pieces), "pieces", flush=True)
            os._exit(0)  # no goodbye: the connection just closes
        elif target == utf8 and self.mode == "flood":
            piece = (self.text * (LARGE_PIECE // max(len(self.text), 1) + 1))[:LARGE_PIECE]
            self.send_in_pieces(request, prop, iter(lambda: piece, None))
        elif target == utf8 and self.mode == "mistyped":
            self.answer(request, prop, self.atom("image/png"), 8, png())
        elif target == utf8 and self.mode == "empty":
            self.answer(request, prop, utf8, 8, b"")
        elif target == utf8:
            self.answer(request, prop, utf8, 8, self.text)
        elif name in self.targets:
            self.answer(request, prop, target, 8, f"bytes of {name.rsplit('-', 1)[-1]}".encode())
        else:
            self.answer(request, X.NONE)

    def send_in_pieces(self, request, prop, pieces, size=0, pause=0.0):
        """INCR: announces `size`, then sends each piece once the requestor took the one before."""
        request.requestor.change_attributes(event_mask=X.PropertyChangeMask)
        self.answer(request, prop, self.atom("INCR"), 32, [size])
        for piece in pieces:
            self.wait_for_deletion(request.requestor, prop)
            time.sleep(pause)
            request.requestor.change_property(prop, request.target, 8, piece)
            self.connection.flush()

    def wait_for_deletion(self, window, prop):
        while True:
            e = self.connection.next_event()
            if e.type == X.PropertyNotify and e.window == window and e.atom == prop and e.state == X.PropertyDelete:
                return

    def run(self):
        print("ready", flush=True)
        started = time.monotonic()
        while True:
            e = self.connection.next_event()
            if e.type != X.SelectionRequest:
                continue
            print("request", self.connection.get_atom_name(e.target), flush=True)
            if self.mode == "silent":
                continue  # requests are taken and left unanswered
            if self.mode == "busy":
                time.sleep(max(0.0, started + BUSY_FOR - time.monotonic()))
            self.serve(e)


def main():
    modes = ("silent", "busy", "trickle", "dies", "mistyped", "empty", "many", "flood")
    if len(sys.argv) not in (2, 3) or sys.argv[1] not in modes:
        sys.exit(__doc__)
    Owner(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else "").run()


if __name__ == "__main__":
    main()
