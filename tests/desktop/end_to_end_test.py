#!/usr/bin/env python3
"""The desktop application end to end, on a private X server with a tray host.

Usage: end_to_end_test.py PATH_TO_BRINDLEMUX [TEST...]
"""
import json
import os
import signal
import stat
import sys
import time
import zlib

import app_harness
from app_harness import (HISTORY, STORED_FOLDERS, App, AppTestCase, canonical, free_display, hand_written,
                         make_history, read_file, run, snapshot, start_xvfb, stored_ids, tree, under, write_file)
from processes import stop, wait_for
from test_images import png


class DesktopTest(AppTestCase):
    def test_starts_with_its_icon_in_the_tray_and_private_folders(self):
        app = self.launch()
        window = wait_for(app.tray_window)
        self.assertTrue(window, "no tray icon window appeared")
        self.assertIn('"Clipboard Manager"', run("xprop", "-id", window, "WM_NAME").stdout)
        self.assertIn('"brindlemux", "brindlemux"', run("xprop", "-id", window, "WM_CLASS").stdout)

        # The icon is drawn, not an empty square.
        geometry = run("xdotool", "getwindowgeometry", "--shell", window).stdout
        values = dict(line.split("=") for line in geometry.split())
        shot = os.path.join(self.home, "shot.png")
        time.sleep(0.3)
        run("import", "-window", "root", "-crop", f"{values['WIDTH']}x{values['HEIGHT']}+{values['X']}+{values['Y']}",
            shot)
        colours = int(run("identify", "-format", "%k", shot).stdout or 0)
        self.assertGreaterEqual(colours, 3, "the tray icon looks blank")

        self.assertTrue(wait_for(lambda: os.path.exists(app.autostart)))
        with open(app.autostart) as f:
            entry = f.read()
        self.assertIn("[Desktop Entry]", entry)
        self.assertIn(f'Exec="{os.path.realpath(app_harness.APP)}"', entry)

        for folder in (app.data, os.path.join(app.data, "ClipboardData"), os.path.join(app.data, "ClipboardThumbnails")):
            self.assertEqual(stat.S_IMODE(os.stat(folder).st_mode), 0o700, folder)
        self.assertFalse(os.path.exists(os.path.join(app.data, "FileBookmarks")))
        self.assertEqual(app.output(), "")

    def test_records_each_clipboard_change_in_the_settings(self):
        app = self.launch()
        self.assertTrue(wait_for(app.tray_window))
        first = wait_for(lambda: app.setting("LastChangeCount"))  # the launch counts as a change
        self.assertTrue(first)

        seen = [first]
        for text in ("hello from xclip", "hello from xclip", "another copy"):
            self.copier.copy(text)
            changed = wait_for(lambda: app.setting("LastChangeCount") not in seen and app.setting("LastChangeCount"))
            self.assertTrue(changed, f"no change recorded for {text!r}")
            seen.append(changed)
        # Everything it wrote is private: folders 0700, files 0600.
        written = [app.data, os.path.dirname(app.settings), app.autostart]
        for top in (app.data, os.path.dirname(app.settings)):
            for folder, dirs, files in os.walk(top):
                written += [os.path.join(folder, name) for name in dirs + files]
        for path in written:
            expected = 0o700 if os.path.isdir(path) else 0o600
            self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), expected, path)

        # A poll without a change writes nothing.
        mtime = os.stat(app.settings).st_mtime_ns
        time.sleep(1.2)
        self.assertEqual(os.stat(app.settings).st_mtime_ns, mtime)

    def test_clicks_on_the_icon_never_stop_the_recording(self):
        app = self.launch()
        window = wait_for(app.tray_window)
        self.assertTrue(window)
        before = wait_for(lambda: app.setting("LastChangeCount"))
        for button in ("3", "1"):  # right and left click
            run("xdotool", "mousemove", "--window", window, "10", "10", "click", button)
            time.sleep(0.3)
            run("xdotool", "mousemove", "600", "600", "click", "1")
            self.copier.copy(f"copied after click {button}")
            changed = wait_for(lambda: app.setting("LastChangeCount") != before and app.setting("LastChangeCount"))
            self.assertTrue(changed, f"no change recorded after mouse button {button}")
            before = changed

    def test_termination_signals_end_it_in_order(self):
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            with self.subTest(signal=sig.name):
                app = self.launch()
                self.assertTrue(wait_for(app.tray_window))
                self.assertTrue(wait_for(lambda: app.setting("LastChangeCount")))
                self.assertIsNone(app.setting("PreviewStyle"))
                self.assertEqual(app.stop(sig), 0)
                # Termination saved the preview style.
                self.assertEqual(app.setting("PreviewStyle"), "Show for 5 seconds")
                os.remove(app.settings)

    def test_the_end_of_the_x_session_ends_it_in_order(self):
        display = free_display()
        xvfb = start_xvfb(display)
        try:
            app = App(self.home).start(display)
            self.apps.append(app)
            self.assertTrue(wait_for(lambda: app.setting("LastChangeCount")))
            stop(xvfb)
            app.process.wait(10)
            self.assertEqual(app.setting("PreviewStyle"), "Show for 5 seconds")
        finally:
            stop(xvfb)

    def test_a_second_instance_refuses_to_start(self):
        first = self.launch()
        self.assertTrue(wait_for(first.tray_window))
        second = self.launch()
        second.process.wait(10)
        self.assertEqual(second.process.returncode, 1)
        self.assertIn("Brindlemux is already running", second.errors())
        self.assertIsNone(first.process.poll())
        self.assertEqual(first.stop(), 0)

        # Once the first has gone, it starts again.
        third = self.launch()
        self.assertTrue(wait_for(third.tray_window))
        self.assertEqual(third.stop(), 0)

    def test_a_failed_login_item_registration_is_reported_once(self):
        os.makedirs(os.path.join(self.home, ".config"))
        with open(os.path.join(self.home, ".config", "autostart"), "w") as f:
            f.write("a file where the autostart folder belongs")
        app = self.launch()
        self.assertTrue(wait_for(app.tray_window))
        self.assertTrue(wait_for(lambda: "Failed" in app.output()))
        time.sleep(0.6)
        lines = app.output().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertTrue(lines[0].startswith("Failed to register as login item: Not a directory: "), lines[0])
        self.assertTrue(app.setting("LastChangeCount"))  # it runs on
        self.assertEqual(app.stop(), 0)

    def test_history_is_saved_as_the_50_newest_and_stored_files_of_the_rest_go_at_the_next_launch(self):
        data = os.path.join(self.home, ".local", "share", "Brindlemux")
        entries, files = make_history(70, seed=70)
        write_file(os.path.join(data, HISTORY), hand_written(entries), mode=0o644)
        for relative, content in files.items():
            write_file(os.path.join(data, relative), content)

        # Junk that no entry names, and things that are never the launch's to remove.
        kept_id = entries[0]["content"]["value"]
        outside_file = os.path.join(self.home, "outside.txt")
        outside_dir = os.path.join(self.home, "outside-dir")
        write_file(outside_file, b"not the app's")
        write_file(os.path.join(outside_dir, "inside.txt"), b"not the app's either")
        junk = {
            "ClipboardData/.hidden": b"hidden",
            f"ClipboardData/{kept_id.lower()}": b"lower-case copy",
            f"ClipboardThumbnails/{kept_id}.png": b"suffixed copy",
            "ClipboardData/folder/sub/deep.bin": b"deep",
            "ClipboardThumbnails/.cache/thumb": b"thumb",
        }
        for relative, content in junk.items():
            write_file(os.path.join(data, relative), content)
        os.symlink(outside_file, os.path.join(data, "ClipboardThumbnails", "link-to-file"))
        os.symlink(outside_dir, os.path.join(data, "ClipboardData", "link-to-dir"))
        bookmarks = {"FileBookmarks/" + name: name.encode() for name in ("0A1B2C3D", "not-a-uuid", ".hidden")}
        for relative, content in bookmarks.items():
            write_file(os.path.join(data, relative), content)
        write_file(os.path.join(data, "notes.txt"), b"left alone")

        app = self.launch_and_wait()
        # All 70 are loaded, so all their stored files stay; only the junk goes.
        for folder in STORED_FOLDERS:
            self.assertEqual(tree(os.path.join(data, folder)), under(files, folder), folder)
        self.assertEqual(read_file(outside_file), b"not the app's")
        self.assertEqual(tree(outside_dir), {"inside.txt": b"not the app's either"})
        self.assertEqual(tree(os.path.join(data, "FileBookmarks")), under(bookmarks, "FileBookmarks"))
        self.assertEqual(read_file(os.path.join(data, "notes.txt")), b"left alone")

        self.assertEqual(app.output(), "")
        saved = self.assert_saved(app, canonical(entries[:50]))
        self.assertTrue(saved.startswith(b'[{"id":"'), saved[:40])

        # Next launch: the stored files of entries 51-70 are orphans now.
        newest_ids, oldest_ids = stored_ids(entries[:50]), stored_ids(entries[50:])
        self.assertTrue(oldest_ids and not oldest_ids & newest_ids)
        second = self.launch_and_wait()
        expected = {relative: content for relative, content in files.items()
                    if relative.split("/")[1] in newest_ids}
        self.assertLess(len(expected), len(files))
        for folder in STORED_FOLDERS:
            self.assertEqual(tree(os.path.join(data, folder)), under(expected, folder), folder)
        self.assertEqual(tree(os.path.join(data, "FileBookmarks")), under(bookmarks, "FileBookmarks"))
        self.assertEqual(second.output(), "")
        self.assertEqual(self.assert_saved(second, canonical(entries[:50])), saved)

    def test_an_unreadable_history_is_kept_aside_and_an_empty_one_saved(self):
        good, good_files = make_history(3, seed=3)
        bad_uuid = json.loads(json.dumps(good))
        bad_uuid[1]["id"] = "0A1B2C3D-0000-4000-8000-00000000000G"
        cases = {
            "invalid JSON": hand_written(good)[:-20],
            "an entry with a bad UUID": json.dumps(bad_uuid).encode(),
            "a directory": None,
        }
        for name, broken in cases.items():
            with self.subTest(history=name):
                home = os.path.join(self.home, name.replace(" ", "-"))
                data = os.path.join(home, ".local", "share", "Brindlemux")
                path = os.path.join(data, HISTORY)
                if broken is None:
                    write_file(os.path.join(path, "inside"), b"inside the directory")
                else:
                    write_file(path, broken)
                # Files the good entries name, and one that nothing names: none may go.
                for relative, content in dict(good_files, **{"ClipboardData/ORPHAN": b"orphan"}).items():
                    write_file(os.path.join(data, relative), content)
                stored = {folder: tree(os.path.join(data, folder)) for folder in STORED_FOLDERS}
                original = snapshot(path)

                self.assert_kept_aside(home, path + ".unreadable")
                self.assertEqual(snapshot(path + ".unreadable"), original)
                for folder, items in stored.items():
                    self.assertEqual(tree(os.path.join(data, folder)), items, folder)

                # A later broken file is kept beside the first, never over it.
                write_file(path, b"\xff\xfe not JSON at all")
                self.assert_kept_aside(home, path + ".unreadable.1")
                self.assertEqual(read_file(path + ".unreadable.1"), b"\xff\xfe not JSON at all")
                self.assertEqual(snapshot(path + ".unreadable"), original)
                self.assertFalse(os.path.lexists(path + ".unreadable.2"))
                for folder, items in stored.items():
                    self.assertEqual(tree(os.path.join(data, folder)), items, folder)

    def test_links_and_leftovers_in_its_folder_lead_nowhere_outside_it(self):
        data = os.path.join(self.home, ".local", "share", "Brindlemux")
        path = os.path.join(data, HISTORY)
        outside = os.path.join(self.home, "outside")
        entries, _ = make_history(5, seed=5)
        write_file(os.path.join(outside, "history.data"), hand_written(entries))
        write_file(os.path.join(outside, "folder", "kept"), b"kept")
        os.makedirs(data, mode=0o700)
        os.symlink(os.path.join(outside, "history.data"), path)
        os.makedirs(os.path.join(path + ".tmp", "inside"))  # what a killed save might leave, and more
        for folder in STORED_FOLDERS:
            os.makedirs(os.path.join(data, folder), mode=0o700)
            os.symlink(os.path.join(outside, "folder"), os.path.join(data, folder, "ORPHAN-LINK"))
        before = tree(outside)

        app = self.launch_and_wait()
        self.assertEqual(app.output().splitlines(), [
            f"Failed to load clipboard history: Too many levels of symbolic links: {path} "
            f"(the file is kept as {path}.unreadable)"])
        self.assertEqual(os.readlink(path + ".unreadable"), os.path.join(outside, "history.data"))
        self.assertFalse(os.path.lexists(path + ".tmp"))
        self.copier.copy("saved beside, not through")
        self.assertTrue(wait_for(lambda: os.path.isfile(path) and b"saved beside" in read_file(path)))
        self.assertFalse(os.path.islink(path))
        self.assertEqual(app.stop(), 0)
        self.assertEqual(len(app.output().splitlines()), 1, app.output())
        self.assertEqual(app.errors(), "")
        self.assertEqual(tree(outside), before)

    def test_a_thumbnail_declaring_100000_by_100000_pixels_is_left_out_quietly(self):
        data = os.path.join(self.home, ".local", "share", "Brindlemux")
        entries, files = make_history(5, seed=5)
        write_file(os.path.join(data, HISTORY), hand_written(entries))
        for relative, content in files.items():
            write_file(os.path.join(data, relative), content)
        image = next(entry for entry in entries if entry["type"] == "image")
        declared = bytearray(png(4, 4, (1, 2, 3)))
        declared[16:24] = (100000).to_bytes(4, "big") * 2
        declared[29:33] = zlib.crc32(bytes(declared[12:29])).to_bytes(4, "big")
        write_file(os.path.join(data, "ClipboardThumbnails", image["content"]["value"].upper()), bytes(declared))
        app = self.launch_and_wait()  # the menu with the image's item is built at launch
        self.assertEqual(app.stop(), 0)
        self.assertEqual(app.output(), "")
        self.assertEqual(app.errors(), "")

    def assert_kept_aside(self, home, aside):
        """Launches on a broken history file, checks the one line and the empty save."""
        path = os.path.join(home, ".local", "share", "Brindlemux", HISTORY)
        app = self.launch_and_wait(home)
        self.assertTrue(wait_for(lambda: "Failed" in app.output()))
        time.sleep(0.3)
        lines = app.output().splitlines()
        self.assertEqual(len(lines), 1, lines)
        prefix, suffix = "Failed to load clipboard history: ", f" (the file is kept as {aside})"
        self.assertTrue(lines[0].startswith(prefix), lines[0])
        self.assertTrue(lines[0].endswith(suffix), lines[0])
        self.assertGreater(len(lines[0]), len(prefix) + len(suffix), "no cause given")
        self.assertFalse(os.path.lexists(path), "the broken file is still in place")
        kept = snapshot(aside)
        self.assertEqual(self.assert_saved(app, []), b"[]")
        self.assertEqual(snapshot(aside), kept)

    def test_stored_files_stay_while_an_unreadable_history_is_kept_aside(self):
        data = os.path.join(self.home, ".local", "share", "Brindlemux")
        write_file(os.path.join(data, HISTORY), b"{ broken")
        write_file(os.path.join(data, "ClipboardData", "ORPHAN"), b"orphan")
        write_file(os.path.join(data, "ClipboardThumbnails", "ORPHAN"), b"orphan thumbnail")
        app = self.launch_and_wait()
        self.assertTrue(wait_for(lambda: "Failed" in app.output()))
        self.assertEqual(self.assert_saved(app, []), b"[]")

        # A readable history now, but the kept-aside one may name these files.
        app = self.launch_and_wait()
        time.sleep(0.3)
        self.assertEqual(app.output(), "")
        self.assertEqual(read_file(os.path.join(data, "ClipboardData", "ORPHAN")), b"orphan")
        self.assertEqual(read_file(os.path.join(data, "ClipboardThumbnails", "ORPHAN")), b"orphan thumbnail")
        self.assertEqual(self.assert_saved(app, []), b"[]")
        self.assertEqual(read_file(os.path.join(data, HISTORY + ".unreadable")), b"{ broken")

        # Once the user has dealt with it, the cleanup runs again.
        os.remove(os.path.join(data, HISTORY + ".unreadable"))
        app = self.launch_and_wait()
        self.assertEqual(os.listdir(os.path.join(data, "ClipboardData")), [])
        self.assertEqual(os.listdir(os.path.join(data, "ClipboardThumbnails")), [])
        self.assertEqual(app.stop(), 0)

    def test_history_survives_restarts_unchanged(self):
        data = os.path.join(self.home, ".local", "share", "Brindlemux")
        entries, files = make_history(12, seed=12)
        write_file(os.path.join(data, HISTORY), hand_written(entries))
        for relative, content in files.items():
            write_file(os.path.join(data, relative), content)

        first = self.assert_saved(self.launch_and_wait(), canonical(entries))
        second = self.assert_saved(self.launch_and_wait(), canonical(entries))
        self.assertEqual(second, first)
        for relative, content in files.items():
            self.assertEqual(read_file(os.path.join(data, relative)), content, relative)

    def test_a_failed_save_says_so_once_and_leaves_the_old_file_whole(self):
        data = os.path.join(self.home, ".local", "share", "Brindlemux")
        path = os.path.join(data, HISTORY)
        entries, _ = make_history(3, seed=3)
        write_file(path, hand_written(entries))
        app = self.launch_and_wait()
        before = read_file(path)
        # Something else took the temporary file's name: the save cannot go through it.
        os.mkdir(path + ".tmp")
        self.assertEqual(app.stop(), 0)
        self.assertEqual(app.output().splitlines(), [f"Failed to save clipboard history: File exists: {path}.tmp"])
        self.assertEqual(read_file(path), before)
        os.rmdir(path + ".tmp")

        # A directory where the history file belongs.
        app = self.launch_and_wait()
        os.remove(path)
        os.mkdir(path)
        self.assertEqual(app.stop(), 0)
        self.assertEqual(app.output().splitlines(), [f"Failed to save clipboard history: Is a directory: {path}"])
        self.assertTrue(os.path.isdir(path))
        self.assertFalse(os.path.lexists(path + ".tmp"))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    app_harness.APP = os.path.realpath(sys.argv[1])
    del sys.argv[1]  # the rest may name tests to run
    app_harness.run_module_tests()
