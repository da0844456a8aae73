#!/usr/bin/env python3
"""The tray menu end to end, on an XEmbed tray (trayer) and on a
StatusNotifierItem host (xfce4-panel's Status Tray), under Xvfb.

Usage: tray_menu_test.py PATH_TO_BRINDLEMUX ARTIFACT_FOLDER [TEST ...]

Menus are opened with real clicks and read through the accessibility bus,
as a screen reader reads them; on the StatusNotifierItem host the menu the
host draws is read, and the DBusMenu layout the application exports.
Screenshots of the open menus are kept in ARTIFACT_FOLDER.
"""
import base64
import contextlib
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop_session import AccessibilityBus, Session, Trayer, XfcePanel  # noqa: E402
from processes import read_setting, start_clipboard_owner, stop, wait_for  # noqa: E402
from menu_reading import SEPARATOR, Accessibility, exported_layout, exported_menu, layout_of  # noqa: E402

APP = None
ARTIFACTS = None
A11Y = None

HISTORY = "ClipboardHistory.data"
STYLES = ["Show always", "Show for 5 seconds", "Hide"]


def section(header, entries):
    return [(header, False, False)] + entries


def styles_checked(style):
    return [(name, True, name == style) for name in STYLES]


EMPTY = ("Empty", False, False)
# A red 8 x 8 PNG.
PNG_8X8 = base64.b64decode(
    "iVBORw0KGgoAAAANSUhEUgAAAAgAAAAIAQMAAAD+wSzIAAAAA1BMVEX/AAAZ4gk3AAAAC0lEQVQI12NgQAUAABAAAaHFIcEAAAAASUVORK5CYII=")
TAIL = [SEPARATOR, ("Clear all history", True, False), ("Quit", True, False)]
EMPTY_LAYOUT = (section("Current", [EMPTY]) + [SEPARATOR] + section("History", [EMPTY]) + [SEPARATOR]
                + section("Menu bar preview", styles_checked("Show for 5 seconds")) + TAIL)


def text_entries(texts):
    """History entries, newest first: (value, display text) pairs as the history file holds them."""
    entries = []
    for i, (value, display) in enumerate(texts):
        entries.append({"id": str(uuid.UUID(int=i + 1, version=4)).upper(), "timestamp": 789000000.0 - i * 60,
                        "content": {"type": "text", "value": value}, "type": "text", "displayText": display})
    return entries


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_history(home, entries):
    """Indented, unlike the app's compact saves: a compact file afterwards was saved by the app."""
    folder = os.path.join(home, ".local", "share", "Brindlemux")
    os.makedirs(folder, mode=0o700, exist_ok=True)
    with open(os.path.join(folder, HISTORY), "w") as f:
        json.dump(entries, f, indent=2)
    return os.path.join(folder, HISTORY)


class App:
    """One Brindlemux process with its own HOME, accessible to assistive technology."""

    def __init__(self, session, home):
        self.session = session
        self.home = home
        self.settings = os.path.join(home, ".config", "Brindlemux", "Brindlemux.conf")
        self.history = os.path.join(home, ".local", "share", "Brindlemux", HISTORY)
        self.log = open(os.path.join(home, "app.log"), "a")
        env = session.env(HOME=home, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.process = subprocess.Popen([APP], env=env, stdout=self.log, stderr=self.log)

    def setting(self, key):
        return read_setting(self.settings, key)

    def saved_history(self):
        try:
            with open(self.history) as f:
                return json.load(f)
        except (OSError, ValueError):  # not saved yet, or being replaced
            return []

    def stop(self, sig=signal.SIGTERM):
        code = stop(self.process, sig)
        self.log.close()
        return code


class TrayMenuTests:
    """The cases, run on each host by the subclasses below."""

    HOST = None
    # Which application draws the menu a mouse button opens.
    DRAWN_BY = {}

    @classmethod
    def setUpClass(cls):
        cls.session = Session()
        try:
            cls.host = cls.HOST(cls.session)
        except Exception:
            cls.session.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.host.close()
        cls.session.close()

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="bm-home-")
        self.apps = []
        self.clipboard_owners = []

    def tearDown(self):
        for app in self.apps:
            app.stop(signal.SIGKILL)
        for owner in self.clipboard_owners:
            stop(owner)
        shutil.rmtree(self.home, ignore_errors=True)

    def launch(self):
        """A running app with its icon drawn in the tray and the clipboard polled once."""
        app = App(self.session, self.home)
        self.apps.append(app)
        self.assertTrue(wait_for(lambda: self.host.icon_area(app)), f"no tray icon on the {self.HOST.name} host")
        self.assertTrue(wait_for(lambda: app.setting("LastChangeCount")), "the clipboard was never polled")
        shot = self.session.screenshot(os.path.join(self.home, "icon.png"), self.host.icon_area(app))
        self.assertTrue(wait_for(lambda: self.session.colours(self.session.screenshot(shot, self.host.icon_area(app)))
                                 >= 3), "the tray icon looks blank")
        return app

    @contextlib.contextmanager
    def opened_menu(self, app, button):
        """Clicks the icon; gives the menu that opened, read through the
        accessibility bus, and the point clicked; closes the menu after."""
        x, y, width, height = self.host.icon_area(app)
        click = (x + width // 2, y + height // 2)
        menu = None
        for _ in range(3):  # a host may still be closing the last menu and miss a click
            self.session.click(*click, button=button)
            menu = A11Y.find_open_menu(lambda: self.session.key("Down"), timeout=2)
            if menu:
                break
            self.session.key("Escape")
        if not menu:
            shot = self.session.screenshot(os.path.join(ARTIFACTS, f"{self.HOST.name}-no-menu.png"))
            self.fail(f"no menu opened with mouse button {button} (screen: {shot})")
        try:
            drawn_by = ("host" if self.host.draws(menu.process_id()) else
                        "app" if menu.process_id() == app.process.pid else f"process {menu.process_id()}")
            self.assertEqual(drawn_by, self.DRAWN_BY[button], f"the menu of mouse button {button}")
            # One menu opens: Qt's own popup and ours never both.
            self.assertEqual(len(self.menu_windows(app)), 1 if drawn_by == "app" else 0)
            self.icon_clicked = (x, y, width, height)
            yield menu, click
        finally:
            if app.process.poll() is None and any(item.showing for item in menu.items()):
                self.session.key("Escape")
                self.session.key("Escape")
                wait_for(lambda: not any(item.showing for item in menu.items()), timeout=5)

    def menu_windows(self, app):
        """The app's windows on the screen other than its tray icon."""
        windows = self.session.run("xdotool", "search", "--onlyvisible", "--pid", str(app.process.pid)).stdout.split()
        return [window for window in windows
                if not self.session.run("xdotool", "getwindowname", window).stdout.startswith("Clipboard Manager")]

    def close_menu(self, menu):
        self.session.key("Escape")
        self.assertTrue(wait_for(lambda: not any(item.showing for item in menu.items()), timeout=5),
                        "the menu did not close")

    def assert_layout(self, menu, expected):
        # A StatusNotifierItem host shows the layout it has and then the one
        # the application renders on opening: allow for that refresh.
        wait_for(lambda: layout_of(menu.items()) == expected, timeout=3)
        self.assertEqual(layout_of(menu.items()), expected)

    def keep_screenshot(self, name, menu, submenu=()):
        """A picture of the menu (and of its open submenu) for people to look at."""
        boxes = [menu.extents()] + [item.extents for item in submenu]
        left, top = min(box[0] for box in boxes), min(box[1] for box in boxes)
        right, bottom = max(box[0] + box[2] for box in boxes), max(box[1] + box[3] for box in boxes)
        left, top = max(0, left - 4), max(0, top - 4)
        path = self.session.screenshot(os.path.join(ARTIFACTS, f"{self.HOST.name}-{name}.png"),
                                       (left, top, right - left + 4, bottom - top + 4))
        self.assertGreaterEqual(self.session.colours(path), 3, f"the screenshot {path} looks blank")
        print(f"\nscreenshot of the open menu: {path}", file=sys.stderr)

    def copy(self, data, target="text/plain"):
        owner = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard", "-t", target], env=self.session.env(),
                                 stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        owner.stdin.write(data if isinstance(data, bytes) else data.encode())
        owner.stdin.close()
        self.clipboard_owners.append(owner)
        self.assertTrue(wait_for(lambda: target in self.session.run("xclip", "-o", "-selection", "clipboard", "-t",
                                                                    "TARGETS").stdout))

    # The cases.

    def test_both_mouse_buttons_open_the_menu_with_the_empty_history_layout(self):
        app = self.launch()
        for button, name in ((3, "right"), (1, "left")):
            with self.subTest(button=name), self.opened_menu(app, button) as (menu, click):
                self.assert_layout(menu, EMPTY_LAYOUT)
                self.assert_placed(app, menu, button, click)
                self.keep_screenshot(f"{name}-click-menu", menu)
                self.close_menu(menu)
        self.assertEqual(app.stop(), 0)

    def test_choosing_show_always_moves_the_check_mark_and_survives_a_restart(self):
        app = self.launch()
        with self.opened_menu(app, 3) as (menu, _):
            self.assert_layout(menu, EMPTY_LAYOUT)
            self.session.click(*menu.item("Show always").center())
            self.assertTrue(wait_for(lambda: app.setting("PreviewStyle") == "Show always"),
                            f"PreviewStyle is {app.setting('PreviewStyle')!r}")
        expected = EMPTY_LAYOUT[:7] + styles_checked("Show always") + TAIL
        for restart in (False, True):
            with self.subTest(after_restart=restart):
                if restart:
                    self.assertEqual(app.stop(), 0)
                    self.assertEqual(app.setting("PreviewStyle"), "Show always")
                    app = self.launch()
                with self.opened_menu(app, 3) as (menu, _):
                    self.assert_layout(menu, expected)
        self.assertEqual(app.stop(), 0)

    def test_older_entries_open_in_the_more_submenu_with_the_pointer(self):
        texts = [(f"value {i}", f"Entry {i}") for i in range(14)]
        texts[3] = ("Tom & Jerry", "Tom & Jerry")
        texts[12] = ("snake_case name", "snake_case name")
        write_history(self.home, text_entries(texts))
        app = self.launch()
        displayed = [self.as_read(display) for _, display in texts]
        history = [(display, True, False) for display in displayed[1:11]] + [("3 more items", True, False)]
        with self.opened_menu(app, 3) as (menu, _):
            self.assert_layout(menu, section("Current", [(displayed[0], True, False)]) + [SEPARATOR]
                               + section("History", history) + EMPTY_LAYOUT[5:])
            more = menu.item("3 more items")
            self.session.run("xdotool", "mousemove", *map(str, more.center()))
            self.assertTrue(wait_for(lambda: more.submenu() and all(item.showing for item in more.submenu()),
                                     timeout=5), "the submenu did not open under the pointer")
            self.assertEqual([item.layout() for item in more.submenu()],
                             [(display, True, False) for display in displayed[11:]])
            self.keep_screenshot("more-submenu", menu, more.submenu())
        self.assertEqual(app.stop(), 0)

    def test_letters_typed_into_the_open_menu_choose_nothing(self):
        # No title gives its first letter as a key: "c" must not clear the history.
        path = write_history(self.home, text_entries([("first", "first"), ("second", "second")]))
        with open(path, "rb") as f:
            before = f.read()
        app = self.launch()
        with self.opened_menu(app, 3) as (menu, _):
            for letter in ("c", "q", "h", "s", "f"):
                self.session.key(letter)
            time.sleep(0.5)
            self.assertIsNone(app.process.poll(), "a letter quit the app")
            self.assertIsNone(app.setting("PreviewStyle"), "a letter chose a style")
            with open(path, "rb") as f:
                self.assertEqual(f.read(), before, "a letter changed the history")
            self.end_menu(menu)
        self.assertEqual(app.stop(), 0)

    def test_ctrl_q_quits_while_the_menu_is_open_and_saves_the_history(self):
        entries = text_entries([("first", "first"), ("second", "second")])
        path = write_history(self.home, entries)
        app = self.launch()
        with self.opened_menu(app, self.CTRL_Q_BUTTON):
            self.session.key("ctrl+q")
            try:
                code = app.process.wait(10)
            except subprocess.TimeoutExpired:
                self.fail("Ctrl+Q did not quit")
        self.assertEqual(code, 0)
        with open(path, "rb") as f:
            saved = f.read()
        self.assertEqual(json.loads(saved), entries)
        self.assertNotIn(b"\n", saved, "the history was not saved at quit")

    def test_copies_appear_at_the_top_of_the_menu_with_their_titles(self):
        app = self.launch()
        copies = [("first copy", "text/plain"), (PNG_8X8, "image/png"), ("second\ncopy", "text/plain"),
                  ("first copy", "text/plain")]
        for data, target in copies:
            before = app.setting("LastChangeCount")
            self.copy(data, target)
            self.assertTrue(wait_for(lambda: app.setting("LastChangeCount") != before), "the copy was not seen")
        self.assertTrue(wait_for(lambda: len(app.saved_history()) == 3), "the copies were not all saved")
        # The image's preview shows for five seconds; the menu is read after it.
        self.assertTrue(wait_for(lambda: not self.menu_windows(app), timeout=8), "the image preview stayed")
        with self.opened_menu(app, 3) as (menu, _):
            self.assert_layout(menu, section("Current", [("first copy", True, False)]) + [SEPARATOR]
                               + section("History", [("second copy", True, False), ("Image", True, False)])
                               + EMPTY_LAYOUT[5:])
            self.keep_screenshot("after-copies", menu)
            self.end_menu(menu)
        self.assertEqual(app.stop(), 0)

    def test_copies_made_while_the_menu_is_open_are_recorded_once_it_closes(self):
        app = self.launch()
        before = app.setting("LastChangeCount")
        with self.opened_menu(app, 3) as (menu, _):
            self.copy("copied while the menu is open")
            wait_for(lambda: app.setting("LastChangeCount") != before, timeout=1.5)
            self.assertEqual(app.setting("LastChangeCount"), before, "recorded while the menu was open")
            self.end_menu(menu)
            self.assertTrue(wait_for(lambda: app.setting("LastChangeCount") != before, timeout=3),
                            "not recorded after the menu closed")
        self.assertEqual(app.stop(), 0)


    def paste(self, target):
        """The clipboard's bytes of one target, as another application reads them."""
        return subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", target], env=self.session.env(),
                              capture_output=True, timeout=20).stdout

    def targets(self):
        return self.paste("TARGETS").decode().split()

    def choose(self, app, title):
        """Opens the menu, waits until it lists `title`, and clicks the first item of that title."""
        self.assertTrue(wait_for(lambda: not self.menu_windows(app), timeout=8), "the image preview stayed")
        with self.opened_menu(app, 3) as (menu, _):
            name = self.as_read(title)

            def names():
                try:
                    return [item.name for item in menu.items() if item.showing]
                except Exception:  # the host swapped in another layout, or took the menu down
                    return []
            def settled():  # listed, and the same a moment later: a host may still be swapping layouts
                before = names()
                time.sleep(0.3)
                return name in before and names() == before
            wait_for(settled, timeout=5)
            first = next(item for item in menu.items() if item.name == name)  # the newest of that title
            self.session.click(*first.center())
            self.assertTrue(wait_for(lambda: not names(), timeout=5), f"the menu stayed open after choosing {title!r}")

    def test_the_road_of_a_copy_from_copy_to_restore_clear_and_restart(self):
        app = self.launch()
        files = [os.path.join(self.home, name) for name in ("a", "b")]
        for path in files:
            with open(path, "w") as f:
                f.write(f"contents of {path}")
        file_urls = [f"file://{path}" for path in files]
        copies = [("alpha", "text/plain"), ("beta", "text/plain"), ("gamma", "text/plain"), (PNG_8X8, "image/png"),
                  ("".join(url + "\r\n" for url in file_urls), "text/uri-list")]
        for count, (data, target) in enumerate(copies, start=1):
            # Recorded before the next copy replaces it.
            self.copy(data, target)
            self.assertTrue(wait_for(lambda: len(app.saved_history()) == count), f"the {target} copy was not saved")
        self.assertTrue(wait_for(lambda: len(app.saved_history()) == 5),
                        f"the copies were not all saved: {[entry['displayText'] for entry in app.saved_history()]}")
        saved = app.saved_history()
        self.assertEqual([entry["type"] for entry in saved], ["file", "image", "text", "text", "text"])
        files_id, image_id, alpha_id = saved[0]["id"], saved[1]["content"]["value"], saved[4]["id"]
        data_folder = os.path.dirname(app.history)

        self.assertTrue(wait_for(lambda: not self.menu_windows(app), timeout=8), "the image preview stayed")
        with self.opened_menu(app, 3) as (menu, _):
            self.assert_layout(menu, section("Current", [("2 Files: a, b", True, False)]) + [SEPARATOR]
                               + section("History", [(title, True, False) for title in ("Image", "gamma", "beta",
                                                                                        "alpha")])
                               + EMPTY_LAYOUT[5:])
            self.keep_screenshot("road-of-a-copy", menu)
            self.end_menu(menu)

        # An older text goes back in every text flavour, and comes round as the newest copy.
        self.choose(app, "alpha")
        self.assertTrue(wait_for(lambda: self.paste("UTF8_STRING") == b"alpha"), "alpha is not on the clipboard")
        for target in ("UTF8_STRING", "text/plain", "text/plain;charset=utf-8", "STRING"):
            self.assertIn(target, self.targets())
            self.assertEqual(self.paste(target), b"alpha", target)
        self.assertTrue(wait_for(lambda: app.saved_history()[0]["content"] == {"type": "text", "value": "alpha"}
                                 and app.saved_history()[0]["id"] != alpha_id),
                        "the restored text was not recorded again at the top with a new id")
        self.assertEqual(len(app.saved_history()), 5)

        # The image: its kept TIFF as it was, and a PNG of the same pixels. (Once
        # recorded again, the kept file goes with the entry it merges with.)
        kept_tiff = read_bytes(os.path.join(data_folder, "ClipboardData", image_id))
        self.choose(app, "Image")
        self.assertTrue(wait_for(lambda: "image/png" in self.targets()), f"no image offered: {self.targets()}")
        self.assertIn("image/tiff", self.targets())
        self.assertEqual(self.paste("image/tiff"), kept_tiff)
        pasted, copied = os.path.join(self.home, "pasted.png"), os.path.join(self.home, "copied.png")
        with open(pasted, "wb") as f:
            f.write(self.paste("image/png"))
        with open(copied, "wb") as f:
            f.write(PNG_8X8)
        differing = self.session.run("compare", "-metric", "AE", pasted, copied, "null:").stderr.strip()
        self.assertEqual(differing, "0", "the pasted PNG's pixels differ from the copied ones")
        self.assertTrue(wait_for(lambda: app.saved_history()[0]["type"] == "image"
                                 and app.saved_history()[0]["content"]["value"] != image_id),
                        "the restored image was not recorded again")

        # The files, as a file manager offers them; "a" was edited since as
        # editors save, a new file renamed over it, and is restored all the same.
        with open(files[0] + ".new", "w") as f:
            f.write("edited")
        os.rename(files[0] + ".new", files[0])
        bookmarks = os.listdir(os.path.join(data_folder, "FileBookmarks"))
        self.assertEqual(len(bookmarks), 2)
        self.choose(app, "2 Files: a, b")
        self.assertTrue(wait_for(lambda: "text/uri-list" in self.targets()), f"no files offered: {self.targets()}")
        self.assertEqual(self.paste("text/uri-list").decode().split(), file_urls)
        self.assertEqual(self.paste("x-special/gnome-copied-files").decode().split("\n"), ["copy"] + file_urls)
        self.assertEqual(sorted(os.listdir(os.path.join(data_folder, "FileBookmarks"))), sorted(bookmarks))
        self.assertTrue(wait_for(lambda: app.saved_history()[0]["type"] == "file"
                                 and app.saved_history()[0]["id"] != files_id), "the files were not recorded again")
        # The edited file's new bookmark differs from the kept one: a new entry beside the old.
        self.assertEqual(len(app.saved_history()), 6)

        # Clearing empties the history, the stored files and the menu; the files stay on the clipboard.
        self.choose(app, "Clear all history")
        self.assertTrue(wait_for(lambda: app.saved_history() == [] and os.path.getsize(app.history) == 2),
                        f"the empty history was not saved: {app.saved_history()}")
        # The stored files go only once the empty history is saved.
        for folder in ("ClipboardData", "ClipboardThumbnails"):
            self.assertTrue(wait_for(lambda: os.listdir(os.path.join(data_folder, folder)) == []), folder)
        self.assertEqual(sorted(os.listdir(os.path.join(data_folder, "FileBookmarks"))), sorted(bookmarks))
        time.sleep(1.2)  # two polls: what is still on the clipboard is not taken again
        self.assertEqual(app.saved_history(), [])
        with self.opened_menu(app, 3) as (menu, _):
            self.assert_layout(menu, EMPTY_LAYOUT)
            self.end_menu(menu)

        # A copy after clearing, then "Quit": saved with the preference, and there at the next start.
        before = app.setting("LastChangeCount")
        self.copy("after clearing")
        self.assertTrue(wait_for(lambda: app.setting("LastChangeCount") != before), "the copy was not seen")
        self.choose(app, "Quit")
        try:
            self.assertEqual(app.process.wait(10), 0)
        except subprocess.TimeoutExpired:
            self.fail("Quit did not quit")
        self.assertEqual([entry["content"] for entry in app.saved_history()],
                         [{"type": "text", "value": "after clearing"}])
        self.assertEqual(app.setting("PreviewStyle"), "Show for 5 seconds")
        app = self.launch()
        with self.opened_menu(app, 3) as (menu, _):
            self.assert_layout(menu, section("Current", [("after clearing", True, False)]) + EMPTY_LAYOUT[2:])
            self.end_menu(menu)
        self.assertEqual(app.stop(), 0)


class XEmbedTrayTest(TrayMenuTests, unittest.TestCase):
    HOST = Trayer
    DRAWN_BY = {1: "app", 3: "app"}
    CTRL_Q_BUTTON = 3

    def as_read(self, title):
        """A title as assistive technology reads it in the right-click menu."""
        return title

    def own(self, offers):
        """Another application owning the clipboard with (MIME type, bytes) offers at once."""
        owner_program = os.environ.get("CLIPBOARD_OWNER")
        self.assertTrue(owner_program, "CLIPBOARD_OWNER names no clipboard owner program")
        owner, ready = start_clipboard_owner(owner_program, offers, self.home, f"offer-{len(self.clipboard_owners)}",
                                             self.session.env(), subprocess.DEVNULL)
        self.clipboard_owners.append(owner)
        self.assertTrue(ready, "the clipboard owner did not start")

    # Restoring goes through the same code on every host: one host is enough.
    def test_a_browser_copy_and_other_data_come_back_type_by_type(self):
        app = self.launch()
        browser_copy = [("text/html", '<meta charset="utf-8"><span data-buffer="figma">Frame ✓</span>'.encode()),
                        ("chromium/x-source-url", b"https://www.figma.com/file/Abc/Page"),
                        ("text/plain", "Frame ✓".encode()),
                        ("application/x-vnd.example-layers", bytes(range(256)))]
        other_data = ("application/x-vnd.example-binary", b"\x00\xff binary \x00")
        self.own(browser_copy)
        self.assertTrue(wait_for(lambda: len(app.saved_history()) == 1), "the browser copy was not saved")
        self.copy(other_data[1], other_data[0])
        self.assertTrue(wait_for(lambda: len(app.saved_history()) == 2), "the copies were not both saved")
        self.assertEqual([entry["displayText"] for entry in app.saved_history()], ["Data", "Figma: Frame ✓"])

        self.choose(app, "Figma: Frame ✓")
        self.assertTrue(wait_for(lambda: "text/html" in self.targets()), f"not offered: {self.targets()}")
        for mime, data in browser_copy:
            self.assertEqual(self.paste(mime), data, mime)
        self.assertEqual(self.paste("UTF8_STRING"), "Frame ✓".encode())

        self.choose(app, "Data")
        self.assertTrue(wait_for(lambda: other_data[0] in self.targets()), f"not offered: {self.targets()}")
        self.assertEqual(self.paste(other_data[0]), other_data[1])

        # Latin-1 under text/plain is no text: kept as data, it goes back unmended.
        self.copy(b"caf\xe9", "text/plain")
        self.assertTrue(wait_for(lambda: len(app.saved_history()) == 3), "the Latin-1 copy was not saved")
        self.choose(app, "Data")
        self.assertTrue(wait_for(lambda: self.paste("text/plain") == b"caf\xe9"),
                        f"text/plain holds {self.paste('text/plain')!r}")
        self.assertEqual(app.stop(), 0)

    def end_menu(self, menu):
        self.close_menu(menu)

    def assert_placed(self, app, menu, button, click):
        x, y, width, _ = menu.extents()
        if button == 3:  # Qt opens the context menu at the pointer, moved onto the screen
            self.assertEqual(y, click[1])
            self.assertTrue(x <= click[0] <= x + width, (x, width, click))
        else:  # under the icon, moved onto the screen
            icon_x, icon_y, icon_width, icon_height = self.icon_clicked
            self.assertEqual(y, icon_y + icon_height)
            self.assertTrue(x <= icon_x <= x + width, (x, width, icon_x))


class StatusNotifierItemTest(TrayMenuTests, unittest.TestCase):
    HOST = XfcePanel
    # The host draws the menu it reads over DBusMenu; a left click reaches
    # the application, which opens the same menu itself.
    DRAWN_BY = {1: "app", 3: "host"}
    CTRL_Q_BUTTON = 1

    def as_read(self, title):
        # GTK's accessible names leave out underscores, even escaped ones that
        # it draws, and keep the zero-width space that takes the mnemonic of a
        # title with "&" (screen readers skip it); the exported labels are checked below.
        return ("\u200b" + title if "&" in title else title).replace("_", "")

    def end_menu(self, menu):
        # xfce4-panel does not say when its menu is dismissed (the app then
        # waits up to ten seconds), but passes on the chosen item: choose the current style.
        self.session.click(*menu.item("Show for 5 seconds").center())

    def assert_placed(self, app, menu, button, click):
        if button == 1:  # the host does not say where the icon is: at the pointer
            x, y, _, _ = menu.extents()
            self.assertEqual((x, y), click)

    def test_the_exported_menu_is_the_empty_history_layout_with_its_shortcut(self):
        app = self.launch()
        service = self.host.item_of(app)
        self.assertTrue(service)
        with self.opened_menu(app, 3) as (menu, _):  # exported afresh on opening
            self.assert_layout(menu, EMPTY_LAYOUT)
            entries = exported_menu(service)
        self.assertEqual(exported_layout(entries), EMPTY_LAYOUT)
        self.assertEqual(entries[-1]["shortcut"], [["Control", "Q"]])
        self.assertEqual(app.stop(), 0)

    def test_titles_reach_the_host_as_written(self):
        # DBusMenu labels mark a mnemonic with "_": the host must not take one from a title.
        titles = ["snake_case", "Tom & Jerry", "a__b", "_lead", "&&", "plain"] + [f"Entry {i}" for i in range(5)] \
            + ["more_1 & co"]
        write_history(self.home, text_entries([(title, title) for title in titles]))
        app = self.launch()
        with self.opened_menu(app, 3):
            entries = exported_menu(self.host.item_of(app))
        layout = exported_layout(entries)
        self.assertEqual(layout[1], (titles[0], True, False))
        self.assertEqual(layout[4:15], [(title, True, False) for title in titles[1:11]] + [("1 more items", True, False)])
        self.assertEqual(exported_layout(entries[14]["children"]), [(titles[11], True, False)])
        self.assertEqual(app.stop(), 0)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    APP, ARTIFACTS = (os.path.realpath(path) for path in sys.argv[1:3])
    del sys.argv[1:3]  # the rest may name tests to run
    os.makedirs(ARTIFACTS, exist_ok=True)
    with AccessibilityBus():
        A11Y = Accessibility()
        result = unittest.main(exit=False, verbosity=2).result
        A11Y.close()
    failed = len(result.failures) + len(result.errors)
    print(f"{result.testsRun - failed} passed, {failed} failed")
    print(f"screenshots of the open menus: {ARTIFACTS}")
    sys.exit(1 if failed else 0)
