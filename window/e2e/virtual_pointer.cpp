// A mouse for a headless wlroots compositor, through its virtual-pointer protocol. It stays for as
// long as it reads commands, so that the seat keeps its pointer: a client learns of a pointer
// only when the seat gains one, too late for a click from a pointer made for that click alone.
// Commands, one a line: "move X Y WIDTH HEIGHT" (absolute, in the output), "click BUTTON" (Linux
// button code); each is answered "done" once the compositor has it.
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

// The two interfaces, as the protocol's description defines them, as far as they are used here.
const wl_interface* kNoTypes[5] = {};
const wl_message kPointerRequests[] = {{"motion", "uff", kNoTypes},
                                       {"motion_absolute", "uuuuu", kNoTypes},
                                       {"button", "uuu", kNoTypes},
                                       {"axis", "uuf", kNoTypes},
                                       {"frame", "", kNoTypes}};
const wl_interface kPointer = {"zwlr_virtual_pointer_v1", 1, 5, kPointerRequests, 0, nullptr};
const wl_interface* kCreateTypes[] = {&wl_seat_interface, &kPointer};
const wl_message kManagerRequests[] = {{"create_virtual_pointer", "?on", kCreateTypes}};
const wl_interface kManager = {
    "zwlr_virtual_pointer_manager_v1", 1, 1, kManagerRequests, 0, nullptr};
enum PointerRequest : std::uint32_t { kMotionAbsolute = 1, kButton = 2, kFrame = 4 };

struct Globals {
  wl_seat* seat = nullptr;
  wl_proxy* manager = nullptr;
};

void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t /*version*/) {
  auto* globals = static_cast<Globals*>(data);
  if (std::strcmp(interface, "wl_seat") == 0) {
    globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  } else if (std::strcmp(interface, kManager.name) == 0) {
    globals->manager = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &kManager, 1));
  }
}
void GlobalRemoved(void* /*data*/, wl_registry* /*registry*/, std::uint32_t /*name*/) {}
const wl_registry_listener kListener = {Global, GlobalRemoved};

}  // namespace

int main() {
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return 1;
  Globals globals;
  wl_registry_add_listener(wl_display_get_registry(display), &kListener, &globals);
  wl_display_roundtrip(display);
  if (globals.seat == nullptr || globals.manager == nullptr) return 1;
  wl_proxy* pointer =
      wl_proxy_marshal_constructor(globals.manager, 0, &kPointer, globals.seat, nullptr);
  char line[128];
  std::uint32_t time = 0;
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    unsigned x = 0, y = 0, width = 0, height = 0, button = 0;
    if (std::sscanf(line, "move %u %u %u %u", &x, &y, &width, &height) == 4) {
      wl_proxy_marshal(pointer, kMotionAbsolute, time += 10, x, y, width, height);
    } else if (std::sscanf(line, "click %u", &button) == 1) {
      for (const std::uint32_t state : {1u, 0u}) {
        wl_proxy_marshal(pointer, kButton, time += 10, button, state);
        wl_proxy_marshal(pointer, kFrame);
      }
    }
    wl_proxy_marshal(pointer, kFrame);
    wl_display_roundtrip(display);
    std::puts("done");
    std::fflush(stdout);
  }
  wl_display_disconnect(display);
}
