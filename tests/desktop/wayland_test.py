#!/usr/bin/env python3
"""The application in a Wayland session, with and without the compositor's data-control.

Usage: dbus-run-session -- with_sway.sh wayland_test.py PATH_TO_BRINDLEMUX [TEST ...]

On the headless sway that with_sway.sh starts, the clipboard goes through
data-control: copies are made with wl-copy and read back with wl-paste while
no window has focus. The tray icon is an X11 client on sway's XWayland, shown
by waybar as a StatusNotifierItem; entries are chosen from the menu the app
exports over DBusMenu, with the calls waybar makes on a click. On weston's
headless backend (no data-control) the app says so once and records X11 copies
(on a private Xvfb, as is the app whose own sway quits under it).
"""
import base64
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gi.repository import Gio, GLib  # noqa: E402

from desktop_session import Session  # noqa: E402
from menu_reading import connection_pid, dbus_property  # noqa: E402
from processes import read_setting, stop, wait_for  # noqa: E402

APP = None
HISTORY = "ClipboardHistory.data"
WATCHER = "org.kde.StatusNotifierWatcher"
NO_DATA_CONTROL = ("This Wayland session gives background applications no clipboard access (no data-control, as on "
                   "GNOME): Brindlemux records copies made in X11 programs, and copies Wayland programs make while an "
                   "X11 window has focus.\n")
TEXT_TYPES = ["text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "TEXT", "STRING"]
CUSTOM_TYPE = "application/x-brindlemux-test"
# Bytes that are no UTF-8, and whose Base64 holds slashes.
CUSTOM_BYTES = b"\x00\x01binary\xff\xfe\xff\xff\xff\r\n\x00"


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


class App:
    """One Brindlemux process with its own HOME, its output kept in files."""

    def __init__(self, home, env):
        self.home = home
        self.data = os.path.join(home, ".local", "share", "Brindlemux")
        self.settings = os.path.join(home, ".config", "Brindlemux", "Brindlemux.conf")
        self.stdout = open(os.path.join(home, "stdout.log"), "a")
        self.stderr = open(os.path.join(home, "stderr.log"), "a")
        self.process = subprocess.Popen([APP], env=dict(env, HOME=home), stdout=self.stdout, stderr=self.stderr)

    def setting(self, key):
        return read_setting(self.settings, key)

    def history_bytes(self):
        return read_bytes(os.path.join(self.data, HISTORY))

    def history(self):
        try:
            return json.loads(self.history_bytes())
        except (OSError, ValueError):  # not saved yet, or being replaced
            return []

    def stored(self, folder, name):
        return os.path.join(self.data, folder, name)

    def output(self):
        return read_bytes(self.stdout.name).decode()

    def errors(self):
        return read_bytes(self.stderr.name).decode()

    def stop(self, sig=signal.SIGTERM):
        code = stop(self.process, sig)
        self.stdout.close()
        self.stderr.close()
        return code


class WaylandClipboard:
    """wl-copy (in the foreground: its PID is ours to stop) and wl-paste, through data-control."""

    def __init__(self, env):
        self.env = env
        self.copiers = []

    def copy(self, data, mime):
        copier = subprocess.Popen(["wl-copy", "--foreground", "--type", mime], env=self.env, stdin=subprocess.PIPE,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        copier.stdin.write(data)
        copier.stdin.close()
        self.copiers.append(copier)
        if not wait_for(lambda: self.paste(mime) == data):
            raise AssertionError(f"wl-copy did not put the {mime} copy on the clipboard")

    def clear(self):
        subprocess.run(["wl-copy", "--clear"], env=self.env, timeout=10, check=True)

    def types(self):
        listed = subprocess.run(["wl-paste", "--list-types"], env=self.env, capture_output=True, text=True, timeout=10)
        return listed.stdout.split("\n")[:-1] if listed.returncode == 0 else []

    def paste(self, mime):
        return subprocess.run(["wl-paste", "--no-newline", "--type", mime], env=self.env, capture_output=True,
                              timeout=10).stdout

    def close(self):
        for copier in self.copiers:
            stop(copier)


def bus_call(service, path, interface, method, args):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    return bus.call_sync(service, path, interface, method, args, None, Gio.DBusCallFlags.NONE, 5000, None).unpack()


class TrayItem:
    """The app's StatusNotifierItem as a host finds it, and the menu it exports over DBusMenu."""

    def __init__(self, service, path):
        self.service = service
        self.menu = dbus_property(service, path, "org.kde.StatusNotifierItem", "Menu")

    @classmethod
    def of(cls, pid):
        """The item the process registered with the watcher, or None."""
        try:
            registered = dbus_property(WATCHER, "/StatusNotifierWatcher", WATCHER, "RegisteredStatusNotifierItems")
        except GLib.Error:
            return None
        for item in registered:
            # "bus name/object path", or a bus name alone for the default path.
            service, slash, path = item.partition("/")
            if connection_pid(service) == pid:
                return cls(service, slash + path if slash else "/StatusNotifierItem")
        return None

    def layout(self):
        """(id, label) of the visible top-level entries, separators as (id, None), as a host shows them on opening."""
        self.call("AboutToShow", GLib.Variant("(i)", (0,)))
        _, (_, _, children) = self.call("GetLayout", GLib.Variant("(iias)", (0, -1, [])))
        return [(child_id, None if props.get("type") == "separator" else props.get("label"))
                for child_id, props, _ in children if props.get("visible", True)]

    def history_section(self):
        """(id, label) of the entries under the "History" header."""
        layout = self.layout()
        labels = [label for _, label in layout]
        start = labels.index("History") + 1
        end = labels.index(None, start)
        return layout[start:end]

    def choose(self, label):
        """Clicks the History entry of that label, as a host does with a left click."""
        found = [item_id for item_id, shown in self.history_section() if shown == label]
        if len(found) != 1:
            raise AssertionError(f"{len(found)} History entries labelled {label!r}: {self.history_section()}")
        self.call("Event", GLib.Variant("(isvu)", (found[0], "clicked", GLib.Variant("i", 0),
                                                   int(time.time()) & 0xFFFFFFFF)))

    def call(self, method, args):
        return bus_call(self.service, self.menu, "com.canonical.dbusmenu", method, args)


def image_info(path):
    """(format, width, height) as ImageMagick reads the file."""
    found = subprocess.run(["identify", "-format", "%m %w %h", path], capture_output=True, text=True,
                           timeout=20).stdout.split()
    return (found[0], int(found[1]), int(found[2])) if len(found) == 3 else None


def differing_pixels(one, other):
    """How many pixels of two image files differ, as ImageMagick's compare counts them (a string)."""
    return subprocess.run(["compare", "-metric", "AE", one, other, "null:"], capture_output=True, text=True,
                          timeout=20).stderr.strip()


class AppTestCase(unittest.TestCase):
    ENV = None  # the environment apps and tools get

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="bm-home-")
        self.apps = []

    def tearDown(self):
        for app in self.apps:
            app.stop(signal.SIGKILL)
        shutil.rmtree(self.home, ignore_errors=True)

    def start(self):
        app = App(self.home, self.ENV)
        self.apps.append(app)
        return app

    def recorded(self, app, copy, what):
        """Makes the copy; gives the entry at the top once the history is saved with a new one."""
        known = {entry["id"] for entry in app.history()}
        copy()
        top = wait_for(lambda: next((e for e in app.history()[:1] if e["id"] not in known), None))
        self.assertTrue(top, f"the {what} copy was not saved: {app.history()}")
        return top


class DataControlTest(AppTestCase):
    """On sway, whose data-control shows every selection with no window focused."""

    @classmethod
    def setUpClass(cls):
        cls.session = Session()
        cls.ENV = cls.session.env()
        if not cls.ENV.get("WAYLAND_DISPLAY"):
            cls.session.close()
            raise RuntimeError("no WAYLAND_DISPLAY: run under with_sway.sh")
        cls.ENV["DISPLAY"] = os.environ["DISPLAY"]  # the tray on sway's XWayland, as on a desktop
        try:
            cls.waybar_config = tempfile.mkdtemp(prefix="bm-waybar-")
            cls.waybar = cls.start_waybar()
        except Exception:
            cls.session.close()
            raise

    @classmethod
    def start_waybar(cls):
        """waybar with only its tray: the StatusNotifierWatcher and a host on the session bus."""
        config, style = (os.path.join(cls.waybar_config, name) for name in ("config", "style.css"))
        with open(config, "w") as f:
            json.dump({"layer": "top", "position": "top", "height": 30, "modules-right": ["tray"]}, f)
        with open(style, "w") as f:
            f.write("")
        # A Wayland client only; NO_AT_BRIDGE keeps it from starting the accessibility bus.
        env = {k: v for k, v in cls.ENV.items() if k != "DISPLAY"}
        waybar = cls.session.start("waybar", "-c", config, "-s", style, env=dict(env, NO_AT_BRIDGE="1"))

        def host_registered():
            try:
                return dbus_property(WATCHER, "/StatusNotifierWatcher", WATCHER, "IsStatusNotifierHostRegistered")
            except GLib.Error:
                return False
        if not wait_for(host_registered, timeout=15):
            raise RuntimeError("waybar registered no StatusNotifierItem host")
        return waybar

    @classmethod
    def tearDownClass(cls):
        cls.session.close()  # waybar and Xvfb
        shutil.rmtree(cls.waybar_config, ignore_errors=True)

    def setUp(self):
        super().setUp()
        self.clipboard = WaylandClipboard(self.ENV)
        self.clipboard.clear()  # nothing left from an earlier test

    def tearDown(self):
        super().tearDown()
        self.clipboard.close()

    def launch(self):
        """A running app whose icon the host has, with the clipboard checked once."""
        app = self.start()
        self.assertTrue(wait_for(lambda: TrayItem.of(app.process.pid)), "the app registered no StatusNotifierItem")
        self.assertTrue(wait_for(lambda: app.setting("LastChangeCount")), "the clipboard was never checked")
        return app

    def make_files(self):
        folder = os.path.join(self.home, "files")
        os.mkdir(folder)
        files = [os.path.join(folder, name) for name in ("report.txt", "Grüße – naïve.txt")]
        for path in files:
            with open(path, "w") as f:
                f.write(f"contents of {path}")
        return files

    def make_png(self):
        """A gradient, so that a pixel out of place shows."""
        path = os.path.join(self.home, "copied.png")
        subprocess.run(["convert", "-size", "48x32", "gradient:red-blue", "-depth", "8", f"PNG24:{path}"], check=True,
                       timeout=20)
        return path

    def assert_image_file(self, path, png, form):
        self.assertTrue(os.path.isfile(path), f"{path} is missing")
        self.assertEqual(image_info(path), (form, 48, 32))
        self.assertEqual(differing_pixels(path, png), "0", f"the pixels of {path} differ from the copied ones")

    def test_copies_of_each_kind_are_recorded_and_chosen_back_from_the_tray_menu(self):
        app = self.launch()
        files = self.make_files()
        png = self.make_png()
        text = "Copied in a Wayland program,\n\twith no window focused: ünïcode ✓"
        uri_list = "".join("file://" + urllib.parse.quote(path) + "\r\n" for path in files).encode()
        copies = [("text", text.encode(), "text/plain;charset=utf-8"), ("image", read_bytes(png), "image/png"),
                  ("files", uri_list, "text/uri-list"), ("custom", CUSTOM_BYTES, CUSTOM_TYPE)]
        entries = {}
        for kind, data, mime in copies:
            entries[kind] = self.recorded(app, lambda: self.clipboard.copy(data, mime), kind)

        self.assertEqual(entries["text"]["content"], {"type": "text", "value": text})

        image = entries["image"]
        self.assertEqual((image["type"], image["displayText"]), ("image", "Image"))
        self.assert_image_file(app.stored("ClipboardData", image["content"]["value"]), png, "TIFF")
        self.assertEqual(image_info(app.stored("ClipboardThumbnails", image["content"]["value"])), ("JPEG", 64, 64))

        copied = entries["files"]
        self.assertEqual(copied["type"], "file")
        self.assertEqual(copied["content"]["value"], files)
        self.assertEqual(len(copied["content"]["bookmarks"]), 2)

        custom = entries["custom"]
        self.assertEqual((custom["type"], custom["displayText"]), ("data", "Data"))
        document = read_bytes(app.stored("ClipboardData", custom["content"]["value"])).decode()
        self.assertNotIn("/", document.replace("\\/", ""), "a slash was not escaped")
        self.assertEqual(json.loads(document), {CUSTOM_TYPE: base64.b64encode(CUSTOM_BYTES).decode()})
        self.assertEqual([entry["type"] for entry in app.history()], ["data", "file", "image", "text"])

        # Each older entry, chosen from the menu, goes back on the clipboard and to the top of the history.
        item = TrayItem.of(app.process.pid)
        pasted = os.path.join(self.home, "pasted")

        def choose(kind, wanted_type):
            entry = next(e for e in app.history() if e["id"] == entries[kind]["id"])
            self.assertNotEqual(app.history()[0], entry, f"the {kind} entry is at the top already")
            item.choose(entry["displayText"])
            self.assertTrue(wait_for(lambda: wanted_type in self.clipboard.types()),
                            f"the {kind} entry is not on the clipboard: {self.clipboard.types()}")
            # Our own change is recorded as a new copy, in place of the entry chosen.
            self.assertTrue(wait_for(lambda: app.history()[0]["id"] != entry["id"]
                                     and app.history()[0]["type"] == entry["type"]
                                     and app.history()[0]["displayText"] == entry["displayText"]),
                            f"the {kind} entry was not recorded again at the top: {app.history()}")
            self.assertEqual(len(app.history()), len(copies))
            return app.history()[0]

        top = choose("text", "text/plain")
        self.assertEqual(top["content"], entries["text"]["content"])
        self.assertEqual(self.clipboard.types(), TEXT_TYPES)
        for mime in TEXT_TYPES:
            self.assertEqual(self.clipboard.paste(mime), text.encode(), mime)

        top = choose("image", "image/png")
        self.assertEqual(sorted(self.clipboard.types()), ["image/png", "image/tiff"])
        for mime, form in (("image/png", "PNG"), ("image/tiff", "TIFF")):
            with open(pasted, "wb") as f:
                f.write(self.clipboard.paste(mime))
            self.assert_image_file(pasted, png, form)
        self.assert_image_file(app.stored("ClipboardData", top["content"]["value"]), png, "TIFF")

        top = choose("files", "text/uri-list")
        self.assertEqual(top["content"]["value"], files)
        self.assertIn("text/uri-list", self.clipboard.types())
        listed = self.clipboard.paste("text/uri-list").decode()
        self.assertTrue(listed.endswith("\r\n"), repr(listed))
        self.assertEqual([urllib.parse.unquote(urllib.parse.urlsplit(url).path) for url in listed.split()], files)

        top = choose("custom", CUSTOM_TYPE)
        self.assertEqual(self.clipboard.types(), [CUSTOM_TYPE])
        self.assertEqual(self.clipboard.paste(CUSTOM_TYPE), CUSTOM_BYTES)
        document = read_bytes(app.stored("ClipboardData", top["content"]["value"]))
        self.assertEqual(json.loads(document), {CUSTOM_TYPE: base64.b64encode(CUSTOM_BYTES).decode()})

        self.assertEqual([entry["type"] for entry in app.history()], ["data", "file", "image", "text"])
        self.assertEqual(app.stop(), 0)
        self.assertEqual(app.output(), "")
        self.assertEqual(app.errors(), "")

    def test_a_relaunch_with_the_selection_unchanged_records_nothing(self):
        # Wayland announces the selection at every start: it is known by a digest of what it offers.
        app = self.launch()
        self.recorded(app, lambda: self.clipboard.copy(b"copied before the relaunch", "text/plain;charset=utf-8"),
                      "first")
        self.assertEqual(app.stop(), 0)
        saved, count = app.history_bytes(), app.setting("LastChangeCount")

        app = self.launch()
        time.sleep(1.2)  # two polls
        self.assertEqual(app.history_bytes(), saved)
        self.assertEqual(app.setting("LastChangeCount"), count)

        self.recorded(app, lambda: self.clipboard.copy(b"copied after the relaunch", "text/plain;charset=utf-8"),
                      "second")
        self.assertEqual([entry["content"]["value"] for entry in app.history()],
                         ["copied after the relaunch", "copied before the relaunch"])
        self.assertNotEqual(app.setting("LastChangeCount"), count)
        self.assertEqual(app.stop(), 0)
        self.assertEqual(app.output(), "")
        self.assertEqual(app.errors(), "")


    def test_without_xwayland_it_says_what_it_needs_and_stops(self):
        env = {k: v for k, v in self.ENV.items() if k != "DISPLAY"}
        ended = subprocess.run([APP], env=dict(env, HOME=self.home), capture_output=True, text=True, timeout=20)
        self.assertEqual((ended.returncode, ended.stdout), (1, ""))
        self.assertEqual(ended.stderr,
                         "Brindlemux needs XWayland for its tray icon: this Wayland session has no X display (DISPLAY)\n")


WESTON_CONFIG = """[core]
shell=kiosk-shell.so
[input-method]
path=
"""


class NoDataControlTest(AppTestCase):
    """On weston's headless backend, which offers no data-control (as GNOME does not)."""

    @classmethod
    def setUpClass(cls):
        cls.session = Session()
        cls.weston_runtime = tempfile.mkdtemp(prefix="bm-weston-")
        os.chmod(cls.weston_runtime, 0o700)
        config = os.path.join(cls.weston_runtime, "weston.ini")
        with open(config, "w") as f:
            f.write(WESTON_CONFIG)  # no helper clients: the shell and the on-screen keyboard are weston's children
        socket = os.path.join(cls.weston_runtime, "bm-weston")
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        cls.session.start("weston", "--backend=headless-backend.so", "--socket=bm-weston", f"--config={config}",
                          env=dict(env, XDG_RUNTIME_DIR=cls.weston_runtime))
        if not wait_for(lambda: os.path.exists(socket)):
            cls.tearDownClass()
            raise RuntimeError("weston did not start")
        cls.ENV = cls.session.env(WAYLAND_DISPLAY=socket)

    @classmethod
    def tearDownClass(cls):
        cls.session.close()  # weston and Xvfb
        shutil.rmtree(cls.weston_runtime, ignore_errors=True)

    def setUp(self):
        super().setUp()
        self.copiers = []

    def tearDown(self):
        super().tearDown()
        for copier in self.copiers:
            stop(copier)

    def copy_with_xclip(self, text):
        copier = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard"], env=self.ENV, stdin=subprocess.PIPE,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        copier.stdin.write(text.encode())
        copier.stdin.close()
        self.copiers.append(copier)

    def test_one_line_says_so_and_x11_copies_are_recorded(self):
        # A compositor answers there, one without a seat or data-control.
        answer = subprocess.run(["wl-paste", "--list-types"], env=self.ENV, capture_output=True, text=True, timeout=10)
        self.assertEqual(answer.stderr.strip(), "Missing a seat")
        app = self.start()
        self.assertTrue(wait_for(lambda: app.setting("LastChangeCount")), "the clipboard was never checked")
        self.assertTrue(wait_for(lambda: app.output() == NO_DATA_CONTROL), f"printed: {app.output()!r}")
        for text in ("copied in an X11 program", "and another"):
            top = self.recorded(app, lambda: self.copy_with_xclip(text), text)
            self.assertEqual(top["content"], {"type": "text", "value": text})
        self.assertEqual(app.stop(), 0)
        self.assertEqual(app.output(), NO_DATA_CONTROL)
        self.assertEqual(app.errors(), "")

    def test_a_display_that_does_not_answer_is_named_as_such(self):
        app = App(self.home, dict(self.ENV, WAYLAND_DISPLAY=os.path.join(self.weston_runtime, "no-such-socket")))
        self.apps.append(app)
        self.assertTrue(wait_for(lambda: app.setting("LastChangeCount")), "the clipboard was never checked")
        top = self.recorded(app, lambda: self.copy_with_xclip("copied all the same"), "X11")
        self.assertEqual(top["content"], {"type": "text", "value": "copied all the same"})
        self.assertEqual(app.stop(), 0)
        self.assertEqual(app.output(), "Brindlemux cannot reach the Wayland display named by WAYLAND_DISPLAY: it "
                                       "records the X11 clipboard only.\n")
        self.assertEqual(app.errors(), "")


def cpu_ticks(pid):
    """User and system time the process has had, in clock ticks."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


class CompositorGoneTest(AppTestCase):
    """A sway of its own that quits while the app runs, as when a session ends before it."""

    def test_the_app_stays_idle_and_quits_cleanly(self):
        session = Session()
        self.addCleanup(session.close)
        # with_sway.sh keeps its sway while its command runs: this one says where the socket is and waits for
        # its input to end.
        with_sway = os.path.join(os.path.dirname(os.path.abspath(__file__)), "with_sway.sh")
        sway = subprocess.Popen([with_sway, "sh", "-c", 'echo "$WAYLAND_DISPLAY"; cat > /dev/null'],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(stop, sway)
        socket = sway.stdout.readline().strip()
        self.ENV = session.env(WAYLAND_DISPLAY=socket)
        app = self.start()
        self.assertTrue(wait_for(lambda: app.setting("LastChangeCount")), "the clipboard was never checked")
        clipboard = WaylandClipboard(self.ENV)
        self.addCleanup(clipboard.close)
        self.recorded(app, lambda: clipboard.copy(b"copied before the compositor quit", "text/plain"), "text")

        sway.stdin.close()
        self.assertTrue(wait_for(lambda: not os.path.exists(socket)), "sway did not quit")
        self.assertEqual(sway.wait(10), 0)
        time.sleep(0.5)
        before = cpu_ticks(app.process.pid)
        time.sleep(2)
        # Woken by the poll only: a few ticks at most, where a dead connection read without end takes them all.
        self.assertLess(cpu_ticks(app.process.pid) - before, 20)
        self.assertEqual(app.stop(), 0)
        self.assertEqual(app.output(), "")
        self.assertEqual(app.errors(), "")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    APP = os.path.realpath(sys.argv[1])
    del sys.argv[1]  # the rest may name tests to run
    result = unittest.main(exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print(f"{result.testsRun - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)
