#!/usr/bin/env python3
"""What each kind of copy becomes on the desktop, under Xvfb with trayer.

Usage: capture_test.py PATH_TO_BRINDLEMUX PATH_TO_CLIPBOARD_OWNER

Single-type copies are made with xclip; copies of several types at once with
clipboard_owner, a small Qt program of the tests that offers the given types
and logs every request it serves. Each test checks the history file, the
stored files and what is printed.
"""
import base64
import json
import os
import subprocess
import sys
import tempfile
import time
import urllib.parse

import app_harness
from app_harness import HISTORY, AppTestCase, read_file, run
from processes import start_clipboard_owner, stop, wait_for
from test_images import png

OWNER = None
MISBEHAVING_OWNER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "misbehaving_owner.py")
FIGMA_URL = "https://www.figma.com/file/Abc123/Landing-page?node-id=1%3A2"


def bookmark_file_name(path):
    """FNV-1a (64 bits) of the path's UTF-8 bytes, as a signed decimal."""
    value = 0xcbf29ce484222325
    for byte in path.encode():
        value = ((value ^ byte) * 0x100000001b3) % (1 << 64)
    return str(value - (1 << 64) if value >= 1 << 63 else value)


def image_info(path):
    """(format, width, height) as ImageMagick reads the file."""
    found = run("identify", "-format", "%m %w %h", path).stdout.split()
    return (found[0], int(found[1]), int(found[2])) if len(found) == 3 else None


class CaptureTest(AppTestCase):
    def setUp(self):
        super().setUp()
        self.owners = []

    def tearDown(self):
        for owner, log in self.owners:
            stop(owner)
            owner.stdout.close()
            log.close()
        super().tearDown()

    def own(self, offers):
        """Puts the (MIME type, bytes) offers on the clipboard at once; gives the owner's request log."""
        log = open(os.path.join(self.home, f"owner-{len(self.owners)}.log"), "w+")
        owner, ready = start_clipboard_owner(OWNER, offers, self.home, f"offer-{len(self.owners)}",
                                             app_harness.x_env(), log)
        self.owners.append((owner, log))
        self.assertTrue(ready, "the clipboard owner did not start")
        return log

    def hold_with_xclip(self, text):
        """Copies with xclip without waiting to see the copy on the clipboard."""
        owner = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard"], env=app_harness.x_env(),
                                 stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        owner.stdin.write(text.encode())
        owner.stdin.close()
        self.copier.processes.append(owner)

    @staticmethod
    def requests(log):
        log.flush()
        with open(log.name) as f:
            return [line.split(" ", 1)[1].strip() for line in f if line.startswith("request ")]

    def history(self, app):
        try:
            return json.loads(read_file(os.path.join(app.data, HISTORY)))
        except (OSError, ValueError):  # not saved yet
            return []

    def recorded(self, app, copy):
        """Makes the copy; gives the entry at the top once the history is saved with a new one."""
        known = {entry["id"] for entry in self.history(app)}
        copy()
        top = wait_for(lambda: next((e for e in self.history(app)[:1] if e["id"] not in known), None))
        self.assertTrue(top, "no new entry was saved")
        return top

    def stored(self, app, folder, name):
        path = os.path.join(app.data, folder, name)
        self.assertTrue(os.path.isfile(path), f"{folder}/{name} is missing")
        self.assertEqual(os.stat(path).st_mode & 0o777, 0o600)
        return path

    def test_every_kind_of_copy_becomes_an_entry_with_its_files(self):
        app = self.launch_and_wait()
        folder = tempfile.mkdtemp(prefix="bm-files-", dir=self.home)
        files = [os.path.join(folder, name) for name in ("report.txt", "naïve name.txt")]
        for path in files:
            with open(path, "w") as f:
                f.write(path)
        uri_list = "".join("file://" + urllib.parse.quote(path) + "\r\n" for path in files)
        html = '<meta charset="utf-8"><span data-buffer="figma">Frame</span>'

        cases = [
            ("text", lambda: self.copier.copy("Two\nlines\t\tand  spaces")),
            ("image", lambda: self.copier.copy(png(40, 30, (200, 30, 30)), "image/png")),
            ("files", lambda: self.copier.copy(uri_list, "text/uri-list")),
            ("figma", lambda: self.own([("text/html", html.encode()), ("chromium/x-source-url", FIGMA_URL.encode()),
                                        ("text/plain", b"Landing page / Hero")])),
            ("another site", lambda: self.own([("text/html", b"<b>bold</b>"),
                                               ("chromium/x-source-url", b"https://example.com/design"),
                                               ("text/plain", b"bold")])),
            ("web link", lambda: self.own([("text/uri-list", b"https://example.com/page\r\n"),
                                           ("text/plain", b"https://example.com/page")])),
            ("custom", lambda: self.copier.copy(b"\x00\x01binary/\xff", "application/x-brindlemux-test")),
        ]
        entries = {}
        for name, copy in cases:
            with self.subTest(kind=name):
                entries[name] = self.recorded(app, copy)

        self.assertEqual(entries["text"]["content"], {"type": "text", "value": "Two\nlines\t\tand  spaces"})
        self.assertEqual(entries["text"]["displayText"], "Two lines and spaces")

        image = entries["image"]
        self.assertEqual((image["type"], image["displayText"]), ("image", "Image"))
        stored_id = image["content"]["value"]
        self.assertEqual(image_info(self.stored(app, "ClipboardData", stored_id)), ("TIFF", 40, 30))
        self.assertEqual(image_info(self.stored(app, "ClipboardThumbnails", stored_id)), ("JPEG", 64, 64))

        copied = entries["files"]
        self.assertEqual(copied["type"], "file")
        self.assertEqual(copied["displayText"], "2 Files: report.txt,...")
        self.assertEqual(copied["content"]["value"], files)
        self.assertEqual(len(copied["content"]["bookmarks"]), 2)
        for path, bookmark in zip(files, copied["content"]["bookmarks"]):
            saved = read_file(self.stored(app, "FileBookmarks", bookmark_file_name(path)))
            self.assertEqual(saved, base64.b64decode(bookmark))
            self.assertIn(path.encode(), saved)

        figma = entries["figma"]
        self.assertEqual((figma["type"], figma["displayText"]), ("data", "Figma: Landing page ..."))
        snapshot_file = self.stored(app, "ClipboardData", figma["content"]["value"])
        document = read_file(snapshot_file).decode()
        self.assertNotIn("/", document.replace("\\/", ""), "a slash was not escaped")
        self.assertEqual({key: base64.b64decode(value) for key, value in json.loads(document).items()},
                         {"public.html": html.encode(), "org.chromium.source-url": FIGMA_URL.encode(),
                          "public.utf8-plain-text": b"Landing page / Hero"})

        self.assertEqual(entries["another site"]["content"], {"type": "text", "value": "bold"})
        self.assertEqual(entries["web link"]["content"], {"type": "text", "value": "https://example.com/page"})

        custom = entries["custom"]
        self.assertEqual((custom["type"], custom["displayText"]), ("data", "Data"))
        document = json.loads(read_file(self.stored(app, "ClipboardData", custom["content"]["value"])))
        self.assertEqual(document, {"application/x-brindlemux-test": base64.b64encode(b"\x00\x01binary/\xff").decode()})

        self.assertEqual(len(self.history(app)), len(cases))
        self.assertEqual(app.output(), "")
        self.assertEqual(app.stop(), 0)

    def test_each_offered_type_is_fetched_once(self):
        app = self.launch_and_wait()
        offers = [("text/html", b"<p>x</p>"), ("chromium/x-source-url", FIGMA_URL.encode()), ("text/plain", b"x"),
                  ("application/x-extra", b"extra")]
        logs = []
        self.recorded(app, lambda: logs.append(self.own(offers)))
        requests = self.requests(logs[0])
        for mime, _ in offers:
            self.assertEqual(requests.count(mime), 1, f"{mime} was fetched {requests.count(mime)} times: {requests}")
        self.assertEqual(app.stop(), 0)

    def test_copying_again_moves_the_entry_up_as_the_new_copy(self):
        app = self.launch_and_wait()
        image = png(16, 16, (0, 0, 255))
        for text in ("first", "second"):
            self.recorded(app, lambda: self.copier.copy(text))
        older_image = self.recorded(app, lambda: self.copier.copy(image, "image/png"))
        self.recorded(app, lambda: self.copier.copy("first"))
        newer_image = self.recorded(app, lambda: self.copier.copy(image, "image/png"))

        history = self.history(app)
        self.assertEqual([entry["displayText"] for entry in history], ["Image", "first", "second"])
        self.assertNotEqual(newer_image["content"]["value"], older_image["content"]["value"])
        # The older entry's files go only after the history that no longer names them is saved.
        for folder in ("ClipboardData", "ClipboardThumbnails"):
            listing = lambda: os.listdir(os.path.join(app.data, folder))
            wait_for(lambda: listing() == [newer_image["content"]["value"]])
            self.assertEqual(listing(), [newer_image["content"]["value"]])
        self.assertEqual(app.stop(), 0)

    def test_password_manager_copies_never_reach_the_disk(self):
        app = self.launch_and_wait()
        self.recorded(app, lambda: self.copier.copy("visible"))
        saved = read_file(os.path.join(app.data, HISTORY))
        for hint in ([("x-kde-passwordManagerHint", b"secret")], [("org.nspasteboard.ConcealedType", b"")]):
            with self.subTest(hint=hint[0][0]):
                count = app.setting("LastChangeCount")
                self.own([("text/plain", b"hunter2")] + hint)
                self.assertTrue(wait_for(lambda: app.setting("LastChangeCount") != count), "the change was not seen")
        self.assertEqual(read_file(os.path.join(app.data, HISTORY)), saved)
        for folder, _, names in os.walk(app.data):
            for name in names:
                self.assertNotIn(b"hunter2", read_file(os.path.join(folder, name)), name)
        self.assertEqual(app.stop(), 0)
        self.assertNotIn(b"hunter2", read_file(os.path.join(app.data, HISTORY)))

    def test_copies_made_faster_than_the_poll_are_each_recorded(self):
        # X11 reports each change, and each is checked at once: three lines
        # copied quickly from a terminal are three entries, not the last one.
        app = self.launch_and_wait()
        texts = [f"burst line {i}" for i in range(10)]
        for text in texts:
            self.hold_with_xclip(text)
            time.sleep(0.1)
        wait_for(lambda: len(self.history(app)) == len(texts), timeout=5)
        self.assertEqual([entry["content"]["value"] for entry in reversed(self.history(app))], texts)
        self.assertEqual(app.stop(), 0)

    def test_a_copy_sent_in_pieces_is_recorded_whole(self):
        # xclip sends anything over about 1 MiB in pieces (INCR), and while it
        # does it answers nobody else: no probing the clipboard meanwhile.
        text = "".join(f"line {i:07d}\n" for i in range(300_000))
        app = self.launch_and_wait()
        entry = self.recorded(app, lambda: self.hold_with_xclip(text))
        self.assertEqual(entry["content"]["value"], text)
        self.assertEqual(app.stop(), 0)

    def test_a_relaunch_with_the_clipboard_unchanged_records_nothing(self):
        # A Qt program gives its ownership timestamp; xclip gives none, so its
        # copy is known by a digest of what it offers.
        owners = (("xclip", lambda text: self.copier.copy(text)),
                  ("a Qt program", lambda text: self.own([("text/plain", text.encode())])))
        for name, copy in owners:
            with self.subTest(owner=name):
                text = f"copied with {name}"
                app = self.launch_and_wait()
                self.recorded(app, lambda: copy(text))
                self.assertEqual(app.stop(), 0)
                saved = self.history(app)

                app = self.launch_and_wait()
                time.sleep(1.2)  # two polls
                self.assertEqual(self.history(app), saved)
                # The same text copied anew is a new copy.
                again = self.recorded(app, lambda: copy(text))
                self.assertEqual(again["content"]["value"], text)
                self.assertEqual(len(self.history(app)), len(saved))
                self.assertEqual(app.stop(), 0)

    def test_slow_and_silent_owners_hold_the_app_up_for_a_bounded_time_only(self):
        # An owner busy just after its copy is waited for; one that never
        # answers, or sends its pieces too slowly, is given up, and the next
        # copy is taken as usual.
        cases = (("silent", False), ("busy", True), ("trickle", False))
        app = self.launch_and_wait()
        self.recorded(app, lambda: self.hold_with_xclip("before"))
        expected = ["before"]
        for mode, kept in cases:
            with self.subTest(owner=mode):
                text = f"offered by a {mode} owner; " * 20
                count = app.setting("LastChangeCount")
                owner = subprocess.Popen(["/usr/bin/python3", MISBEHAVING_OWNER, mode, text],
                                         env=app_harness.x_env(), stdout=subprocess.PIPE)
                self.copier.processes.append(owner)
                self.assertEqual(owner.stdout.readline().strip(), b"ready")
                self.assertTrue(wait_for(lambda: app.setting("LastChangeCount") != count), "the change was not checked")
                if kept:
                    self.assertTrue(wait_for(lambda: self.history(app)[0]["content"]["value"] == text))
                    expected.insert(0, text)
                # Copies are checked one after the other: this one comes after the owner's is done with.
                self.recorded(app, lambda: self.hold_with_xclip(f"after the {mode} owner"))
                expected.insert(0, f"after the {mode} owner")
                self.assertEqual([entry["content"]["value"] for entry in self.history(app)], expected)
        self.assertEqual(app.output(), "")
        self.assertEqual(app.stop(), 0)

if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    app_harness.APP, OWNER = (os.path.realpath(path) for path in sys.argv[1:3])
    del sys.argv[1:3]  # the rest may name tests to run
    app_harness.run_module_tests()
