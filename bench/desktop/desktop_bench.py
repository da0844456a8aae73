#!/usr/bin/env python3
"""Brindlemux beside CopyQ on one virtual display with a tray host (Xvfb and
trayer): capture latency and CPU per capture by size, a copy burst, idle
cost, memory, and restoring from the tray menu. Prints a table and writes
JSON and a PNG chart. See README.md beside this file.

Usage: desktop_bench.py --app PATH_TO_BRINDLEMUX [--quick] [--out FOLDER]

Start it through bench/desktop/run, which installs what it needs and runs it
under its own session bus. Each measurement runs both applications one after
the other, each on a fresh throwaway HOME, swapping which goes first from one
measurement to the next; only one of them runs at a time.
"""
import argparse
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import uuid
from dataclasses import dataclass, replace

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "desktop"))  # the desktop tests' session helpers
sys.path.insert(0, HERE)

import apps  # noqa: E402
import proc_stats  # noqa: E402
import report  # noqa: E402
from clipboard import PNG, TEXT, Owners, Payloads, paste  # noqa: E402
from desktop_session import Session, Trayer  # noqa: E402
from menus import AccessibilityBus  # noqa: E402
from processes import wait_for  # noqa: E402

TOOLS = ("Xvfb", "trayer", "xclip", "xdotool", "convert", "copyq", "dbus-send")
PAUSE = 0.3  # after each timed capture: the application finishes what follows a capture
CPU_TAIL = 2.0  # after the last copy of a CPU window: work an application defers lands inside it
BURST = 20
BURST_SPACING = 0.025


@dataclass
class Size:
    label: str
    target: str
    kind: str
    bytes: int  # 0 for the image
    timeout: float
    latency_runs: int = 0
    cpu_runs: int = 0


SIZES = (Size("100 B text", TEXT, "text", 100, 5), Size("1 MiB text", TEXT, "text", 1 << 20, 10),
         Size("1920x1080 PNG", PNG, "image", 0, 20), Size("10 MiB text", TEXT, "text", 10 << 20, 40))
# (timed captures, captures in the CPU window) per size; fewer of the slow ones.
FULL_RUNS = ((20, 20), (20, 10), (15, 10), (6, 4))
QUICK_RUNS = ((5, 5), (5, 3), (4, 3), (2, 2))


@dataclass
class Plan:
    sizes: list
    idle_seconds: float
    memory_captures: int
    bursts: int
    restores: int


def plan(quick):
    runs = QUICK_RUNS if quick else FULL_RUNS
    sizes = [replace(size, latency_runs=timed, cpu_runs=cpu) for size, (timed, cpu) in zip(SIZES, runs)]
    if quick:
        return Plan(sizes, idle_seconds=10, memory_captures=10, bursts=1, restores=1)
    return Plan(sizes, idle_seconds=60, memory_captures=50, bursts=3, restores=3)


class Run:
    """What every measurement shares: the display, the payloads, the log."""

    def __init__(self, args, session, work):
        self.app_binary = args.app
        self.plan = plan(args.quick)
        self.session = session
        self.payloads = Payloads(work)
        self.started = time.monotonic()
        self.images = []
        self.bus = None
        self.owners = None
        self.missed_in_a_row = 0

    def log(self, message):
        print(f"[{time.monotonic() - self.started:5.0f} s] {message}", flush=True)

    def application(self, name, accessible=False):
        if name == "Brindlemux":
            return apps.Brindlemux(self.session, self.app_binary, accessible)
        return apps.CopyQ(self.session, accessible)

    def capture(self, app, path, target, kind, marker, timeout):
        """Copies and waits for the entry: milliseconds from the copy to the entry, or None."""
        app.mark()
        taken = self.owners.copy(path, target).wait_taken()
        seen = app.wait_recorded(kind, marker, timeout)
        if seen is not None:
            self.missed_in_a_row = 0
            return (seen - taken) * 1000
        # Timeouts add up: give up on an application that has ended or stopped recording.
        self.missed_in_a_row += 1
        if not app.running():
            app.fail(f"exited with status {app.process.returncode}")
        if self.missed_in_a_row >= 3:
            app.fail(f"recorded none of the last 3 copies within {timeout:g} s each")
        return None


def token():
    return uuid.uuid4().hex[:6]


def latency_summary(values):
    done = [value for value in values if value is not None]
    return {"runs_ms": values, "missed": len(values) - len(done), "p50_ms": report.percentile(done, 50),
            "p90_ms": report.percentile(done, 90)}


def measure_size(run, app, size):
    """Latency of captures made one at a time, then CPU per capture over copies spaced
    well apart with nothing polling the application."""
    mark = token()

    def payload(index, what):
        if size.kind == "image":
            return run.images[index], f"image {index}"
        marker = f"{size.label[:6].strip()} {what} {index:03d} {mark} "
        return run.payloads.text(size.bytes, marker), marker

    app.watch()
    latencies = []
    for index in range(size.latency_runs):
        path, marker = payload(index, "timed")
        latencies.append(run.capture(app, path, size.target, size.kind, marker, size.timeout))
        if size.kind == "text":
            run.payloads.discard(path)
        time.sleep(PAUSE)
    app.unwatch()
    result = latency_summary(latencies)

    p90 = result["p90_ms"] if result["p90_ms"] is not None else size.timeout * 1000
    gap = max(0.6, 2 * p90 / 1000 + 0.2)
    copies = [payload(size.latency_runs + index, "cpu") for index in range(size.cpu_runs)]
    images_before = app.images() if size.kind == "image" else 0
    time.sleep(1)
    before, start = proc_stats.sample(app.pid), time.monotonic()
    for index, (path, _) in enumerate(copies):
        run.owners.copy(path, size.target).wait_taken()
        time.sleep(max(0.0, start + (index + 1) * gap - time.monotonic()))
    time.sleep(CPU_TAIL)
    after, window = proc_stats.sample(app.pid), time.monotonic() - start
    recorded = app.images() - images_before if size.kind == "image" else app.kept([marker for _, marker in copies])
    if size.kind == "text":
        for path, _ in copies:
            run.payloads.discard(path)
    result.update(cpu_s=proc_stats.cpu_seconds(before, after), cpu_window_s=window, cpu_copies=size.cpu_runs,
                  cpu_recorded=recorded, cpu_gap_s=gap, latency_runs=size.latency_runs)
    return result


def measure_resident(run, app):
    """Fresh memory, the idle cost, then memory after many 1 MiB captures."""
    time.sleep(5)
    rss, pss, processes = proc_stats.memory(app.pid)
    fresh = {"rss_mib": rss / 1024, "pss_mib": pss / 1024, "processes": processes}
    before, start = proc_stats.sample(app.pid), time.monotonic()
    time.sleep(run.plan.idle_seconds)
    after, window = proc_stats.sample(app.pid), time.monotonic() - start
    idle = {"window_s": window, "cpu_s_per_60s": proc_stats.cpu_seconds(before, after) * 60 / window,
            "wakeups_per_60s": proc_stats.wakeups(before, after) * 60 / window}
    run.log(f"{app.name}: fresh RSS {fresh['rss_mib']:.1f} MiB, idle CPU {idle['cpu_s_per_60s']:.3f} s "
            f"and {idle['wakeups_per_60s']:.0f} wake-ups per 60 s")
    app.watch()
    mark, recorded = token(), 0
    for index in range(run.plan.memory_captures):
        marker = f"memory {index:03d} {mark} "
        path = run.payloads.text(1 << 20, marker)
        recorded += run.capture(app, path, TEXT, "text", marker, 10) is not None
        run.payloads.discard(path)
        time.sleep(0.1)
    app.unwatch()
    time.sleep(3)
    rss, pss, processes = proc_stats.memory(app.pid)
    after = {"rss_mib": rss / 1024, "pss_mib": pss / 1024, "processes": processes, "captures": recorded}
    return {"idle": idle, "memory": {"fresh": fresh, "after": after}}


def measure_burst(run, app):
    kept, spacing = [], []
    for burst in range(run.plan.bursts):
        mark = token()
        texts = [f"burst {burst:02d} {index:02d} {mark}" for index in range(BURST)]
        paths = [run.payloads.text(len(text), text) for text in texts]
        time.sleep(1)
        start, owners = time.monotonic(), []
        for index, path in enumerate(paths):
            time.sleep(max(0.0, start + index * BURST_SPACING - time.monotonic()))
            owners.append(run.owners.copy(path, TEXT))
        taken = sorted(owner.wait_taken() for owner in owners)
        time.sleep(3)  # whatever either application still does with the burst
        kept.append(app.kept(texts))
        spacing.append(statistics.median(b - a for a, b in zip(taken, taken[1:])) * 1000)
    return {"kept": kept, "lowest": min(kept), "spacing_ms_median": spacing}


def measure_restore(run, app):
    """Menu choice to the clipboard holding the entry, for a text and the ~4.8 MB image.
    Done once a paste of the entry's type gives it back."""
    env = run.session.env()
    mark = token()
    wanted = f"restore {mark}"
    app.watch()
    for path, target, kind, marker in ((run.images[0], PNG, "image", ""),
                                       (run.payloads.text(len(wanted), wanted), TEXT, "text", wanted)):
        if run.capture(app, path, target, kind, marker, 20) is None:
            app.fail(f"the {kind} to restore was not recorded")

    def other(index):
        text = f"other {index:02d} {mark}"
        run.capture(app, run.payloads.text(len(text), text), TEXT, "text", text, 10)
        time.sleep(0.5)

    def text_back():
        return time.time() if paste(env, TEXT) == wanted.encode() else None

    def image_back():
        if "image/png" in paste(env, "TARGETS").decode(errors="replace").split():
            if paste(env, PNG).startswith(b"\x89PNG\r\n\x1a\n"):
                return time.time()
        return None

    text_ms, image_ms = [], []
    for index in range(run.plan.restores):
        other(2 * index)
        clicked = run.bus.choose(app, lambda name: app.is_item(name, wanted))
        back = wait_for(text_back, timeout=10, interval=0.005)
        text_ms.append((back - clicked) * 1000 if back else None)
        time.sleep(1)
        other(2 * index + 1)
        clicked = run.bus.choose(app, lambda name: app.is_item(name, None))
        back = wait_for(image_back, timeout=30, interval=0.005)
        image_ms.append((back - clicked) * 1000 if back else None)
        time.sleep(1)
    app.unwatch()
    return {"text": latency_summary(text_ms), "image": latency_summary(image_ms)}


def measurements(run):
    steps = [("resident", "fresh memory, idle, memory after 1 MiB captures", measure_resident, False)]
    for size in run.plan.sizes:
        steps.append((size.label, f"capture of {size.label}", lambda r, a, s=size: {"capture": {s.label:
                                                                                   measure_size(r, a, s)}}, False))
    steps.append(("burst", "burst", lambda r, a: {"burst": measure_burst(r, a)}, False))
    steps.append(("restore", "restore from the tray menu", lambda r, a: {"restore": measure_restore(r, a)}, True))
    return steps


def merge(into, part):
    for key, value in part.items():
        if isinstance(value, dict) and isinstance(into.get(key), dict):
            merge(into[key], value)
        else:
            into[key] = value


def measure(run, results, errors, name, label, function, accessible):
    app = run.application(name, accessible)
    run.owners = Owners(run.session.env())
    run.missed_in_a_row = 0
    try:
        app.start()
        merge(results[name], function(run, app))
        run.log(f"{name}: {label} done")
    except Exception as error:  # noqa: BLE001 - one failed measurement must not cost the others
        errors.append(f"{name}, {label}: {error}")
        run.log(f"{name}: {label} FAILED: {error}")
    finally:
        app.unwatch()
        app.stop()
        run.owners.close()
        time.sleep(0.3)  # the clipboard is left without an owner


def net_cpu(results):
    """CPU per capture, less what the application spends idle over the same window."""
    for name in report.APPS:
        idle = report._get(results, name, "idle", "cpu_s_per_60s")
        for figures in results[name].get("capture", {}).values():
            if "cpu_s" not in figures:
                continue
            spent = figures["cpu_s"] - (idle / 60 * figures["cpu_window_s"] if idle is not None else 0)
            figures["cpu_ms_per_capture"] = spent * 1000 / figures["cpu_recorded"] if figures["cpu_recorded"] else None
            figures["cpu_ms_per_capture_gross"] = (figures["cpu_s"] * 1000 / figures["cpu_recorded"]
                                                   if figures["cpu_recorded"] else None)


def describe_machine(app_binary):
    def output(*args):
        try:
            return subprocess.run(args, capture_output=True, text=True, timeout=20).stdout.strip()
        except (OSError, subprocess.SubprocessError):
            return None
    revision = output("git", "-C", ROOT, "rev-parse", "--short", "HEAD")
    changed = output("git", "-C", ROOT, "status", "--porcelain", "--", "src")
    return {"kernel": platform.release(), "cpus": os.cpu_count(), "load_average": os.getloadavg(),
            "copyq": (output("copyq", "--version") or "").splitlines()[:2], "brindlemux": os.path.realpath(app_binary),
            "source": f"{revision}{' with uncommitted changes in src/' if changed else ''}" if revision else None}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--app", required=True, help="the Brindlemux binary to measure")
    parser.add_argument("--quick", action="store_true", help="a short smoke run (a few minutes)")
    parser.add_argument("--out", help="where the JSON and the chart go (default: desktop-bench/ beside the binary)")
    args = parser.parse_args()
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if missing:
        sys.exit(f"missing {', '.join(missing)}: run bench/desktop/run, which installs them")
    if not os.access(args.app, os.X_OK):
        sys.exit(f"no Brindlemux binary at {args.app}")
    if "DBUS_SESSION_BUS_ADDRESS" not in os.environ:
        sys.exit("no session bus: run bench/desktop/run, or this under dbus-run-session")
    out = args.out or os.path.join(os.path.dirname(os.path.abspath(args.app)), "desktop-bench",
                                   time.strftime("%Y%m%d-%H%M%S"))
    os.makedirs(out, exist_ok=True)

    work = tempfile.mkdtemp(prefix="bm-desktop-bench-")
    session = Session()
    trayer = None
    results = {name: {} for name in report.APPS}
    errors = []
    machine = describe_machine(args.app)
    run = Run(args, session, work)
    try:
        trayer = Trayer(session)
        image_count = max(size.latency_runs + size.cpu_runs for size in run.plan.sizes if size.kind == "image")
        run.images = run.payloads.make_images(image_count, session.env(), run.log)
        for index, (key, label, function, accessible) in enumerate(measurements(run)):
            order = report.APPS if index % 2 == 0 else tuple(reversed(report.APPS))
            if accessible:
                with AccessibilityBus(session) as run.bus:
                    for name in order:
                        measure(run, results, errors, name, label, function, accessible)
            else:
                for name in order:
                    measure(run, results, errors, name, label, function, accessible)
    finally:
        if trayer:
            trayer.close()
        session.close()
        shutil.rmtree(work, ignore_errors=True)

    net_cpu(results)
    machine["load_average_after"] = os.getloadavg()
    text, summary = report.table(results, run.plan.memory_captures)
    print("\n" + text + "\n")
    settings = {"quick": args.quick, "sizes": [size.__dict__ for size in run.plan.sizes],
                "idle_seconds": run.plan.idle_seconds, "memory_captures": run.plan.memory_captures,
                "bursts": run.plan.bursts, "restores": run.plan.restores, "poll_interval_s": apps.POLL,
                "seconds": time.monotonic() - run.started}
    document = {"machine": machine, "settings": settings, "results": results, "table": summary, "errors": errors}
    report.write_json(os.path.join(out, "desktop-bench.json"), document)
    print(f"JSON:  {os.path.join(out, 'desktop-bench.json')}")
    try:
        print(f"chart: {report.chart(os.path.join(out, 'desktop-bench.png'), results, run.plan.memory_captures)}")
    except ImportError:
        print("chart: not drawn, matplotlib is missing (bench/desktop/run installs it)")
    print(f"took {settings['seconds'] / 60:.1f} min; load average {machine['load_average'][0]:.2f} at the start, "
          f"{machine['load_average_after'][0]:.2f} at the end ({machine['cpus']} CPUs)")
    for error in errors:
        print(f"FAILED: {error}", file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
