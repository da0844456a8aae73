#!/usr/bin/python3
"""Kills the desktop app with SIGKILL at random instants under a stream of
copies, restores and clearings, and checks every launch after a kill.

Usage: dbus-run-session -- /usr/bin/python3 kill_soak.py PATH_TO_BRINDLEMUX [--kills N] [--seed N] [--keep]
       [--verbose]

Starts its own Xvfb, trayer and accessibility bus, and the app with a
throwaway HOME. The stream: texts of 100 B to 5 MB, PNG images and lists of
real files copied with xclip, copies of earlier content again, older entries
chosen from the tray menu and now and then "Clear all history". Kills fall
at random instants of a change, right after one, or a few milliseconds after
the history's temporary file appears, which is inside a save of the large
history. After each kill, before and after the next launch:
- the saved history parses and is the state before the change in flight, or
  one the change passes through, or the one after it (a restore saves twice:
  the entry moved up, then its content taken again from the clipboard);
- the data file and thumbnail of every image it names are whole;
- after the launch nothing is left beside the history file, the stored files
  are exactly the ones the history names, nothing is printed, and the
  history is the loaded one, or that with the clipboard's content taken again
  (a copy the killed run had not saved);
- a copy in flight is counted as lost when it is not at the top then (any
  other copy missing fails the state check above).
Prints a summary and exits non-zero on any failure.
"""
import argparse
import base64
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop_session import AccessibilityBus, Session, Trayer  # noqa: E402
from menu_reading import Accessibility  # noqa: E402
from processes import stop, wait_for  # noqa: E402
from soak_history import (SAVED_AT_MOST, TEMPORARY, Fresh, Known, Matcher, StoredLayout, digest, inserted,
                          moved_to_top, title)  # noqa: E402
from test_images import png  # noqa: E402

ACTION_TIMEOUT = 60.0
MENU_ENTRIES = 11  # the current entry and the ten under "History"
LARGE_HISTORY = 2_000_000  # bytes of text from which kills are aimed into saves


IMAGES = [png(16, 16, (255, 0, 0)), png(120, 90, (0, 128, 0)), png(320, 240, (0, 0, 255)),
          png(640, 480, (200, 200, 0)), png(800, 600, (90, 0, 160))]


class Copy:
    """One piece of content to copy: its key in the history model, its bytes (made again when
    needed: the soak copies gigabytes) and type, its title."""

    def __init__(self, key, make, size, target, display, label):
        self.key, self.make, self.size, self.target, self.display, self.label = key, make, size, target, display, label

    def data(self):
        return self.make()


class Workload:
    """The content the soak copies, made from the seed."""

    def __init__(self, rng, seed, folder):
        self.rng, self.seed = rng, seed
        self.texts = 0
        self.files = []
        for number in range(6):
            path = os.path.join(folder, f"note {number}.txt")
            with open(path, "w") as f:
                f.write(f"file {number} of the kill soak\n")
            self.files.append(path)

    def text_size(self):
        """Mostly small texts, a good share of large ones: the history holds several MB."""
        low, high = self.rng.choices([(100, 20_000), (20_000, 1_000_000), (1_000_000, 5_000_000)], [5, 3, 2])[0]
        return int(low * (high / low) ** self.rng.random())

    def text(self):
        self.texts += 1
        number, size = self.texts, self.text_size()

        def make():
            body = base64.encodebytes(random.Random(f"{self.seed}/{number}").randbytes(size * 3 // 4 + 3))
            return (f"soak {self.seed}-{number} ".encode() + body)[:size]
        data = make()
        return Copy(("text", digest(data)), make, size, "text/plain", title(data.decode()),
                    f"text {number} of {size} B")

    def image(self, index, learned):
        key = ("image", learned[index]) if index in learned else ("png", index)
        return Copy(key, lambda: IMAGES[index], len(IMAGES[index]), "image/png", "Image", f"image {index}")

    def file_list(self):
        paths = self.rng.sample(self.files, self.rng.randint(1, 3))
        uri_list = "".join("file://" + urllib.parse.quote(path) + "\r\n" for path in paths).encode()
        names = [os.path.basename(path) for path in paths]
        display = title("File: " + names[0] if len(names) == 1 else f"{len(names)} Files: {', '.join(names[:2])}")
        return Copy(("file", tuple(paths)), lambda: uri_list, len(uri_list), "text/uri-list", display,
                    f"{len(paths)} files")


class Launch:
    """One run of the app: its process and its output files."""

    def __init__(self, session, app, home, logs, number):
        self.stdout_path = os.path.join(logs, f"launch-{number}.out")
        self.stderr_path = os.path.join(logs, f"launch-{number}.err")
        with open(self.stdout_path, "w") as out, open(self.stderr_path, "w") as err:
            env = session.env(HOME=home, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
            self.process = subprocess.Popen([app], env=env, stdout=out, stderr=err)
        self.started = time.monotonic()

    def cpu_ticks(self):
        try:
            with open(f"/proc/{self.process.pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            return int(fields[11]) + int(fields[12])
        except OSError:
            return None

    def output(self):
        with open(self.stdout_path) as out, open(self.stderr_path) as err:
            return out.read() + err.read()


class Failure(Exception):
    pass


class Soak:
    def __init__(self, app, seed, session, trayer, a11y, home, verbose=False):
        self.verbose = verbose
        self.started = time.monotonic()
        self.app, self.seed, self.session, self.trayer, self.a11y, self.home = app, seed, session, trayer, a11y, home
        self.rng = random.Random(seed)
        self.logs = os.path.join(home, "logs")
        os.makedirs(self.logs)
        self.layout = StoredLayout(os.path.join(home, ".local", "share", "Brindlemux"))
        self.learned = {}  # image index -> digest of the TIFF the app stores for it
        self.matcher = Matcher(self.same_image)
        self.workload = Workload(self.rng, seed, home)
        self.copied = []  # every Copy made, for copying again
        self.owners = []  # (xclip process, Copy)
        self.state = ()
        self.launch = None
        self.count = dict(kills=0, launches=0, survived=0, copies=0, duplicates=0, restores=0, clears=0,
                          in_flight=0, saved_before_kill=0, taken_at_relaunch=0)
        self.kill_modes = {}
        self.left_temporary = {}  # kills that left the history's temporary file, by how they were aimed
        self.lost = []
        self.failures = []
        self.unknown_states = 0  # failures after which the expected history was taken from disk
        self.aim = 0.03  # seconds after the temporary file appears

    def log(self, text):
        if self.verbose:
            print(f"{time.monotonic() - self.started:8.2f} {text}", file=sys.stderr, flush=True)

    # The app.

    def start_app(self):
        self.count["launches"] += 1
        self.launch = Launch(self.session, self.app, self.home, self.logs, self.count["launches"])

    def kill_app(self):
        self.launch.process.send_signal(signal.SIGKILL)
        self.launch.process.wait()

    def same_image(self, expected, found):
        """An image not captured before is any image whose stored bytes are new."""
        return (expected[0] == "png" and found[0] == "image" and found[1] is not None
                and found[1] not in self.learned.values())

    def observe(self):
        try:
            return self.layout.read()
        except ValueError as error:
            raise Failure(str(error)) from None

    def wait_for_state(self, states, what, after=0.0, idle=0.0, timeout=ACTION_TIMEOUT):
        """Waits until the saved history is one of `states`, and the app has used no CPU for `idle`
        seconds; gives the index of that state and what was saved."""
        deadline = time.monotonic() + timeout
        version, observed, ticks = object(), None, []
        while True:
            now = time.monotonic()
            if self.layout.version() != version:
                version = self.layout.version()
                observed = self.observe()
                # A saved history names only files already written whole: one missing is never on its
                # way, unless a newer save replaced the history (and removed them) while it was read.
                faults = [fault for found in observed for fault in found.faults]
                if faults and self.layout.version() == version:
                    raise Failure(f"{what}: {'; '.join(faults)}")
            ticks.append((now, self.launch.cpu_ticks()))
            quiet = now - ticks[0][0] >= idle and next(t for at, t in ticks if at >= now - idle) == ticks[-1][1]
            index = self.matcher.which(states, observed)
            if index is not None and quiet and now >= after:
                return index, observed
            if now > deadline:
                raise Failure(f"{what}: the saved history is none of the {len(states)} expected states: "
                              + describe(observed, states[-1]))
            time.sleep(0.02)

    def take(self, states, index, observed):
        template = states[index]
        if template and template[0].key[0] == "png" and observed:
            self.learned[template[0].key[1]] = observed[0].key[1]
        self.state = self.matcher.adopt(template, observed)

    def settle_after_launch(self, on_clipboard):
        """The launch after a kill loads the saved history, and may take what is on the clipboard
        again (when the killed run had not stored that it saw it). Gives whether it did."""
        if not wait_for(lambda: self.trayer.icon_area(self.launch), timeout=20):
            raise Failure("no tray icon after the launch")
        loaded = self.state
        states = [loaded] + ([inserted(loaded, on_clipboard.key, on_clipboard.display)] if on_clipboard else [])
        # The first poll of the clipboard is half a second after the launch.
        index, observed = self.wait_for_state(states, "after the launch", after=time.monotonic() + 0.8, idle=0.6)
        self.take(states, index, observed)
        return index == 1

    # Actions. Each starts a change and gives the states the history passes through.

    def copy(self, copy):
        self.count["copies"] += 1
        self.log(f"copy {copy.label}")
        owner = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard", "-t", copy.target],
                                 env=self.session.env(), stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        owner.stdin.write(copy.data())
        owner.stdin.close()
        self.owners.append((owner, copy))
        self.copied.append(copy)
        return [self.state, inserted(self.state, copy.key, copy.display)]

    def wait_until_owned(self, copy):
        """xclip serves the copy (or has lost the clipboard to a later owner)."""
        owner = self.owners[-1][0]
        return wait_for(lambda: owner.poll() is not None or copy.target in self.clipboard_targets(), timeout=20)

    def clipboard_targets(self):
        # A request that reaches an owner just as it loses the clipboard is never answered.
        try:
            return subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", "TARGETS"], env=self.session.env(),
                                  capture_output=True, text=True, timeout=2).stdout
        except subprocess.TimeoutExpired:
            return ""

    def on_clipboard(self):
        """The copy whose xclip still holds the clipboard, if one does: only the newest can, and the
        others end once they lose it."""
        if not self.owners:
            return None
        wait_for(lambda: all(owner.poll() is not None for owner, _ in self.owners[:-1]), timeout=5)
        owner, copy = self.owners[-1]
        return self.resolved(copy) if owner.poll() is None else None

    def restore(self, index):
        self.count["restores"] += 1
        entry = self.state[index]
        self.log(f"restore entry {index} ({entry.display})")
        self.choose_in_menu(lambda items: items[1 if index == 0 else 3 + index], entry.display)
        moved = moved_to_top(self.state, index)
        # Restoring puts it on the clipboard, and the poll takes it from there as a new copy.
        return [self.state, moved, inserted(moved, entry.key, entry.display)]

    def clear(self):
        self.count["clears"] += 1
        self.log("clear")
        self.choose_in_menu(lambda items: next(item for item in items if item.name == "Clear all history"),
                            "Clear all history")
        return [self.state, ()]

    def choose_in_menu(self, pick, name):
        area = self.trayer.icon_area(self.launch)
        if not area:
            raise Failure("the tray icon is gone")
        x, y, width, height = area
        menu, seen = None, []
        for attempt in range(3):  # the last menu may still be closing and miss the click
            self.session.click(x + width // 2, y + height // 2, button=3)
            menu = self.a11y.find_open_menu(lambda: self.session.key("Down"), timeout=3)
            if menu:
                break
            seen.append(self.diagnose(f"no-menu-{self.count['launches']}-{attempt}"))
            self.session.key("Escape")
        if not menu:
            raise Failure(f"the tray menu did not open: {seen}")
        items = menu.items()
        shown = [item.name for item in items[4:4 + min(len(self.state), MENU_ENTRIES) - 1]]
        expected = [entry.display for entry in self.state[1:MENU_ENTRIES]]
        if len(self.state) > 1 and shown != expected:
            raise Failure(f"the menu lists {shown}, the history {expected}")
        item = pick(items)
        if item.name != name:
            raise Failure(f"the menu item is {item.name!r}, not {name!r}")
        self.session.click(*item.center())

    def diagnose(self, name):
        """What the screen and the app show when the menu does not open."""
        windows = self.session.run("xdotool", "search", "--onlyvisible", "--pid", str(self.launch.process.pid)).stdout
        shot = self.session.screenshot(os.path.join(self.logs, name + ".png"))
        stacks = subprocess.run(["gdb", "-p", str(self.launch.process.pid), "-batch", "-ex", "thread apply all bt 12"],
                                capture_output=True, text=True, timeout=60).stdout
        with open(os.path.join(self.logs, name + ".stacks"), "w") as f:
            f.write(stacks)
        processes = subprocess.run(["ps", "-eo", "pid,ppid,stat,etime,args"], capture_output=True, text=True).stdout
        with open(os.path.join(self.logs, name + ".processes"), "w") as f:
            f.write(processes)
        return f"windows {windows.split()}, screen {shot}"

    def next_action(self):
        """Starts a random action; gives its states and the Copy it makes, if any."""
        roll = self.rng.random()
        if roll < 0.025 and self.state:
            return self.clear(), None
        if roll < 0.175 and len(self.state) > 1:
            index = self.rng.choice([0] + list(range(1, min(len(self.state), MENU_ENTRIES))) * 3)
            return self.restore(index), None
        if roll < 0.38 and self.copied:
            self.count["duplicates"] += 1
            again = self.resolved(self.rng.choice(self.copied))
            return self.copy(again), again
        kind = self.rng.choices(["text", "image", "files"], [6, 2, 2])[0]
        made = (self.workload.text() if kind == "text" else self.workload.file_list() if kind == "files"
                else self.workload.image(self.rng.randrange(len(IMAGES)), self.learned))
        return self.copy(made), made

    def resolved(self, copy):
        """An image copy's key once the app has shown what it stores for that image."""
        return self.workload.image(copy.key[1], self.learned) if copy.key[0] == "png" else copy

    def complete(self, states, copy, what):
        if copy and not self.wait_until_owned(copy):
            raise Failure(f"{what}: xclip never served the copy")
        index, observed = self.wait_for_state(states[-1:], what, idle=0.4)
        self.take(states[-1:], index, observed)

    # Kills.

    def kill_during(self, states, copy):
        """Kills the app at a random instant of the change. Gives how, and the states the
        change may have left (none but the last when it was let finish)."""
        large = os.path.exists(self.layout.history) and os.path.getsize(self.layout.history) >= LARGE_HISTORY
        mode = self.rng.choices(["aimed at a save", "at a random instant", "after the change"],
                                [5, 4, 1] if large else [0, 8, 2])[0]
        if mode == "after the change":
            self.complete(states, copy, "before a kill after it")
            self.kill_app()
            return mode, [self.state]
        if mode == "aimed at a save":
            temporary = os.path.join(self.layout.folder, TEMPORARY)
            deadline = time.monotonic() + 10
            while not os.path.exists(temporary) and time.monotonic() < deadline:
                time.sleep(0.0005)
            time.sleep(self.rng.uniform(0, self.aim))
            self.kill_app()
            # Most should land inside the save, some after it.
            self.aim = min(1.0, self.aim * 1.15) if os.path.exists(temporary) else max(0.002, self.aim * 0.8)
        else:
            time.sleep(self.rng.uniform(0, 0.3 + (copy.size / 2_000_000 if copy else 0.4)))
            self.kill_app()
        return mode, states

    def cycle(self, number):
        """A few changes, then one with a kill in it, and the checks of the launch after it.
        Gives the faults found that leave the expected state known."""
        for _ in range(self.rng.randint(0, 3)):
            states, copy = self.next_action()
            self.complete(states, copy, f"cycle {number}")
        states, copy = self.next_action()
        mode, states = self.kill_during(states, copy)
        self.count["kills"] += 1
        self.log(f"killed {mode}")
        self.kill_modes[mode] = self.kill_modes.get(mode, 0) + 1
        printed = self.launch.output()
        if copy:
            self.wait_until_owned(copy)  # so that the next launch finds it on the clipboard

        left_temporary = os.path.exists(os.path.join(self.layout.folder, TEMPORARY))
        self.left_temporary[mode] = self.left_temporary.get(mode, 0) + left_temporary
        observed = self.observe()
        index = self.matcher.which(states, observed)
        if index is None:
            raise Failure(f"the history after the kill ({mode}) is none of the {len(states)} states of the change: "
                          + describe(observed, states[-1]))
        self.take(states, index, observed)
        self.state = self.state[:len(observed)]  # what the next launch loads

        self.start_app()
        taken_again = self.settle_after_launch(self.on_clipboard())
        self.log(f"launched on state {index} of {len(states)}" + (", took the clipboard again" if taken_again else ""))
        faults = self.check_launch(printed)

        if copy and len(states) > 1:
            self.count["in_flight"] += 1
            key = self.resolved(copy).key
            if index == len(states) - 1:
                self.count["saved_before_kill"] += 1
            elif taken_again and self.state[0].key == key:
                self.count["taken_at_relaunch"] += 1
            else:
                self.lost.append(f"cycle {number}: {copy.label} (kill {mode})")
        return faults

    def check_launch(self, printed):
        faults = []
        leftovers = self.layout.leftovers()
        if leftovers:
            faults.append(f"left beside the history after the launch: {leftovers}")
        data, thumbnails = self.layout.stored_files()
        named = {entry.stored_id for entry in self.state if entry.stored_id}
        if data != named or thumbnails != named:
            faults.append(f"stored files after the launch: data {sorted(data ^ named)} and thumbnails "
                          f"{sorted(thumbnails ^ named)} differ from the ones the history names")
        for when, output in (("the killed run", printed), ("the launch", self.launch.output())):
            if output:
                faults.append(f"{when} printed {output[:300]!r}")
        return faults

    def finish(self):
        """Quits the app; the history it saves is the expected one."""
        code = stop(self.launch.process)
        if code != 0:
            raise Failure(f"the app ended with {code} at SIGTERM")
        observed = self.observe()
        if not self.matcher.matches(self.state, observed):
            raise Failure("the history saved at quit is not the expected one: " + describe(observed, self.state))
        if self.launch.output():
            raise Failure(f"printed: {self.launch.output()[:300]!r}")

    def recover(self):
        """After a check that left the expected state unknown: a fresh launch on whatever is on
        disk, taken as the state, so that the soak goes on."""
        if self.launch.process.poll() is None:
            self.kill_app()
        try:
            observed = self.layout.read()
        except ValueError:
            observed = []
        self.matcher.seen_ids.update(found.entry_id for found in observed)
        self.start_app()
        wait_for(lambda: self.trayer.icon_area(self.launch), timeout=20)
        time.sleep(2)
        try:
            observed = self.layout.read()
        except ValueError:
            observed = []
        self.matcher.seen_ids.update(found.entry_id for found in observed)
        self.state = tuple(found.known() for found in observed)

    def close(self):
        for owner, _ in self.owners:
            stop(owner)
        self.owners = []
        if self.launch:
            stop(self.launch.process, signal.SIGKILL)

    def prune_owners(self):
        self.owners = [(owner, copy) for owner, copy in self.owners if owner.poll() is None]


def describe(observed, expected):
    """The saved history beside the expected state: sizes, and the first entry that differs."""
    observed = observed or []
    saved = expected[:SAVED_AT_MOST]
    first = next((i for i, (want, found) in enumerate(zip(saved, observed))
                  if found.faults or not isinstance(want, Known) or want.fingerprint != found.fingerprint),
                 min(len(saved), len(observed)))
    text = f"saved {len(observed)} entries, expected {len(saved)}"
    if first < len(observed):
        found = observed[first]
        text += f"; saved entry {first}: {found.display!r} {found.key[0]} id {found.entry_id}{found.faults or ''}"
    if first < len(saved):
        want = saved[first]
        text += (f"; expected {'a new' if isinstance(want, Fresh) else 'the known'} entry {want.display!r} "
                 f"{want.key[0]}" + (f" (fingerprint {want.fingerprint[:8]})" if isinstance(want, Known) else ""))
    return text


def run(app, kills, seed, keep, verbose):
    home = tempfile.mkdtemp(prefix="bm-soak-")
    settings = os.path.join(home, ".config", "Brindlemux")
    os.makedirs(settings)
    # No image preview: it would stand over the tray menu for five seconds.
    with open(os.path.join(settings, "Brindlemux.conf"), "w") as f:
        f.write("[General]\nPreviewStyle=Hide\n")
    started = time.monotonic()
    session = Session()
    soak = None
    try:
        trayer = Trayer(session)
        # The bus's socket goes in the runtime folder, else in ~/.cache/at-spi, where another desktop
        # test's bus takes its place: the app would then tell that bus of its menus, not ours.
        os.environ["XDG_RUNTIME_DIR"] = session.runtime_dir
        with AccessibilityBus():
            a11y = Accessibility()
            soak = Soak(app, seed, session, trayer, a11y, home, verbose)
            soak.start_app()
            soak.settle_after_launch([])
            while soak.count["kills"] < kills and soak.unknown_states < 10:
                number = soak.count["kills"] + 1
                try:
                    faults = soak.cycle(number)
                except Failure as failure:
                    faults = [str(failure)]
                    soak.unknown_states += 1
                    soak.recover()
                soak.failures += [f"kill {number}: {fault}" for fault in faults]
                soak.count["survived"] += not faults
                for fault in faults:
                    print(f"FAILED at kill {number}: {fault}", file=sys.stderr, flush=True)
                soak.prune_owners()
                if number % 10 == 0:
                    print(f"{number} kills, {time.monotonic() - started:.0f} s", file=sys.stderr, flush=True)
            try:
                soak.finish()
            except Failure as failure:
                soak.failures.append(f"at quit: {failure}")
            soak.close()
            a11y.close()
        trayer.close()
    finally:
        if soak:
            soak.close()
        session.close()
    summary(soak, seed, time.monotonic() - started)
    if soak.failures or keep:
        print(f"kept: {home}")
    else:
        shutil.rmtree(home, ignore_errors=True)
    return 1 if soak.failures else 0


def summary(soak, seed, seconds):
    count = soak.count
    modes = ", ".join(f"{n} {mode} ({soak.left_temporary.get(mode, 0)} of them inside a save)"
                      for mode, n in sorted(soak.kill_modes.items()))
    print(f"kill soak, seed {seed}, {seconds:.0f} s")
    print(f"kills made: {count['kills']}: {modes}")
    print(f"launches: {count['launches']}")
    print(f"kills survived: {count['survived']} of {count['kills']}")
    print(f"copies made: {count['copies']} ({count['duplicates']} of earlier content); restores: {count['restores']}; "
          f"clearings: {count['clears']}")
    print(f"copies in flight at a kill: {count['in_flight']} ({count['saved_before_kill']} saved before it, "
          f"{count['taken_at_relaunch']} taken from the clipboard at the next launch)")
    print(f"copies lost: {len(soak.lost)}")
    for lost in soak.lost:
        print(f"  {lost}")
    print(f"failures: {len(soak.failures)}")
    for failure in soak.failures:
        print(f"  {failure}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("app")
    parser.add_argument("--kills", type=int, default=200)
    parser.add_argument("--seed", type=int, default=int(time.time()) % 100000)
    parser.add_argument("--keep", action="store_true", help="keep the throwaway HOME")
    parser.add_argument("--verbose", action="store_true", help="say each change and kill as it happens")
    args = parser.parse_args()
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        sys.exit("run it under dbus-run-session")
    sys.exit(run(os.path.realpath(args.app), args.kills, args.seed, args.keep, args.verbose))


if __name__ == "__main__":
    main()
