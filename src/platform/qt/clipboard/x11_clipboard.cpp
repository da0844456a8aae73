#include "platform/qt/clipboard/x11_clipboard.h"

#include <poll.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <cstring>

#include "platform/qt/clipboard/mime_types.h"

namespace bm::qt {
namespace {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

uint8_t eventType(const xcb_generic_event_t* event) { return event->response_type & 0x7f; }

// Replies that a stalled owner answers late land in a property we no longer
// read: after an abandoned conversion the next one uses the next of these.
constexpr unsigned kProperties = 8;

}  // namespace

std::unique_ptr<X11Clipboard> X11Clipboard::connect(xcb_connection_t* application) {
  if (!application) return nullptr;
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
  const xcb_query_extension_reply_t* xfixes =
      xcb_connection_has_error(connection) ? nullptr : xcb_get_extension_data(connection, &xcb_xfixes_id);
  if (!xfixes || !xfixes->present) {
    xcb_disconnect(connection);
    return nullptr;
  }
  // XFixes answers nothing else until told which version we speak.
  Reply<xcb_xfixes_query_version_reply_t> version(
      xcb_xfixes_query_version_reply(connection, xcb_xfixes_query_version(connection, 1, 0), nullptr));

  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem > 1; ++i) xcb_screen_next(&screens);
  const xcb_window_t window = xcb_generate_id(connection);
  const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(connection, 0, window, screens.data->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
  return std::unique_ptr<X11Clipboard>(
      new X11Clipboard(connection, window, xfixes->first_event, *xcb_get_setup(application)));
}

X11Clipboard::X11Clipboard(xcb_connection_t* connection, xcb_window_t window, uint8_t xfixesEvent,
                           const xcb_setup_t& application)
    : connection_(connection),
      window_(window),
      xfixesEvent_(xfixesEvent),
      applicationIdBase_(application.resource_id_base),
      applicationIdMask_(application.resource_id_mask) {
  clipboard_ = atom("CLIPBOARD");
  property_ = atom("BRINDLEMUX_SELECTION_0");
  xcb_xfixes_select_selection_input(connection_, window_, clipboard_,
                                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
  xcb_flush(connection_);
}

X11Clipboard::~X11Clipboard() { xcb_disconnect(connection_); }

int X11Clipboard::fileDescriptor() const { return xcb_get_file_descriptor(connection_); }

bool X11Clipboard::isOurs(xcb_window_t window) const {
  return window != XCB_NONE && (window & ~applicationIdMask_) == applicationIdBase_;
}

std::vector<X11Clipboard::Change> X11Clipboard::takeChanges() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    keepIfChange(event);
    std::free(event);
  }
  return std::exchange(changes_, {});
}

bool X11Clipboard::keepIfChange(const xcb_generic_event_t* event) {
  if (eventType(event) != xfixesEvent_ + XCB_XFIXES_SELECTION_NOTIFY) return false;
  const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
  if (notify->selection != clipboard_) return false;
  changes_.push_back({notify->owner, notify->selection_timestamp, isOurs(notify->owner)});
  return true;
}

// Replies can bring events along; once an operation is done, the changes
// among them are kept, where hasChanges() sees them, and the rest dropped.
void X11Clipboard::pollQueued() {
  while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection_)) {
    keepIfChange(event);
    std::free(event);
  }
}

xcb_atom_t X11Clipboard::atom(const std::string& name) {
  if (const auto known = atoms_.find(name); known != atoms_.end()) return known->second;
  Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection_, xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.data()), nullptr));
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  if (atom != XCB_ATOM_NONE) {
    atoms_.emplace(name, atom);
    names_.emplace(atom, name);
  }
  return atom;
}

xcb_window_t X11Clipboard::owner() {
  Reply<xcb_get_selection_owner_reply_t> reply(
      xcb_get_selection_owner_reply(connection_, xcb_get_selection_owner(connection_, clipboard_), nullptr));
  pollQueued();
  return reply ? reply->owner : XCB_NONE;
}

template <typename Wanted>
xcb_generic_event_t* X11Clipboard::waitFor(std::chrono::steady_clock::time_point deadline, const Wanted& wanted) {
  xcb_flush(connection_);
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      if (wanted(event)) return event;
      const bool changed = keepIfChange(event);
      std::free(event);
      if (changed) {  // what we asked for is no longer on offer
        abandonedLast_ = true;
        return nullptr;
      }
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (xcb_connection_has_error(connection_)) {
      abandonedLast_ = true;
      return nullptr;
    }
    if (left.count() <= 0) {
      abandonedLast_ = true;
      return nullptr;
    }
    pollfd descriptor{fileDescriptor(), POLLIN, 0};
    ::poll(&descriptor, 1, static_cast<int>(left.count()));
  }
}

void X11Clipboard::useNextProperty() {
  ++abandoned_;
  property_ = atom("BRINDLEMUX_SELECTION_" + std::to_string(abandoned_ % kProperties));
}

std::optional<QByteArray> X11Clipboard::takeProperty(xcb_atom_t* type) {
  // Deleting what was read is what tells an owner sending pieces to send the next.
  Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection_,
      xcb_get_property(connection_, 1, window_, property_, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
      nullptr));
  if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
  *type = reply->type;
  return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                    xcb_get_property_value_length(reply.get()));
}

std::optional<QByteArray> X11Clipboard::convert(xcb_atom_t target, xcb_atom_t* type) {
  abandonedLast_ = false;
  if (target == XCB_ATOM_NONE) return std::nullopt;
  xcb_convert_selection(connection_, window_, clipboard_, target, property_, XCB_CURRENT_TIME);
  const xcb_atom_t property = property_;
  const auto deadline = std::chrono::steady_clock::now() + TransferPace::kPatience;
  Reply<xcb_generic_event_t> reply(waitFor(deadline, [&](const xcb_generic_event_t* event) {
    if (eventType(event) != XCB_SELECTION_NOTIFY) return false;
    const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
    return notify->requestor == window_ && notify->selection == clipboard_ && notify->target == target &&
           (notify->property == property || notify->property == XCB_ATOM_NONE);
  }));
  if (!reply) {
    useNextProperty();
    return std::nullopt;
  }
  if (reinterpret_cast<const xcb_selection_notify_event_t*>(reply.get())->property == XCB_ATOM_NONE)
    return std::nullopt;  // refused
  auto bytes = takeProperty(type);
  if (bytes && *type == atom("INCR")) return readIncrementally(type);
  return bytes;
}

// An owner that trickles its pieces is given up too (TransferPace). The
// pieces' type is the first one's.
std::optional<QByteArray> X11Clipboard::readIncrementally(xcb_atom_t* type) {
  const TransferPace pace;
  QByteArray whole;
  bool first = true;
  for (;;) {
    const xcb_atom_t property = property_;
    Reply<xcb_generic_event_t> piece(waitFor(pace.nextDeadline(whole.size()), [&](const xcb_generic_event_t* event) {
      if (eventType(event) != XCB_PROPERTY_NOTIFY) return false;
      const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
      return notify->window == window_ && notify->atom == property && notify->state == XCB_PROPERTY_NEW_VALUE;
    }));
    if (!piece) {
      useNextProperty();
      return std::nullopt;
    }
    xcb_atom_t pieceType = XCB_ATOM_NONE;
    const auto bytes = takeProperty(&pieceType);
    if (!bytes) return std::nullopt;
    if (std::exchange(first, false)) *type = pieceType;
    if (bytes->isEmpty()) return whole;  // an empty piece ends the transfer
    whole += *bytes;
  }
}

std::optional<xcb_timestamp_t> X11Clipboard::ownershipTimestamp() {
  xcb_atom_t type = XCB_ATOM_NONE;
  const auto bytes = convert(atom("TIMESTAMP"), &type);
  pollQueued();
  if (!bytes || type != XCB_ATOM_INTEGER || bytes->size() != sizeof(uint32_t)) return std::nullopt;
  uint32_t timestamp = 0;
  std::memcpy(&timestamp, bytes->constData(), sizeof timestamp);
  return timestamp;
}

std::optional<std::vector<std::string>> X11Clipboard::targets() {
  xcb_atom_t type = XCB_ATOM_NONE;
  const auto bytes = convert(atom("TARGETS"), &type);
  if (!bytes || (type != XCB_ATOM_ATOM && type != atom("TARGETS"))) return std::nullopt;
  std::vector<xcb_atom_t> atoms(static_cast<size_t>(bytes->size()) / sizeof(xcb_atom_t));
  std::memcpy(atoms.data(), bytes->constData(), atoms.size() * sizeof(xcb_atom_t));

  // Names not met before are asked for all at once: one round trip, not one each.
  std::vector<std::pair<xcb_atom_t, xcb_get_atom_name_cookie_t>> asked;
  for (const xcb_atom_t atom : atoms)
    if (atom != XCB_ATOM_NONE && !names_.contains(atom)) asked.emplace_back(atom, xcb_get_atom_name(connection_, atom));
  for (const auto& [atom, cookie] : asked) keepName(atom, cookie);
  pollQueued();

  std::vector<std::string> names;
  for (const xcb_atom_t atom : atoms)
    if (const auto known = names_.find(atom); known != names_.end()) names.push_back(known->second);
  return names;
}

std::optional<QByteArray> X11Clipboard::read(const std::string& target) {
  xcb_atom_t type = XCB_ATOM_NONE;
  auto bytes = convert(atom(target), &type);
  if (bytes && !answers(target, type)) bytes.reset();
  pollQueued();
  return bytes;
}

// Bytes sent under another type than the one asked for are not that type's
// (an image sent for a text, say). Text labels are the exception: ICCCM lets
// an owner answer TEXT with STRING or COMPOUND_TEXT, and some owners label
// every answer, a URI list or HTML too, as a string.
bool X11Clipboard::answers(const std::string& target, xcb_atom_t type) {
  if (type == atom(target)) return true;
  const std::string typeName = nameOf(type);
  return typeName == "COMPOUND_TEXT" || isPlainTextMime(QString::fromStdString(typeName));
}

std::string X11Clipboard::nameOf(xcb_atom_t atom) {
  if (!names_.contains(atom)) keepName(atom, xcb_get_atom_name(connection_, atom));
  const auto known = names_.find(atom);
  return known != names_.end() ? known->second : std::string();
}

void X11Clipboard::keepName(xcb_atom_t atom, xcb_get_atom_name_cookie_t cookie) {
  Reply<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(connection_, cookie, nullptr));
  if (!reply) return;
  std::string name(xcb_get_atom_name_name(reply.get()),
                   static_cast<size_t>(xcb_get_atom_name_name_length(reply.get())));
  atoms_.emplace(name, atom);
  names_.emplace(atom, std::move(name));
}

}  // namespace bm::qt
