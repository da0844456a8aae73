"""The history the kill soak expects, and the history it finds on disk.

A state is the app's history in memory, newest first, as a tuple of entries.
An entry seen in a saved file is Known (its exact saved form); an entry the
app is about to make is Fresh (only its content is known beforehand: the app
gives it a new id and time). A change gives the states the app passes
through; after a kill the saved file must be one of them.
"""
import hashlib
import json
import os
from dataclasses import dataclass, field

HISTORY = "ClipboardHistory.data"
TEMPORARY = HISTORY + ".tmp"
SAVED_AT_MOST = 50
ENTRY_KEYS = ["id", "timestamp", "content", "type", "displayText"]


def digest(data):
    return hashlib.sha1(data).hexdigest()


@dataclass(frozen=True)
class Known:
    key: tuple
    fingerprint: str
    display: str
    stored_id: str = None  # an image's data and thumbnail file name


@dataclass(frozen=True)
class Fresh:
    key: tuple
    display: str


def inserted(state, key, display):
    """A copy: a fresh entry on top, and the newest entry of the same content gone."""
    rest = list(state)
    match = next((i for i, entry in enumerate(rest) if entry.key == key), None)
    if match is not None:
        del rest[match]
    return (Fresh(key, display),) + tuple(rest)


def moved_to_top(state, index):
    return (state[index],) + state[:index] + state[index + 1:]


def title(text):
    """The menu title of an ASCII text without backslashes: blanks collapsed, cut after 20 characters."""
    collapsed = " ".join(text.split())
    return collapsed if len(collapsed) <= 20 else collapsed[:20] + "..."


@dataclass
class Observed:
    """One entry of a saved history file, with what its stored files hold."""
    entry_id: str
    key: tuple
    fingerprint: str
    display: str
    stored_id: str = None
    faults: list = field(default_factory=list)

    def known(self):
        return Known(self.key, self.fingerprint, self.display, self.stored_id)


class StoredLayout:
    """The app's documents folder, read as a launch of the app would read it."""

    def __init__(self, folder):
        self.folder = folder
        self.history = os.path.join(folder, HISTORY)
        self.data = os.path.join(folder, "ClipboardData")
        self.thumbnails = os.path.join(folder, "ClipboardThumbnails")
        self._data_digests = {}  # stored id -> (size, digest): a stored file never changes once named

    def version(self):
        """What changes whenever the history file is replaced or rewritten."""
        try:
            info = os.stat(self.history)
        except FileNotFoundError:
            return None
        return info.st_ino, info.st_size, info.st_mtime_ns

    def read(self):
        """The saved entries as Observed, or raises ValueError saying why they would not load whole."""
        try:
            with open(self.history, "rb") as f:
                raw = f.read()
        except FileNotFoundError:
            return []
        try:
            entries = json.loads(raw)
        except ValueError as error:
            raise ValueError(f"the history file ({len(raw)} bytes) does not parse: {error}") from None
        if not isinstance(entries, list):
            raise ValueError("the history file holds no array")
        return [self.observe(index, entry) for index, entry in enumerate(entries)]

    def observe(self, index, entry):
        if not isinstance(entry, dict) or list(entry) != ENTRY_KEYS:
            raise ValueError(f"entry {index} is not a whole entry: {str(entry)[:200]}")
        content, kind = entry["content"], entry["type"]
        fingerprint = digest(json.dumps(entry, ensure_ascii=False).encode())
        observed = Observed(entry["id"], ("other", fingerprint), fingerprint, entry["displayText"])
        if kind == "text":
            observed.key = ("text", digest(content["value"].encode()))
        elif kind == "file":
            observed.key = ("file", tuple(content["value"]))
        elif kind == "image":
            observed.stored_id = content["value"]
            observed.key = ("image", self.data_digest(observed))
            self.check_thumbnail(observed)
        return observed

    def data_digest(self, observed):
        path = os.path.join(self.data, observed.stored_id)
        try:
            size = os.lstat(path).st_size
            known = self._data_digests.get(observed.stored_id)
            if known and known[0] == size:
                return known[1]
            with open(path, "rb") as f:
                value = digest(f.read())
        except OSError as error:
            observed.faults.append(f"data file of {observed.entry_id}: {error.strerror}")
            return None
        self._data_digests[observed.stored_id] = (size, value)
        return value

    def check_thumbnail(self, observed):
        path = os.path.join(self.thumbnails, observed.stored_id)
        try:
            with open(path, "rb") as f:
                jpeg = f.read()
        except OSError as error:
            observed.faults.append(f"thumbnail of {observed.entry_id}: {error.strerror}")
            return
        if not (jpeg.startswith(b"\xff\xd8") and jpeg.endswith(b"\xff\xd9")):
            observed.faults.append(f"thumbnail of {observed.entry_id} is not a whole JPEG ({len(jpeg)} bytes)")

    def stored_files(self):
        """(data file names, thumbnail names) on disk."""
        def names(folder):
            try:
                return set(os.listdir(folder))
            except FileNotFoundError:
                return set()
        return names(self.data), names(self.thumbnails)

    def leftovers(self):
        """Files beside the history that a finished save or a clean load never leaves."""
        try:
            names = os.listdir(self.folder)
        except FileNotFoundError:
            return []
        return sorted(name for name in names if name == TEMPORARY or name.startswith(HISTORY + ".unreadable"))


class Matcher:
    """Tells whether a saved history is one of the expected states, and takes it as the new state."""

    def __init__(self, same_image):
        self.seen_ids = set()
        self.same_image = same_image  # (expected key, observed key) -> bool, for images first seen

    def matches(self, state, observed):
        saved = state[:SAVED_AT_MOST]
        if len(saved) != len(observed):
            return False
        for expected, found in zip(saved, observed):
            if found.faults:
                return False
            if isinstance(expected, Known):
                if (expected.fingerprint, expected.key) != (found.fingerprint, found.key):
                    return False
            elif (found.entry_id in self.seen_ids or found.display != expected.display
                  or not self.same_content(expected.key, found.key)):
                return False
        return True

    def same_content(self, expected, found):
        return expected == found or self.same_image(expected, found)

    def adopt(self, state, observed):
        """The state the app holds once `observed` is saved from `state`: entries past
        the saved ones stay in memory as they were."""
        self.seen_ids.update(found.entry_id for found in observed)
        return tuple(found.known() for found in observed) + tuple(state[SAVED_AT_MOST:])

    def which(self, states, observed):
        """The index of the first state the saved history is, or None."""
        return next((i for i, state in enumerate(states) if self.matches(state, observed)), None)
