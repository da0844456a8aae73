#!/usr/bin/python3
"""Clipboard owners that misbehave, against the running app, under Xvfb with trayer.

Usage: hostile_owner_test.py PATH_TO_BRINDLEMUX

Each owner is misbehaving_owner.py in one of its modes. Whatever the owner
does, the app stays up, is free again within a bound the transfer pace sets,
records only what it was actually given, prints nothing, and records the next
ordinary copy as usual. Runs with Debian's python3, which has python3-xlib.
"""
import json
import os
import select
import subprocess
import sys
import time

from Xlib import X, display
from Xlib.protocol import event

import app_harness
from app_harness import HISTORY, AppTestCase, read_file
from processes import stop, wait_for

MISBEHAVING_OWNER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "misbehaving_owner.py")

# The app waits at most 2 s (the transfer pace's patience) for each answer and
# gives a change up at its second unanswered read, so a silent owner holds it
# 4 s; the others answer at once or die. 1.5 s more for a shared, loaded machine.
PATIENCE = 2.0
HOLD_BOUND = 2 * PATIENCE + 1.5
# Once free, the app reads an xclip copy in a few round trips, each answered at
# once: waiting for a whole patience would mean a read went unanswered.
NEXT_COPY_BOUND = PATIENCE


class MainLoopProbe:
    """Asks whether the app's event loop runs: Qt answers _NET_WM_PING, sent to
    any of its windows, from that loop, echoing it to the root window for the
    clients that watch the root's structure."""

    def __init__(self):
        self.connection = display.Display(app_harness.DISPLAY)
        self.root = self.connection.screen().root
        self.root.change_attributes(event_mask=X.StructureNotifyMask)
        self.protocols = self.connection.intern_atom("WM_PROTOCOLS")
        self.ping = self.connection.intern_atom("_NET_WM_PING")
        self.token = 0

    def close(self):
        self.connection.close()

    def answered(self, window, timeout):
        self.token += 1
        target = self.connection.create_resource_object("window", window)
        target.send_event(event.ClientMessage(window=target, client_type=self.protocols,
                                              data=(32, [self.ping, self.token, window, 0, 0])))
        self.connection.flush()
        deadline = time.monotonic() + timeout
        while True:
            while self.connection.pending_events():
                e = self.connection.next_event()
                if e.type == X.ClientMessage and e.client_type == self.protocols and \
                        list(e.data[1][:2]) == [self.ping, self.token]:
                    return True
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            select.select([self.connection.fileno()], [], [], left)


class HostileOwnerTest(AppTestCase):
    def setUp(self):
        super().setUp()
        self.probe = MainLoopProbe()

    def tearDown(self):
        self.probe.close()
        super().tearDown()

    def history(self, app):
        try:
            return json.loads(read_file(os.path.join(app.data, HISTORY)))
        except (OSError, ValueError):  # not saved yet
            return []

    def copy_without_asking(self, text):
        """Copies with xclip. Copier.copy would check the copy with xclip -o, which can ask the hostile owner
        before xclip takes over, and wait for it without end."""
        owner = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard"], env=app_harness.x_env(),
                                 stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        owner.stdin.write(text.encode())
        owner.stdin.close()
        self.copier.processes.append(owner)

    def test_hostile_owners_hold_the_app_up_briefly_and_give_only_what_they_sent(self):
        text = "offered by a hostile owner"
        # mode, the text entries the owner's copy should leave, a check of what the owner printed
        cases = (
            # Its list is asked for twice (an owner busy just after its copy gets a second chance), then nothing.
            ("silent", [], lambda said: self.assertIn(said, (["request TARGETS"], ["request TARGETS"] * 2))),
            # The text was read in pieces until the owner died, with 512 KiB of 4 MiB sent: no part is an entry.
            ("dies", [], lambda said: self.assertEqual(said[-2:], ["request UTF8_STRING", "died after 8 pieces"])),
            # Its answer claims a type it never offered: not the text asked for, nor anything else.
            ("mistyped", [], lambda said: self.assertEqual(said.count("request UTF8_STRING"), 1)),
            # Zero bytes of text from a live owner are an empty text, which is recorded like any other.
            ("empty", [""], lambda said: self.assertEqual(said.count("request UTF8_STRING"), 1)),
            # Capture needs the list and the text; none of the owner's own 497 types is read.
            ("many", [text], lambda said: self.assertEqual(
                [line for line in said if line.startswith("request application/x-many-")], [])),
        )
        app = self.launch_and_wait()
        window = int(app.tray_window())
        self.copier.copy("before")
        self.assertTrue(wait_for(lambda: [entry["content"]["value"] for entry in self.history(app)] == ["before"]))
        for mode, expected, check_owner_said in cases:
            with self.subTest(owner=mode):
                known = {entry["id"] for entry in self.history(app)}
                count = app.setting("LastChangeCount")
                owner = subprocess.Popen(["/usr/bin/python3", MISBEHAVING_OWNER, mode, text],
                                         env=app_harness.x_env(), stdout=subprocess.PIPE, text=True)
                self.copier.processes.append(owner)
                self.assertEqual(owner.stdout.readline().strip(), "ready")
                started = time.monotonic()
                # The count is stored before the content is read: once the loop answers, the capture is over.
                self.assertTrue(wait_for(lambda: app.setting("LastChangeCount") != count, timeout=HOLD_BOUND),
                                "the change was not checked")
                self.assertTrue(self.probe.answered(window, HOLD_BOUND), "the app does not answer")
                held = time.monotonic() - started
                self.assertLessEqual(held, HOLD_BOUND)
                self.assertIsNone(app.process.poll(), "the app is gone")
                added = [entry for entry in self.history(app) if entry["id"] not in known]
                self.assertEqual([(entry["type"], entry["content"]["value"]) for entry in added],
                                 [("text", value) for value in expected])

                copied = time.monotonic()
                self.copy_without_asking(f"after the {mode} owner")
                self.assertTrue(wait_for(lambda: self.history(app)[0]["content"]["value"] == f"after the {mode} owner",
                                         timeout=NEXT_COPY_BOUND), "the next copy was not recorded in time")
                print(f"{mode}: held {held:.2f} s, next copy in {time.monotonic() - copied:.2f} s, "
                      f"added {[entry['content']['value'][:40] for entry in added]}", file=sys.stderr)

                stop(owner)
                check_owner_said([line.strip() for line in owner.stdout])
                owner.stdout.close()
        self.assertEqual(app.output(), "")
        self.assertEqual(app.stop(), 0)
        self.assertEqual(app.errors(), "")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    app_harness.APP = os.path.realpath(sys.argv[1])
    del sys.argv[1]  # the rest may name tests to run
    app_harness.run_module_tests()
