"""Choosing an entry in an application's tray menu as a user does: a right
click on its icon, the item found through the accessibility bus (AT-SPI),
and a left click on it.
"""
import os
import subprocess
import tempfile
import time

from desktop_session import A11Y_BUS_LAUNCHER, session_bus_has
from menu_reading import Accessibility
from processes import stop, wait_for


class AccessibilityBus:
    """The AT-SPI bus for the restore runs only: Qt turns accessibility on
    for every application while it runs. Its socket goes to a private
    folder, so that it meets no other session's bus."""

    def __init__(self, session):
        self.session = session

    def __enter__(self):
        self.home = tempfile.mkdtemp(prefix="bm-bench-a11y-")
        env = self.session.env(HOME=self.home, XDG_CACHE_HOME=os.path.join(self.home, "cache"))
        self.launcher = subprocess.Popen([A11Y_BUS_LAUNCHER, "--launch-immediately", "--a11y=1"], env=env,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: session_bus_has("org.a11y.Bus")):
            stop(self.launcher)
            raise RuntimeError("the accessibility bus did not start")
        self.reader = Accessibility()
        return self

    def __exit__(self, *exc):
        self.reader.close()
        stop(self.launcher)

    def choose(self, app, wanted, timeout=10):
        """Opens `app`'s tray menu and clicks the item whose name `wanted(name)` accepts.
        Returns the wall-clock time of the click."""
        if not wait_for(lambda: not app.other_windows(), timeout=10):  # an image preview over the icon
            raise RuntimeError(f"{app.name}: a window other than the tray icon stayed open")
        x, y, width, height = app.icon_area()
        menu = None
        for _ in range(3):  # a menu still closing can swallow a click
            self.session.click(x + width // 2, y + height // 2, button=3)
            menu = self.reader.find_open_menu(lambda: self.session.key("Down"), timeout=3)
            if menu:
                break
            self.session.key("Escape")
        if not menu:
            raise RuntimeError(f"{app.name}: its tray menu did not open")

        def item():
            try:
                return next((entry for entry in menu.items() if entry.showing and wanted(entry.name)), None)
            except Exception:  # the menu is being rebuilt
                return None
        found = wait_for(item, timeout=timeout)
        if not found:
            names = [entry.name for entry in menu.items()]
            self.session.key("Escape")
            raise RuntimeError(f"{app.name}: no such item in its tray menu: {names}")
        self.session.run("xdotool", "mousemove", *map(str, found.center()))
        time.sleep(0.2)  # the hover settles before the timed click
        clicked = time.time()
        self.session.run("xdotool", "click", "1")
        return clicked
