"""Small helpers every desktop test shares: waiting, stopping by PID, reading the settings file."""
import configparser
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


def read_setting(settings_file, key):
    """A value of the app's settings file, or None (also while it is being rewritten)."""
    parser = configparser.ConfigParser()
    try:
        parser.read(settings_file)
    except configparser.Error:
        return None
    return parser.get("General", key, fallback=None)
