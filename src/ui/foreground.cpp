#include "ui/foreground.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>

#if defined(VORLEND_HAVE_XCB) && QT_CONFIG(xcb)
#include <xcb/xcb.h>
#define VORLEND_X11_RESTACK 1
#endif

namespace vorlend::ui {

namespace {

#ifdef VORLEND_X11_RESTACK

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
  std::free(reply);
  return atom;
}

// Whether the running window manager announces _NET_RESTACK_WINDOW among its supported hints.
bool ManagerRestacks(xcb_connection_t* c, xcb_window_t root, xcb_atom_t restack) {
  const xcb_atom_t supported = Atom(c, "_NET_SUPPORTED");
  if (supported == XCB_ATOM_NONE || restack == XCB_ATOM_NONE) return false;
  xcb_get_property_reply_t* reply =
      xcb_get_property_reply(c, xcb_get_property(c, 0, root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr);
  bool found = false;
  if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / 4;
    for (int i = 0; i < count && !found; ++i) found = atoms[i] == restack;
  }
  std::free(reply);
  return found;
}

bool RestackOnX11(QWidget* window) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return false;
  xcb_connection_t* c = x11->connection();
  const auto id = static_cast<xcb_window_t>(window->winId());
  xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
  if (!geometry) return false;
  const xcb_window_t root = geometry->root;
  std::free(geometry);

  const xcb_atom_t restack = Atom(c, "_NET_RESTACK_WINDOW");
  if (!ManagerRestacks(c, root, restack)) return false;
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = id;
  message.type = restack;
  message.data.data32[0] = 2;         // source: a pager, whose requests managers follow
  message.data.data32[1] = XCB_NONE;  // no sibling: above every other window
  message.data.data32[2] = XCB_STACK_MODE_ABOVE;
  xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(c);
  return true;
}

#endif

}  // namespace

void BringToTopWithoutFocus(QWidget* window) {
  if (!window) return;
  window = window->window();
#ifdef VORLEND_X11_RESTACK
  if (RestackOnX11(window)) return;
#endif
  window->raise();
}

}  // namespace vorlend::ui
