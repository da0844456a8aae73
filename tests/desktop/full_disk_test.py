#!/usr/bin/env python3
"""The desktop application on a disk that fills up: a file-size limit (with
SIGXFSZ ignored, so that a write past it fails with EFBIG as on a full disk)
set before the app starts and lifted while it runs.

Usage: full_disk_test.py PATH_TO_BRINDLEMUX
"""
import json
import os
import resource
import signal
import subprocess
import sys

import app_harness
from app_harness import HISTORY, App, AppTestCase, read_file, run
from processes import wait_for

LIMIT = 256 * 1024


class LimitedApp(App):
    """An app whose files may not grow past LIMIT bytes until lift() is called."""

    def start(self, display=None):
        env = app_harness.x_env(display)
        env["HOME"] = self.home
        self.stdout = open(os.path.join(self.home, "stdout.log"), "w+")
        self.stderr = open(os.path.join(self.home, "stderr.log"), "w+")

        def limit():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (LIMIT, resource.RLIM_INFINITY))

        self.process = subprocess.Popen([app_harness.APP], env=env, stdout=self.stdout, stderr=self.stderr,
                                        preexec_fn=limit)
        return self

    def lift(self):
        resource.prlimit(self.process.pid, resource.RLIMIT_FSIZE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))


def noise_png(path, side):
    """A PNG of random pixels, whose TIFF is about side * side * 3 bytes."""
    result = run("convert", "-size", f"{side}x{side}", "xc:", "+noise", "Random", "-depth", "8", f"PNG24:{path}")
    assert result.returncode == 0, result.stderr
    return read_file(path)


class FullDiskTest(AppTestCase):
    def saved(self, app):
        with open(os.path.join(app.data, HISTORY), "rb") as f:
            return json.load(f)

    def test_each_failed_write_says_so_once_and_the_next_change_after_room_saves_everything(self):
        app = LimitedApp(self.home).start()
        self.apps.append(app)
        self.assertTrue(wait_for(app.tray_window), "no tray icon window appeared")
        history = os.path.join(app.data, HISTORY)
        data = os.path.join(app.data, "ClipboardData")

        self.copier.copy("before the disk filled")
        self.assertTrue(wait_for(lambda: os.path.exists(history) and len(self.saved(app)) == 1))
        before = read_file(history)

        # A history past the limit: its save fails, the old file stays whole.
        big_text = "full " * (LIMIT // 4)
        self.copier.copy(big_text)
        history_line = f"Failed to save clipboard history: File too large: {history}.tmp"
        self.assertTrue(wait_for(lambda: app.output().splitlines() == [history_line]), app.output())

        # An image whose TIFF is past the limit: its data file and the history fail, once each.
        self.copier.copy(noise_png(os.path.join(self.home, "noise.png"), 320), "image/png")
        self.assertTrue(wait_for(lambda: len(app.output().splitlines()) == 3), app.output())
        lines = app.output().splitlines()
        self.assertRegex(lines[1], rf"^Failed to save data file: File too large: {data}/[0-9A-F-]{{36}}$")
        self.assertEqual(lines[2], history_line)
        image_id = lines[1].rsplit("/", 1)[1]
        self.assertFalse(os.path.exists(os.path.join(data, image_id)), "a part of the data file was left")
        self.assertTrue(os.path.exists(os.path.join(app.data, "ClipboardThumbnails", image_id)))
        self.assertEqual(read_file(history), before)
        self.assertFalse(os.path.lexists(history + ".tmp"))
        self.assertIsNone(app.process.poll(), "the app stopped")

        # Room again: the next change saves every entry held meanwhile.
        app.lift()
        self.copier.copy("after room was made")
        self.assertTrue(wait_for(lambda: len(self.saved(app)) == 4), self.saved(app))
        saved = self.saved(app)
        self.assertEqual([entry["type"] for entry in saved], ["text", "image", "text", "text"])
        self.assertEqual([saved[0]["content"]["value"], saved[2]["content"]["value"], saved[3]["content"]["value"]],
                         ["after room was made", big_text, "before the disk filled"])
        self.assertEqual(saved[1]["content"]["value"], image_id)
        self.assertEqual(app.stop(), 0)
        self.assertEqual(len(app.output().splitlines()), 3, app.output())
        self.assertEqual(self.saved(app), saved)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    app_harness.APP = os.path.realpath(sys.argv.pop())
    app_harness.run_module_tests()
