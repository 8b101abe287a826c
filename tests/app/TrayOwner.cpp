// Owns the X display's tray selection, so that Qt finds a tray there; prints "ready", runs until the display goes.

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

int main() {
  xcb_connection_t* x = xcb_connect(nullptr, nullptr);
  const xcb_window_t owner = xcb_generate_id(x);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  xcb_create_window(x, 0, owner, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, 0, nullptr);
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, 19, "_NET_SYSTEM_TRAY_S0"), nullptr);
  if (atom == nullptr) return 1;
  xcb_set_selection_owner(x, owner, atom->atom, XCB_CURRENT_TIME);
  xcb_flush(x);
  std::printf("ready\n");
  std::fflush(stdout);
  while (xcb_generic_event_t* event = xcb_wait_for_event(x)) std::free(event);
  return 0;
}
