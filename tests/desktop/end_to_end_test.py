#!/usr/bin/env python3
"""The desktop application end to end, on a private X server with a tray host.

Usage: end_to_end_test.py PATH_TO_BRINDLEMUX

Starts Xvfb and trayer once, then one application per test with a
throwaway HOME; every process is started here and stopped by its PID.
"""
import configparser
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
import unittest

APP = None
DISPLAY = None
RUNTIME_DIR = None


def wait_for(predicate, timeout=10.0, interval=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    return predicate()


def stop(process, sig=signal.SIGTERM, timeout=5.0):
    if process.poll() is None:
        process.send_signal(sig)
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    return process.returncode


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
        self.stdout.flush()
        with open(self.stdout.name) as f:
            return f.read()

    def errors(self):
        with open(self.stderr.name) as f:
            return f.read()

    def setting(self, key):
        parser = configparser.ConfigParser()
        try:
            parser.read(self.settings)
        except configparser.Error:
            return None
        return parser.get("General", key, fallback=None)

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


class DesktopTest(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="bm-home-")
        self.copier = Copier()
        self.apps = []

    def tearDown(self):
        for app in self.apps:
            app.stop(signal.SIGKILL)
        self.copier.close()
        shutil.rmtree(self.home, ignore_errors=True)

    def launch(self):
        app = App(self.home).start()
        self.apps.append(app)
        return app

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
        self.assertIn(f'Exec="{os.path.realpath(APP)}"', entry)

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


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    APP = os.path.realpath(sys.argv.pop())
    with Desktop():
        result = unittest.main(exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print(f"{result.testsRun - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)
