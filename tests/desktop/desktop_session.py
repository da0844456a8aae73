"""Processes of a headless desktop for the end-to-end tests.

A private X display, the accessibility bus, and two kinds of tray host: trayer
(XEmbed) and xfce4-panel with only its Status Tray plugin (StatusNotifierItem,
which most desktops use). Every process is started here and stopped by PID.
Run under dbus-run-session: the StatusNotifierItem watcher lives on the
session bus, so only one host runs at a time.
"""
import glob
import os
import shutil
import signal
import subprocess
import tempfile
import time

from menu_reading import connection_pid, dbus_property
from processes import stop, wait_for

XFCONFD = next(iter(glob.glob("/usr/lib/*/xfce4/xfconf/xfconfd")), "xfconfd")  # Debian's multiarch folder
A11Y_BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def descends_from(pid, ancestor):
    """Whether process `pid` is `ancestor` or one of its children's children."""
    while pid and pid > 1:
        if pid == ancestor:
            return True
        try:
            with open(f"/proc/{pid}/stat") as f:
                pid = int(f.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            return False
    return False


def session_bus_has(name):
    found = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                            "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", f"string:{name}"],
                           capture_output=True, text=True, timeout=10)
    return "boolean true" in found.stdout


class Session:
    """One X display and the runtime folder its clients share."""

    def __init__(self):
        self.runtime_dir = tempfile.mkdtemp(prefix="bm-runtime-")
        os.chmod(self.runtime_dir, 0o700)
        self.processes = []
        # Xvfb picks a free display itself and says which: no race with other test runs.
        reader, writer = os.pipe()
        try:
            self.start("Xvfb", "-displayfd", str(writer), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
                       "-noreset", env=os.environ.copy(), pass_fds=(writer,))
            os.close(writer)
            with os.fdopen(reader) as announced:
                number = announced.readline().strip()
        except Exception:
            self.close()
            raise
        if not number:
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.display = f":{number}"

    def env(self, **extra):
        env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
        env.update(DISPLAY=self.display, XDG_RUNTIME_DIR=self.runtime_dir, **extra)
        return env

    def start(self, *args, env=None, **kwargs):
        process = subprocess.Popen(args, env=env or self.env(), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, **kwargs)
        self.processes.append(process)
        return process

    def run(self, *args, check=False):
        return subprocess.run(args, env=self.env(), capture_output=True, text=True, timeout=20, check=check)

    def close(self):
        for process in reversed(self.processes):
            stop(process)
        shutil.rmtree(self.runtime_dir, ignore_errors=True)

    # Input and screen.

    def window_area(self, window):
        """(x, y, width, height) of an X window, or None once it has gone."""
        geometry = self.run("xdotool", "getwindowgeometry", "--shell", window)
        if geometry.returncode != 0:
            return None
        values = dict(line.split("=") for line in geometry.stdout.split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def click(self, x, y, button=1):
        self.run("xdotool", "mousemove", str(x), str(y), "click", str(button))

    def key(self, *keys):
        self.run("xdotool", "key", *keys)

    def pointer(self):
        values = dict(line.split("=") for line in self.run("xdotool", "getmouselocation", "--shell").stdout.split())
        return int(values["X"]), int(values["Y"])

    def screenshot(self, path, area=None):
        """The screen, or the area (x, y, width, height) of it, as a PNG file."""
        args = ["import", "-window", "root"]
        if area:
            x, y, width, height = area
            args += ["-crop", f"{width}x{height}+{x}+{y}", "+repage"]
        self.run(*args, path, check=True)
        return path

    def colours(self, path):
        return int(self.run("identify", "-format", "%k", path).stdout or 0)


class AccessibilityBus:
    """The AT-SPI bus, with accessibility turned on for every client."""

    def __enter__(self):
        self.launcher = subprocess.Popen([A11Y_BUS_LAUNCHER, "--launch-immediately", "--a11y=1"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: session_bus_has("org.a11y.Bus")):
            stop(self.launcher)
            raise RuntimeError("the accessibility bus did not start")
        return self

    def __exit__(self, *exc):
        stop(self.launcher)


class Trayer:
    """An XEmbed tray at the top right: icons are small windows of their own."""

    name = "XEmbed"

    def __init__(self, session):
        self.session = session
        self.process = session.start("trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                     "--width", "200", "--height", "24", "--transparent", "false")
        if not wait_for(lambda: session.run("xdotool", "search", "--onlyvisible", "--class", "trayer").stdout.strip()):
            raise RuntimeError("trayer did not map its window")

    def draws(self, pid):
        """XEmbed hosts draw no menus."""
        return False

    def icon_area(self, app):
        """Where the app's tray icon is, as (x, y, width, height): its window, named after the icon."""
        found = self.session.run("xdotool", "search", "--onlyvisible", "--pid", str(app.process.pid),
                                 "--name", "^Clipboard Manager$").stdout.split()
        return self.session.window_area(found[0]) if found else None

    def close(self):
        stop(self.process)


PANEL_CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
"""


class XfcePanel:
    """xfce4-panel with its Status Tray: a StatusNotifierItem host that draws
    the icon inside the panel and each item's menu from its DBusMenu export."""

    name = "StatusNotifierItem"
    WATCHER = "org.kde.StatusNotifierWatcher"

    def __init__(self, session):
        self.session = session
        self.config = tempfile.mkdtemp(prefix="bm-xfce-")
        channel = os.path.join(self.config, "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(channel)
        with open(os.path.join(channel, "xfce4-panel.xml"), "w") as f:
            f.write(PANEL_CONFIG)
        env = session.env(XDG_CONFIG_HOME=self.config)
        # Started by hand: D-Bus activation would give it the bus's environment.
        self.xfconfd = session.start(XFCONFD, env=env)
        if not wait_for(lambda: session_bus_has("org.xfce.Xfconf")):
            raise RuntimeError("xfconfd did not start")
        self.panel = session.start("xfce4-panel", "--disable-wm-check", env=env)
        if not wait_for(lambda: session_bus_has(self.WATCHER), timeout=15):
            raise RuntimeError("xfce4-panel's Status Tray did not register the watcher")

    def draws(self, pid):
        """Whether process `pid` is the panel or one of its plugin processes."""
        return descends_from(pid, self.panel.pid)

    def registered_items(self):
        try:
            return dbus_property(self.WATCHER, "/StatusNotifierWatcher", self.WATCHER,
                                 "RegisteredStatusNotifierItems")
        except Exception:  # the watcher is not answering yet
            return []

    def item_of(self, app):
        """The bus name of the app's StatusNotifierItem, once registered."""
        for item in self.registered_items():
            service = item.split("/", 1)[0]
            if connection_pid(service) == app.process.pid:
                return service
        return None

    def icon_area(self, app):
        """The Status Tray plugin's window: the app's icon is the only one in it.
        Its process names its menu windows alike; the plugin is the top one, in the panel."""
        if not self.item_of(app):
            return None
        areas = [self.session.window_area(window) for window in
                 self.session.run("xdotool", "search", "--onlyvisible", "--name", "^wrapper-2.0$").stdout.split()]
        areas = [area for area in areas if area]
        return min(areas, key=lambda area: (area[1], area[2] * area[3])) if areas else None

    def close(self):
        # The panel ends its plugin processes; xfconfd is ours to end.
        stop(self.panel)
        stop(self.xfconfd)
        shutil.rmtree(self.config, ignore_errors=True)
