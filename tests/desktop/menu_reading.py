"""Reading open menus the way assistive technology does (AT-SPI), and the
DBusMenu layout an application exports to StatusNotifierItem hosts.

A popup menu is not a child of its application's accessible object, in Qt
or in GTK: the menu is found through the focus event of an item, after a
key press moves the selection into it.
"""
import time
from dataclasses import dataclass, field

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

SEPARATOR = "---"


@dataclass
class Item:
    name: str
    enabled: bool
    checked: bool
    showing: bool
    extents: tuple  # x, y, width, height on the screen
    node: object = field(repr=False, compare=False)

    def layout(self):
        """(name, enabled, checked), or SEPARATOR."""
        return SEPARATOR if self.node.get_role() == Atspi.Role.SEPARATOR else (self.name, self.enabled, self.checked)

    def center(self):
        x, y, width, height = self.extents
        return x + width // 2, y + height // 2

    def submenu(self):
        """The items of this item's submenu (Qt puts a menu in between, GTK does not)."""
        self.node.clear_cache()
        children = [self.node.get_child_at_index(i) for i in range(self.node.get_child_count())]
        if len(children) == 1 and children[0].get_role() in (Atspi.Role.MENU, Atspi.Role.POPUP_MENU):
            return items_of(children[0])
        return [describe(child) for child in children]


def describe(node):
    states = node.get_state_set()
    box = node.get_extents(Atspi.CoordType.SCREEN)
    return Item(name=node.get_name(), enabled=states.contains(Atspi.StateType.ENABLED),
                checked=states.contains(Atspi.StateType.CHECKED), showing=states.contains(Atspi.StateType.SHOWING),
                extents=(box.x, box.y, box.width, box.height), node=node)


def items_of(menu):
    """The menu's items; one that goes while it is read (the app rebuilds the
    menu after a change, a closing menu drops its items) is left out."""
    menu.clear_cache()
    items = []
    for index in range(menu.get_child_count()):
        try:
            items.append(describe(menu.get_child_at_index(index)))
        except GLib.Error:
            pass
    return items


def layout_of(items):
    return [item.layout() for item in items]


class OpenMenu:
    """A menu on the screen, read through its accessible node."""

    def __init__(self, node):
        self.node = node

    def process_id(self):
        """The process that draws the menu."""
        return self.node.get_application().get_process_id()

    def items(self):
        return items_of(self.node)

    def extents(self):
        box = self.node.get_extents(Atspi.CoordType.SCREEN)
        return box.x, box.y, box.width, box.height

    def item(self, name):
        found = [item for item in self.items() if item.name == name]
        if len(found) != 1:
            raise LookupError(f"{len(found)} items named {name!r}")
        return found[0]


class Accessibility:
    """A client of the AT-SPI bus that hears focus changes."""

    def __init__(self):
        Atspi.init()
        self.focused = []
        self.listener = Atspi.EventListener.new(self._on_event)
        self.listener.register("object:state-changed:focused")

    def _on_event(self, event):
        if event.detail1:
            self.focused.append(event.source)

    def pump(self, seconds, until=None):
        """Delivers events for `seconds`, or until `until()` holds."""
        context = GLib.MainContext.default()
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            while context.pending():
                context.iteration(False)
            if until and until():
                return True
            time.sleep(0.01)
        return bool(until and until())

    def find_open_menu(self, press, timeout=5.0):
        """Presses a key into the open menu (press()) and returns that menu."""
        self.pump(0.05)
        self.focused.clear()
        press()
        if not self.pump(timeout, until=lambda: self.focused):
            return None
        return OpenMenu(self.focused[-1].get_parent())

    def close(self):
        self.listener.deregister("object:state-changed:focused")


# DBusMenu, read straight from the application's session-bus export.

def _bus():
    return Gio.bus_get_sync(Gio.BusType.SESSION, None)


def _call(service, path, interface, method, args, timeout_ms=5000):
    return _bus().call_sync(service, path, interface, method, args, None, Gio.DBusCallFlags.NONE, timeout_ms,
                            None).unpack()


def dbus_property(service, path, interface, name):
    return _call(service, path, "org.freedesktop.DBus.Properties", "Get",
                 GLib.Variant("(ss)", (interface, name)))[0]


def connection_pid(service):
    try:
        return _call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                     "GetConnectionUnixProcessID", GLib.Variant("(s)", (service,)))[0]
    except GLib.Error:
        return None


def exported_menu(service):
    """The item's DBusMenu as a tree of {label, enabled, checked, shortcut, children}."""
    path = dbus_property(service, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Menu")
    _, root = _call(service, path, "com.canonical.dbusmenu", "GetLayout", GLib.Variant("(iias)", (0, -1, [])))

    def convert(node):
        _, props, children = node
        if props.get("type") == "separator":
            return SEPARATOR
        return {
            "label": props.get("label", ""),
            "enabled": props.get("enabled", True),
            "checked": props.get("toggle-state", 0) == 1,
            "shortcut": props.get("shortcut", []),
            "children": [convert(child) for child in children],
        }

    return [convert(child) for child in root[2] if child[1].get("visible", True)]


def exported_layout(entries):
    """(label, enabled, checked) of each exported entry, labels without mnemonic marks."""
    def plain(label):
        # DBusMenu writes a real underscore as "__" and marks a mnemonic with "_".
        # Only a mnemonic on a zero-width space (no key types it) is taken out:
        # any other "_" stays, so a title that gives the host a letter key fails.
        return label.replace("__", "\0").replace("_\u200b", "").replace("\0", "_")
    return [SEPARATOR if entry == SEPARATOR else (plain(entry["label"]), entry["enabled"], entry["checked"])
            for entry in entries]
