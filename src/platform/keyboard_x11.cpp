// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/keyboard_x11.h"

#include <xcb/xcb.h>
// The XKB protocol header names a structure field "explicit"; it is renamed while the header is read
// (xcb.h, included above, already brought in every other header it needs).
#ifdef __clang__
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <cstdlib>
#include <memory>

namespace plumo {
namespace {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

struct Disconnect {
  void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, Disconnect>;

// A connection with its first screen's root window, or nothing.
struct Display {
  XcbConnection Connection;
  xcb_window_t Root = 0;
};

std::optional<Display> Open(const std::string& name) {
  int screenNumber = 0;
  XcbConnection c(xcb_connect(name.empty() ? nullptr : name.c_str(), &screenNumber));
  // xcb_connect never returns null; a failed connection is an error object to disconnect.
  if (xcb_connection_has_error(c.get())) return std::nullopt;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
  for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem == 0) return std::nullopt;
  return Display{std::move(c), it.data->root};
}

std::optional<XkbNames> ReadRulesNames(const Display& d) {
  static constexpr std::string_view kAtom = "_XKB_RULES_NAMES";
  Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
      d.Connection.get(),
      xcb_intern_atom(d.Connection.get(), 1, static_cast<std::uint16_t>(kAtom.size()), kAtom.data()),
      nullptr));
  if (!atom || atom->atom == XCB_ATOM_NONE) return std::nullopt;
  // The value is short (five names); 4096 four-byte units is far more than it ever holds.
  Reply<xcb_get_property_reply_t> prop(xcb_get_property_reply(
      d.Connection.get(),
      xcb_get_property(d.Connection.get(), 0, d.Root, atom->atom, XCB_ATOM_STRING, 0, 4096), nullptr));
  if (!prop || prop->format != 8 || prop->type != XCB_ATOM_STRING) return std::nullopt;
  const auto* bytes = static_cast<const char*>(xcb_get_property_value(prop.get()));
  const auto length = static_cast<std::size_t>(xcb_get_property_value_length(prop.get()));
  return ParseXkbRulesNames(std::string_view(bytes, length));
}

bool UseXkb(const Display& d) {
  Reply<xcb_xkb_use_extension_reply_t> reply(xcb_xkb_use_extension_reply(
      d.Connection.get(),
      xcb_xkb_use_extension(d.Connection.get(), XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
  return reply && reply->supported;
}

}  // namespace

X11Keyboard ReadX11Keyboard(const std::string& display) {
  X11Keyboard result;
  const std::optional<Display> d = Open(display);
  if (!d) return result;
  result.Names = ReadRulesNames(*d);
  if (UseXkb(*d)) {
    Reply<xcb_xkb_get_state_reply_t> state(xcb_xkb_get_state_reply(
        d->Connection.get(), xcb_xkb_get_state(d->Connection.get(), XCB_XKB_ID_USE_CORE_KBD), nullptr));
    if (state) result.Group = state->group;
  }
  return result;
}

bool LockX11LayoutGroup(std::uint32_t group, const std::string& display) {
  // XKB has four groups at most.
  if (group > 3) return false;
  const std::optional<Display> d = Open(display);
  if (!d || !UseXkb(*d)) return false;
  xcb_void_cookie_t cookie = xcb_xkb_latch_lock_state_checked(
      d->Connection.get(), XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, static_cast<std::uint8_t>(group), 0, 0, 0);
  Reply<xcb_generic_error_t> error(xcb_request_check(d->Connection.get(), cookie));
  return !error;
}

}  // namespace plumo
