"""Small helpers every desktop test shares: waiting, stopping by PID, reading the settings file."""
import configparser
import os
import signal
import subprocess
import time


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


def start_clipboard_owner(program, offers, folder, name, env, stderr):
    """The test program that owns the clipboard with (MIME type, bytes) offers at once, once it says it is ready.
    Each offer's bytes go to a file in `folder` named after `name`."""
    args = [program]
    for index, (mime, data) in enumerate(offers):
        path = os.path.join(folder, f"{name}-{index}")
        with open(path, "wb") as f:
            f.write(data)
        args += ["--type", mime, "--file", path]
    owner = subprocess.Popen(args, env=env, stdout=subprocess.PIPE, stderr=stderr, text=True)
    ready = owner.stdout.readline().strip()
    return owner, ready == "ready"


def read_setting(settings_file, key):
    """A value of the app's settings file, or None (also while it is being rewritten)."""
    parser = configparser.ConfigParser()
    try:
        parser.read(settings_file)
    except configparser.Error:
        return None
    return parser.get("General", key, fallback=None)
