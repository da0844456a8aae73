"""What the benchmark copies, and the programs that offer it on the clipboard.

Each copy is an xclip in the foreground with -verbose: we own its PID, and it
says "Waiting for selection requests" right after it takes the selection,
which is the moment a capture's latency counts from.
"""
import os
import random
import subprocess
import threading
import time

from processes import stop

TEXT = "text/plain"
PNG = "image/png"
IMAGE_SIZE = (1920, 1080)


class Owner:
    """One xclip holding the clipboard until another program takes it."""

    def __init__(self, env, path, target):
        self.process = subprocess.Popen(["xclip", "-verbose", "-selection", "clipboard", "-t", target, path], env=env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.taken = None  # wall-clock time at which it took the selection
        self._said = threading.Event()
        # Drained to the end: xclip writes a line for every request it serves.
        threading.Thread(target=self._drain, daemon=True).start()

    def _drain(self):
        for line in self.process.stderr:
            if self.taken is None and line.startswith(b"Waiting for selection"):
                self.taken = time.time()
                self._said.set()
        self._said.set()

    def wait_taken(self, timeout=20.0):
        if not self._said.wait(timeout) or self.taken is None:
            raise RuntimeError(f"xclip did not take the clipboard within {timeout:.0f} s")
        return self.taken


class Owners:
    """Every xclip started for one application's run, stopped by PID at the end."""

    def __init__(self, env):
        self.env = env
        self.started = []

    def copy(self, path, target):
        owner = Owner(self.env, path, target)
        self.started.append(owner)
        return owner

    def close(self):
        for owner in self.started:
            stop(owner.process)
        self.started.clear()


def paste(env, target, timeout=20.0):
    """The clipboard's bytes of one type, as a pasting application reads them (b"" when not offered)."""
    result = subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", target], env=env, capture_output=True,
                            timeout=timeout)
    return result.stdout if result.returncode == 0 else b""


class Payloads:
    """Texts of exact sizes, each starting with its own marker, and distinct PNG images."""

    def __init__(self, folder):
        self.folder = folder
        rng = random.Random(9)
        # Words and line breaks, as copied prose or code is; JSON escapes the line breaks.
        alphabet = "abcdefghijklmnopqrstuvwxyz" * 3 + "ABCDEFGHIJ0123456789.,;()" + " " * 14 + "\n" * 2
        self.filler = "".join(rng.choices(alphabet, k=1 << 20)).encode()
        self.images = []
        self.written = 0

    def text(self, size, marker):
        """A file of `size` bytes of text that starts with `marker`."""
        head = marker.encode()
        body = self.filler * (size // len(self.filler) + 1)
        path = os.path.join(self.folder, f"text-{self.written}")
        self.written += 1
        with open(path, "wb") as f:
            f.write((head + body)[:size])
        return path

    def discard(self, path):
        os.remove(path)

    def make_images(self, count, env, log):
        """`count` distinct photo-like PNGs (plasma and noise, ~4.8 MB each), two at a time."""
        width, height = IMAGE_SIZE
        pending = []
        for index in range(len(self.images), count):
            path = os.path.join(self.folder, f"image-{index}.png")
            pending.append((path, subprocess.Popen(
                ["convert", "-size", f"{width}x{height}", "-seed", str(index + 1), "plasma:fractal", "-attenuate",
                 "0.7", "+noise", "Gaussian", "-depth", "8", path], env=env, stdout=subprocess.DEVNULL,
                stderr=subprocess.PIPE)))
            if len(pending) == 2 or index == count - 1:
                for made, process in pending:
                    _, errors = process.communicate(timeout=120)
                    if process.returncode != 0:
                        raise RuntimeError(f"ImageMagick could not make {made}: {errors.decode().strip()}")
                    self.images.append(made)
                pending.clear()
        log(f"{count} test images ready")
        return self.images[:count]
