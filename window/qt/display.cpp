#include "window/qt/display.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace window {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

bool Connects(int domain, const sockaddr* address, socklen_t length) {
  const int fd = socket(domain, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool connected = fd >= 0 && connect(fd, address, length) == 0;
  if (fd >= 0) close(fd);
  return connected;
}

bool UnixSocketConnects(const std::string& path, bool abstract = false) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() + 1 >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + (abstract ? 1 : 0), path.data(), path.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  return Connects(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), length);
}

// DISPLAY is [host]:number[.screen]: a local socket, or TCP port 6000 + number on the host.
bool XServerAnswers(const std::string& display) {
  const auto colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
  if (host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + number;
    return UnixSocketConnects(path, true) || UnixSocketConnects(path);
  }
  addrinfo* found = nullptr;
  const std::string port = std::to_string(6000 + std::atoi(number.c_str()));
  if (getaddrinfo(host.c_str(), port.c_str(), nullptr, &found) != 0) return false;
  bool answers = false;
  for (const addrinfo* a = found; a != nullptr && !answers; a = a->ai_next) {
    answers = a->ai_socktype == SOCK_STREAM && Connects(a->ai_family, a->ai_addr, a->ai_addrlen);
  }
  freeaddrinfo(found);
  return answers;
}

bool CompositorAnswers(const std::string& display) {
  if (display.front() == '/') return UnixSocketConnects(display);
  const std::string runtime = Variable("XDG_RUNTIME_DIR");
  return !runtime.empty() && UnixSocketConnects(runtime + "/" + display);
}

}  // namespace

bool ChooseDisplay(int argc, char** argv) {
  std::string platform = Variable("QT_QPA_PLATFORM");
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0) platform = argv[i + 1];
  }
  const std::string x = Variable("DISPLAY");
  const std::string wayland = Variable("WAYLAND_DISPLAY");
  const bool x_answers = !x.empty() && XServerAnswers(x);
  const bool wayland_answers = !wayland.empty() && CompositorAnswers(wayland);
  bool reachable = true;
  if (platform.rfind("wayland", 0) == 0) {
    reachable = wayland_answers;
  } else if (platform.rfind("xcb", 0) == 0 || (platform.empty() && x_answers == wayland_answers)) {
    reachable = x_answers;  // both or neither, when the platform is left to Qt
  } else if (platform.empty()) {
    // Qt would try the one that does not answer first, or alone, and abort.
    setenv("QT_QPA_PLATFORM", x_answers ? "xcb" : "wayland", 1);
  }
  if (reachable) return true;
  if (x.empty() && wayland.empty()) {
    std::fputs(
        "mivo: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n",
        stderr);
  } else {
    std::fprintf(stderr, "mivo: cannot reach the display (DISPLAY=%s, WAYLAND_DISPLAY=%s)\n",
                 x.c_str(), wayland.c_str());
  }
  return false;
}

}  // namespace window
