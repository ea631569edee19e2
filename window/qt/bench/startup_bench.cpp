// Measures start-up: from fork to the program's top-level window being mapped, and its resident
// memory then, for each program named on the command line, interleaved. Needs an X server
// without a window manager (DISPLAY), so that the map is the program's own.
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Start {
  double milliseconds;
  double resident_mib;
};

double ResidentMib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

Start Measure(xcb_connection_t* x, const char* program) {
  const auto begin = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execl(program, program, static_cast<char*>(nullptr));
    _exit(127);
  }
  Start start{-1, 0};
  while (xcb_generic_event_t* event = xcb_wait_for_event(x)) {
    const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
    std::free(event);
    if (!mapped) continue;
    start.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    start.resident_mib = ResidentMib(pid);
    break;
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return start;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s RUNS BASELINE PROGRAM...\n", argv[0]);
    return 2;
  }
  xcb_connection_t* x = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x) != 0) return 1;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(x);

  const int runs = std::stoi(argv[1]);
  const auto programs = static_cast<std::size_t>(argc - 2);
  std::vector<std::vector<double>> times(programs), memory(programs);
  Measure(x, argv[2]);  // warms the caches for every run alike
  for (int run = 0; run < runs; ++run) {
    for (std::size_t p = 0; p < programs; ++p) {
      const Start start = Measure(x, argv[2 + p]);
      times[p].push_back(start.milliseconds);
      memory[p].push_back(start.resident_mib);
    }
  }
  std::printf("%-40s %10s %10s %8s %10s\n", "program (median of runs)", "ms to map", "x baseline",
              "RSS MiB", "+MiB");
  for (std::size_t p = 0; p < programs; ++p) {
    const double t = Median(times[p]);
    const double m = Median(memory[p]);
    std::printf("%-40s %10.1f %10.2f %8.1f %+10.1f\n", argv[2 + p], t, t / Median(times[0]), m,
                m - Median(memory[0]));
  }
  xcb_disconnect(x);
}
