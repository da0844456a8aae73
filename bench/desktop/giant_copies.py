#!/usr/bin/env python3
"""Giant copies on a virtual display with a tray host: a 200 MB text, a 10 MB
text without a line break and a 100-megapixel image, each copied with xclip
into a freshly started Brindlemux. For each: how long the capture takes, how
soon after it the tray menu opens, and the process's peak resident memory
against the copy's size.

Usage: dbus-run-session -- python3 bench/desktop/giant_copies.py --app PATH_TO_BRINDLEMUX [--runs N]

Brindlemux only: no size cap is set, so the figures say what a giant copy
costs. Each run starts the app afresh (its peak memory is its own), copies
once, waits for the history file to hold the copy as its newest entry, then
right-clicks the tray icon and waits for the menu window.
"""
import argparse
import base64
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "desktop"))
sys.path.insert(0, HERE)

import apps  # noqa: E402
from clipboard import Owners  # noqa: E402
from desktop_session import Session, Trayer  # noqa: E402
from processes import wait_for  # noqa: E402

MB = 1000 * 1000


def status_kib(pid, field):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def make_payloads(folder, env):
    """(label, path, target, kind the entry should have, size in bytes)."""
    lines = os.path.join(folder, "200MB.txt")
    with open(lines, "wb") as f:
        row = b"".join(b"giant copy line %07d of a two hundred megabyte text, " % i for i in range(64)) + b"\n"
        f.write(b"lines " + (row * (200 * MB // len(row) + 1))[:200 * MB - 6])
    line_free = os.path.join(folder, "10MB-line-free.txt")
    with open(line_free, "wb") as f:
        f.write(b"oneline " + (b"abcdefghij klmnopqrst uvwxyz0123 " * (10 * MB // 33 + 1))[:10 * MB - 8])
    image = os.path.join(folder, "100MP.png")
    made = subprocess.run(["convert", "-size", "10000x10000", "gradient:navy-orange", "-depth", "8", image],
                          env=env, capture_output=True, timeout=600)
    if made.returncode != 0:
        raise RuntimeError(f"ImageMagick could not make the image: {made.stderr.decode().strip()}")
    # Qt refuses to decode 10000 x 10000 x 4 bytes (past its allocation limit): the next kind takes it.
    return [("200 MB text", lines, "text/plain", "text", "lines "),
            ("10 MB line-free text", line_free, "text/plain", "text", "oneline "),
            ("100-megapixel PNG", image, "image/png", "data", None)]


def recorded_whole(app, path, kind):
    """Whether the newest entry holds every byte copied: the text itself, or
    for data the copied type's bytes in its snapshot file."""
    with open(path, "rb") as f:
        copied = f.read()
    with open(app.history, "rb") as f:
        newest = json.load(f)[0]
    if kind == "text":
        return newest["content"]["value"].encode() == copied
    data = os.path.join(os.path.dirname(app.history), "ClipboardData", newest["content"]["value"])
    with open(data, "rb") as f:
        snapshot = json.load(f)
    return base64.b64decode(snapshot.get("image/png", "")) == copied


def menu_opens(session, app, timeout=30):
    """Seconds from the right click on the icon until the menu window shows, or None."""
    x, y, width, height = app.icon_area()
    clicked = time.monotonic()
    session.click(x + width // 2, y + height // 2, button=3)
    shown = wait_for(lambda: app.other_windows(), timeout=timeout, interval=0.005)
    opened = time.monotonic() - clicked if shown else None
    session.key("Escape")
    wait_for(lambda: not app.other_windows(), timeout=5)
    return opened


def one_run(session, label, path, target, kind, marker):
    app = apps.Brindlemux(session, BINARY)
    owners = Owners(session.env())
    try:
        app.start()
        if not wait_for(app.icon_area, timeout=10):
            raise RuntimeError("no tray icon")
        time.sleep(0.5)
        fresh_rss = status_kib(app.pid, "VmRSS")
        app.mark()
        taken = owners.copy(path, target).wait_taken(timeout=60)
        seen = app.wait_recorded(kind, marker or "", timeout=300)
        if seen is None:
            raise RuntimeError(f"{label}: no {kind} entry within 300 s")
        menu = menu_opens(session, app)
        peak = status_kib(app.pid, "VmHWM")
        time.sleep(1)
        settled = status_kib(app.pid, "VmRSS")
        history_bytes = os.path.getsize(app.history)
        app.process.terminate()
        app.process.wait(timeout=60)
        printed = app.log_tail()
        whole = recorded_whole(app, path, kind)
        app.stop()
        return {"capture_s": seen - taken, "menu_s": menu, "fresh_rss_mib": fresh_rss / 1024,
                "peak_rss_mib": peak / 1024, "rss_after_mib": settled / 1024, "history_mib": history_bytes / 2**20,
                "printed": printed.strip(), "whole": whole}
    finally:
        owners.close()
        if app.process and app.running():
            app.stop()
        shutil.rmtree(app.home, ignore_errors=True)


def main():
    global BINARY
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--app", required=True)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    BINARY = os.path.realpath(args.app)
    work = tempfile.mkdtemp(prefix="bm-giant-")
    session = Session()
    trayer = None
    failed = False
    try:
        trayer = Trayer(session)
        payloads = make_payloads(work, session.env())
        print(f"{'copy':22} {'size':>9} {'capture s':>10} {'menu s':>8} {'peak RSS':>10} {'growth':>7} {'fresh':>7}"
              f" {'after':>8} {'history':>9}")
        for label, path, target, kind, marker in payloads:
            size_mib = os.path.getsize(path) / 2**20
            results = []
            for _ in range(args.runs):
                try:
                    results.append(one_run(session, label, path, target, kind, marker))
                except RuntimeError as error:
                    print(f"{label}: {error}")
                    failed = True
            for result in results:
                if not result["whole"]:
                    print(f"{label}: the entry does not hold the whole copy")
                    failed = True
                if result["printed"]:
                    print(f"{label}: the app printed: {result['printed']!r}")
                    failed = True
            if not results:
                continue
            if any(r["menu_s"] is None for r in results):
                print(f"{label}: the menu did not open within 30 s")
                failed = True
                continue
            median = {key: statistics.median(r[key] for r in results)
                      for key in ("capture_s", "menu_s", "peak_rss_mib", "fresh_rss_mib", "rss_after_mib",
                                  "history_mib")}
            growth = (median["peak_rss_mib"] - median["fresh_rss_mib"]) / size_mib
            print(f"{label:22} {size_mib:7.1f}Mi {median['capture_s']:10.2f} {median['menu_s']:8.3f} "
                  f"{median['peak_rss_mib']:8.0f}Mi {growth:7.2f} "
                  f"{median['fresh_rss_mib']:5.0f}Mi {median['rss_after_mib']:6.0f}Mi {median['history_mib']:7.1f}Mi")
            print("  runs: " + "; ".join(f"capture {r['capture_s']:.2f} s, menu {r['menu_s']} s, "
                                         f"peak {r['peak_rss_mib']:.0f} MiB" for r in results), flush=True)
    finally:
        if trayer:
            trayer.close()
        session.close()
        shutil.rmtree(work, ignore_errors=True)
    print(f"load average {os.getloadavg()[0]:.2f} on {os.cpu_count()} CPUs")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
