// A stand-in notification area: owns the X display's system tray selection, so that Qt
// finds a tray there (it takes no icon in). Prints "ready", then runs until the display goes.

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

int main() {
  int screen = 0;
  xcb_connection_t* x = xcb_connect(nullptr, &screen);
  if (xcb_connection_has_error(x) != 0) return 1;
  xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(x));
  for (int i = 0; i < screen; ++i) xcb_screen_next(&roots);
  const xcb_window_t owner = xcb_generate_id(x);
  xcb_create_window(x, XCB_COPY_FROM_PARENT, owner, roots.data->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, 0, nullptr);
  char name[32];
  const int length = std::snprintf(name, sizeof name, "_NET_SYSTEM_TRAY_S%d", screen);
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, static_cast<uint16_t>(length), name), nullptr);
  if (atom == nullptr) return 1;
  xcb_set_selection_owner(x, owner, atom->atom, XCB_CURRENT_TIME);
  std::free(atom);
  xcb_flush(x);
  std::printf("ready\n");
  std::fflush(stdout);
  while (xcb_generic_event_t* event = xcb_wait_for_event(x)) std::free(event);
  return 0;
}
