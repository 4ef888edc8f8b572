#include "x11_probe.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vorlend::test {

X11Probe::X11Probe() {
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
  if (!c || xcb_connection_has_error(c)) {
    if (c) xcb_disconnect(c);
    return;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
  if (!it.rem) {
    xcb_disconnect(c);
    return;
  }
  m_connection = c;
  m_root = it.data->root;
}

X11Probe::~X11Probe() {
  if (m_connection) xcb_disconnect(m_connection);
}

std::uint32_t X11Probe::Atom(const char* name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      m_connection, xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const std::uint32_t atom = reply ? reply->atom : 0;
  std::free(reply);
  return atom;
}

std::vector<std::uint32_t> X11Probe::Property32(std::uint32_t window, const char* property, std::uint32_t type) {
  std::vector<std::uint32_t> values;
  if (!m_connection) return values;
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      m_connection, xcb_get_property(m_connection, 0, window, Atom(property), type, 0, 4096), nullptr);
  if (reply && reply->format == 32) {
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    values.assign(data, data + xcb_get_property_value_length(reply) / 4);
  }
  std::free(reply);
  return values;
}

bool X11Probe::ManagerRunning() {
  const auto check = Property32(m_root, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW);
  return !check.empty() && check.front() != 0;
}

std::vector<std::uint32_t> X11Probe::Stacking() {
  return Property32(m_root, "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW);
}

std::uint32_t X11Probe::ActiveWindow() {
  const auto active = Property32(m_root, "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
  return active.empty() ? 0 : active.front();
}

std::string X11Probe::Title(std::uint32_t window) {
  for (const auto& [property, type] : {std::pair<const char*, std::uint32_t>{"_NET_WM_NAME", Atom("UTF8_STRING")},
                                       std::pair<const char*, std::uint32_t>{"WM_NAME", XCB_ATOM_STRING}}) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, Atom(property), type, 0, 1024), nullptr);
    std::string text;
    if (reply && reply->format == 8) {
      text.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                  static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    }
    std::free(reply);
    if (!text.empty()) return text;
  }
  return {};
}

void X11Probe::Activate(std::uint32_t window) {
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = window;
  message.type = Atom("_NET_ACTIVE_WINDOW");
  message.data.data32[0] = 2;  // source: a pager
  message.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(m_connection, 0, m_root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(m_connection);
}

bool X11Probe::Above(std::uint32_t upper, std::uint32_t lower) {
  const auto order = Stacking();
  const auto u = std::find(order.begin(), order.end(), upper);
  const auto l = std::find(order.begin(), order.end(), lower);
  return u != order.end() && l != order.end() && u > l;
}

}  // namespace vorlend::test
