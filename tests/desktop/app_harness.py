"""The harness of the desktop tests that run the application itself: a private
X server with trayer for the whole run, one application per test with a
throwaway HOME, and xclip holding the clipboard. Every process is started
here and stopped by its PID. A test module sets APP, then runs its tests
inside `with Desktop():`.
"""
import base64
import json
import os
import random
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import unittest
import uuid

from processes import read_setting, stop, wait_for

APP = None
DISPLAY = None
RUNTIME_DIR = None


def free_display():
    for number in range(90, 200):
        if not os.path.exists(f"/tmp/.X{number}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{number}"):
            return f":{number}"
    raise RuntimeError("no free X display number")


def x_env(display=None):
    env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
    env.update(DISPLAY=display or DISPLAY, XDG_RUNTIME_DIR=RUNTIME_DIR)
    return env


def start_xvfb(display):
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not wait_for(lambda: os.path.exists(f"/tmp/.X11-unix/X{display[1:]}")):
        stop(xvfb)
        raise RuntimeError(f"Xvfb did not start on {display}")
    return xvfb


def run(*args, **kwargs):
    return subprocess.run(args, env=x_env(), capture_output=True, text=True, timeout=20, **kwargs)


HISTORY = "ClipboardHistory.data"
ENTRY_KEYS = ["id", "timestamp", "content", "type", "displayText"]
STORED_FOLDERS = ("ClipboardData", "ClipboardThumbnails")


def make_history(count, seed):
    """Entries newest first, and the stored files they name: {relative path: bytes}.

    Every fifth entry is an image (data and thumbnail), every fifth from index
    2 is data, index 3 is a file copy, the rest text. Every third entry has its
    UUIDs in lower case, which the app must write back in upper case.
    """
    rng = random.Random(seed)
    entries, files = [], {}
    for i in range(count):
        entry_id = str(uuid.UUID(int=rng.getrandbits(128), version=4)).upper()
        stored_id = str(uuid.UUID(int=rng.getrandbits(128), version=4)).upper()
        if i % 5 == 0:
            content = {"type": "image", "value": stored_id}
            files[f"ClipboardData/{stored_id}"] = rng.randbytes(64)
            files[f"ClipboardThumbnails/{stored_id}"] = rng.randbytes(32)
        elif i % 5 == 2:
            content = {"type": "data", "value": stored_id}
            files[f"ClipboardData/{stored_id}"] = rng.randbytes(48)
        elif i == 3:
            content = {"type": "file", "value": ["/home/someone/Report 2024.pdf", "/tmp/ü b/€.txt"],
                       "bookmarks": [base64.b64encode(rng.randbytes(n)).decode() for n in (30, 31, 32)]}
        else:
            content = {"type": "text", "value": f"text {i}"}
        if i == 1:
            content["value"] = 'quote " backslash \\ line\nbreak\ttab \u0001 é 中文 😀'
        if i % 3 == 1:
            entry_id = entry_id.lower()
            if content["type"] in ("image", "data"):
                content["value"] = content["value"].lower()
        timestamp = 123456789.123456789 if i == 6 else 789000000.0 - i * 61.125
        entries.append({"id": entry_id, "timestamp": timestamp, "content": content, "type": content["type"],
                        "displayText": f"Entry {i} – ✓"})
    return entries, files


def canonical(entries):
    """What the app is expected to write back: UUIDs in upper case, all else equal."""
    result = json.loads(json.dumps(entries))
    for entry in result:
        entry["id"] = entry["id"].upper()
        if entry["content"]["type"] in ("image", "data"):
            entry["content"]["value"] = entry["content"]["value"].upper()
    return result


def stored_ids(entries):
    return {entry["content"]["value"].upper() for entry in entries if entry["type"] in ("image", "data")}


def under(files, folder):
    """The part of {relative path: content} inside `folder`, relative to it."""
    return {path[len(folder) + 1:]: content for path, content in files.items() if path.startswith(folder + "/")}


def hand_written(entries):
    """Another writer's layout: indented, keys in another order, ASCII escapes."""
    shuffled = [dict(reversed(list(entry.items()))) for entry in entries]
    return json.dumps(shuffled, indent=2, ensure_ascii=True).encode()


def write_file(path, data, mode=0o600):
    os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, mode)


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def snapshot(path):
    """A file's bytes, or a directory's tree."""
    return tree(path) if os.path.isdir(path) else read_file(path)


def tree(folder):
    """Every item below `folder` (links not followed): {relative path: bytes, "dir", or "-> target"}."""
    found = {}
    for parent, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(parent, name)
            relative = os.path.relpath(path, folder)
            if os.path.islink(path):
                found[relative] = "-> " + os.readlink(path)
            elif os.path.isdir(path):
                found[relative] = "dir"
            else:
                found[relative] = read_file(path)
    return found


def run_module_tests():
    """Runs the tests of the module run as a script on one Desktop, and exits
    with their status; arguments left in sys.argv name tests to run."""
    with Desktop():
        result = unittest.main(module="__main__", exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print(f"{result.testsRun - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


class Desktop:
    """Xvfb plus trayer, for the whole module."""

    def __enter__(self):
        global DISPLAY, RUNTIME_DIR
        RUNTIME_DIR = tempfile.mkdtemp(prefix="bm-runtime-")
        os.chmod(RUNTIME_DIR, 0o700)
        DISPLAY = free_display()
        self.xvfb = start_xvfb(DISPLAY)
        self.trayer = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                        "--width", "200", "--height", "24", "--transparent", "false"],
                                       env=x_env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: "_NET_SYSTEM_TRAY_S0" in run("xprop", "-root").stdout or self.tray_owned()):
            raise RuntimeError("trayer did not take the tray selection")
        return self

    @staticmethod
    def tray_owned():
        # xprop cannot read selection owners; trayer maps its window once it owns the tray.
        return run("xdotool", "search", "--onlyvisible", "--class", "trayer").stdout.strip() != ""

    def __exit__(self, *exc):
        stop(self.trayer)
        stop(self.xvfb)
        shutil.rmtree(RUNTIME_DIR, ignore_errors=True)


class App:
    """One Brindlemux process with its own HOME."""

    def __init__(self, home):
        self.home = home
        self.data = os.path.join(home, ".local", "share", "Brindlemux")
        self.settings = os.path.join(home, ".config", "Brindlemux", "Brindlemux.conf")
        self.autostart = os.path.join(home, ".config", "autostart", "brindlemux.desktop")

    def start(self, display=None):
        env = x_env(display)
        env["HOME"] = self.home
        self.stdout = open(os.path.join(self.home, "stdout.log"), "w+")
        self.stderr = open(os.path.join(self.home, "stderr.log"), "w+")
        self.process = subprocess.Popen([APP], env=env, stdout=self.stdout, stderr=self.stderr)
        return self

    def output(self):
        if not self.stdout.closed:
            self.stdout.flush()
        with open(self.stdout.name) as f:
            return f.read()

    def errors(self):
        with open(self.stderr.name) as f:
            return f.read()

    def setting(self, key):
        return read_setting(self.settings, key)

    def tray_window(self):
        found = run("xdotool", "search", "--onlyvisible", "--pid", str(self.process.pid), "--class", "brindlemux")
        return found.stdout.split()[0] if found.stdout.split() else None

    def stop(self, sig=signal.SIGTERM):
        code = stop(self.process, sig)
        for log in (self.stdout, self.stderr):
            if not log.closed:
                log.close()
        return code


class Copier:
    """xclip holding the clipboard in the foreground, so that we own its PID."""

    def __init__(self):
        self.processes = []

    def copy(self, data, target="text/plain"):
        process = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard", "-t", target], env=x_env(),
                                   stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        process.stdin.write(data if isinstance(data, bytes) else data.encode())
        process.stdin.close()
        self.processes.append(process)
        # Ready once the clipboard answers with what was copied.
        wait_for(lambda: run("xclip", "-o", "-selection", "clipboard", "-t", "TARGETS").returncode == 0
                 and target in run("xclip", "-o", "-selection", "clipboard", "-t", "TARGETS").stdout)

    def close(self):
        for process in self.processes:
            stop(process)


class AppTestCase(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="bm-home-")
        self.copier = Copier()
        self.apps = []

    def tearDown(self):
        for app in self.apps:
            app.stop(signal.SIGKILL)
        self.copier.close()
        shutil.rmtree(self.home, ignore_errors=True)

    def launch(self, home=None):
        app = App(home or self.home).start()
        self.apps.append(app)
        return app

    def launch_and_wait(self, home=None):
        """A running app that has loaded its history and polled the clipboard once."""
        app = self.launch(home)
        self.assertTrue(wait_for(app.tray_window), "no tray icon window appeared")
        self.assertTrue(wait_for(lambda: app.setting("LastChangeCount")), "the clipboard was never polled")
        return app

    def assert_saved(self, app, expected_entries):
        """Stops the app and checks the history file it leaves; returns its bytes."""
        self.assertEqual(app.stop(), 0)
        path = os.path.join(app.data, HISTORY)
        self.assertFalse(os.path.lexists(path + ".tmp"), "the temporary file stayed")
        self.assertTrue(stat.S_ISREG(os.lstat(path).st_mode))
        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o600)
        data = read_file(path)
        saved = json.loads(data)
        self.assertEqual(saved, expected_entries)
        for index, entry in enumerate(saved):
            self.assertEqual(list(entry), ENTRY_KEYS, f"key order of entry {index}")
        self.assertNotIn(b"\n", data, "not compact")
        return data

