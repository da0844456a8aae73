"""The two applications measured. Each runs with a throwaway HOME on the
benchmark's display, is stopped by PID with every process it started, and
says in its own way when it has recorded a copy:

- Brindlemux, when its saved history file holds the copy as its newest
  entry (the file is replaced by a rename: a new inode or mtime is read);
- CopyQ, when its item count grows, as a long-running `copyq eval` script
  sees it by calling count() every 5 ms (the `copyq count` command takes
  ~60 ms to start, too coarse to time a capture with). Which items it holds
  is read with `copyq eval` afterwards.
"""
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading
import time

from processes import read_setting, stop, wait_for
from proc_stats import process_tree, started_at

POLL = 0.005  # both applications are watched at this interval
ICON_MAX = 64  # tray icons are 22 x 22 in trayer; anything larger is another window


class Application:
    name = None

    def __init__(self, session, accessible=False):
        self.session = session
        self.home = tempfile.mkdtemp(prefix=f"bm-bench-{self.name.lower()}-")
        self.accessible = accessible
        self.process = None
        self.log = open(os.path.join(self.home, "app.log"), "w")

    def env(self, **extra):
        env = self.session.env(HOME=self.home, **extra)
        if self.accessible:
            env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        return env

    @property
    def pid(self):
        return self.process.pid

    def windows(self):
        """The application's visible windows, as {window: (x, y, width, height)}."""
        found = self.session.run("xdotool", "search", "--onlyvisible", "--pid", str(self.pid)).stdout.split()
        areas = {window: self.session.window_area(window) for window in found}
        return {window: area for window, area in areas.items() if area}

    def icon_area(self):
        icons = [area for area in self.windows().values() if area[2] <= ICON_MAX and area[3] <= ICON_MAX]
        return icons[0] if icons else None

    def other_windows(self):
        icon = self.icon_area()
        return [area for area in self.windows().values() if area != icon]

    def log_tail(self):
        self.log.flush()
        with open(self.log.name, errors="replace") as f:
            return "".join(f.readlines()[-15:])

    def running(self):
        return self.process is not None and self.process.poll() is None

    def fail(self, what):
        tail = self.log_tail().strip()
        raise RuntimeError(f"{self.name}: {what}" + (f"\n--- the end of its log ---\n{tail}" if tail else ""))

    def wait_started(self, ready, timeout=30):
        if not wait_for(lambda: self.process.poll() is not None or ready(), timeout=timeout):
            self.fail(f"not ready after {timeout} s")
        if self.process.poll() is not None:
            self.fail(f"exited at start with status {self.process.returncode}")
        if not wait_for(self.icon_area, timeout=timeout):
            self.fail("no tray icon appeared")

    def stop(self):
        if self.process:
            helpers = {pid: started_at(pid) for pid in process_tree(self.pid) if pid != self.pid}
            stop(self.process)
            for pid, started in helpers.items():  # helpers that outlive their parent, ours to end
                if started is not None and started_at(pid) == started:  # not a new process under an old PID
                    try:
                        os.kill(pid, signal.SIGTERM)
                    except ProcessLookupError:
                        pass
        self.log.close()
        shutil.rmtree(self.home, ignore_errors=True)


class Brindlemux(Application):
    name = "Brindlemux"
    TOP = re.compile(rb'^\[\{"id":"([^"]+)","timestamp":[^,]*,"content":\{"type":"(\w+)","value":"?')

    def __init__(self, session, binary, accessible=False):
        super().__init__(session, accessible)
        self.binary = binary
        self.history = os.path.join(self.home, ".local", "share", "Brindlemux", "ClipboardHistory.data")
        self.settings = os.path.join(self.home, ".config", "Brindlemux", "Brindlemux.conf")
        self.baseline = None

    def start(self):
        self.process = subprocess.Popen([self.binary], env=self.env(), stdout=self.log, stderr=self.log)
        # Ready once the tray icon is up and the clipboard has been read once.
        self.wait_started(lambda: read_setting(self.settings, "LastChangeCount"))

    def _top(self):
        """(id, type, start of value) of the newest entry, or None."""
        try:
            with open(self.history, "rb") as f:
                head = f.read(4096)
        except OSError:
            return None
        found = self.TOP.match(head)
        return (found.group(1), found.group(2).decode(), head[found.end():]) if found else None

    def _saved(self):
        try:
            with open(self.history, "rb") as f:
                return f.read()
        except OSError:
            return b""

    def watch(self):
        pass

    def unwatch(self):
        pass

    def mark(self):
        top = self._top()
        self.baseline = top[0] if top else None

    def wait_recorded(self, kind, marker, timeout):
        """Wall-clock time at which the history file first held the copy, or None."""
        deadline = time.monotonic() + timeout
        seen = None
        while time.monotonic() < deadline:
            now = time.time()
            try:
                info = os.stat(self.history)
                version = (info.st_ino, info.st_mtime_ns, info.st_size)
            except OSError:
                version = None
            if version and version != seen:
                seen = version
                top = self._top()
                if top and top[0] != self.baseline and top[1] == kind and (
                        kind != "text" or top[2].startswith(marker.encode())):
                    return now
            time.sleep(POLL)
        return None

    def kept(self, markers):
        saved = self._saved()
        return sum(1 for marker in markers if b'"value":"' + marker.encode() in saved)

    def images(self):
        return self._saved().count(b'"content":{"type":"image"')

    def is_item(self, name, text=None):
        """Whether a menu item's accessible name is the entry of `text` (or the image, for None)."""
        return name == (text if text is not None else "Image")


class CopyQ(Application):
    name = "CopyQ"
    WATCHER = """
var n = count();
print("ready " + n + "\\n");
while (true) {
  var c = count();
  if (c != n) { print(c + " " + Date.now() + "\\n"); n = c; }
  sleep(5);
}
"""

    def __init__(self, session, accessible=False):
        super().__init__(session, accessible)
        self.watcher = None
        self.counts = []  # (count, wall-clock seconds) as the watcher saw them
        self.baseline = None

    def env(self, **extra):
        return super().env(COPYQ_SESSION_NAME="bench", **extra)

    def cli(self, *args, timeout=60):
        """A `copyq` command of ours (its CPU is not CopyQ's)."""
        return subprocess.run(["copyq", *args], env=self.env(), capture_output=True, text=True, timeout=timeout)

    def start(self):
        self.process = subprocess.Popen(["copyq"], env=self.env(), stdout=self.log, stderr=self.log)

        def answers():
            try:
                return self.cli("count", timeout=10).stdout.strip() == "0"
            except subprocess.TimeoutExpired:
                return False
        self.wait_started(answers)

    def watch(self):
        self.counts = []
        self.watcher = subprocess.Popen(["copyq", "eval", "--", self.WATCHER], env=self.env(), stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        ready = threading.Event()

        def read():
            for line in self.watcher.stdout:
                words = line.split()
                if words[:1] == ["ready"]:
                    self.counts.append((int(words[1]), time.time()))
                    ready.set()
                elif len(words) == 2:
                    self.counts.append((int(words[0]), int(words[1]) / 1000))
            ready.set()
        threading.Thread(target=read, daemon=True).start()
        if not ready.wait(30) or not self.counts:
            self.fail("the copyq eval watcher did not start")

    def unwatch(self):
        if self.watcher:
            stop(self.watcher)
            self.watcher = None

    def mark(self):
        self.baseline = len(self.counts)

    def wait_recorded(self, kind, marker, timeout):
        """Wall-clock time at which CopyQ's item count grew past the marked one, or None."""
        before = self.counts[self.baseline - 1][0]
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for count, at in self.counts[self.baseline:]:
                if count > before:
                    return at
            time.sleep(POLL)
        return None

    def _items(self, script):
        result = self.cli("eval", "--", "for (var i = 0; i < count(); ++i) print(" + script + " + '\\n');")
        if result.returncode != 0:
            self.fail(f"copyq eval failed: {result.stderr.strip()}")
        return result.stdout.splitlines()

    def kept(self, markers):
        heads = self._items("str(read(i)).slice(0, 100).replace(/\\n/g, ' ')")
        return sum(1 for marker in markers if any(head.startswith(marker) for head in heads))

    def images(self):
        return sum(1 for formats in self._items("str(read('?', i)).replace(/\\n/g, ' ')") if "image/png" in formats)

    def is_item(self, name, text=None):
        """CopyQ's tray menu numbers its items: "1. text", and "2. <IMAGE>" for an image."""
        found = re.fullmatch(r"\d+\. (.*)", name or "", re.DOTALL)
        return bool(found) and found.group(1) == (text if text is not None else "<IMAGE>")
