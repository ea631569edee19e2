// Measures start-up: from fork to the program's top-level window being mapped, and its resident
// memory then, for each program named on the command line, interleaved, each run by LAUNCHER if
// one is given (as Wine runs a Windows program). Needs an X server without a window manager
// (DISPLAY), so that the map is the program's own. Prints medians with their spread (the middle
// half of the runs) and the ratios to the first program, the baseline.
#include <poll.h>
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

Start Measure(xcb_connection_t* x, const char* launcher, const char* program) {
  const auto begin = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (launcher != nullptr) execl(launcher, launcher, program, static_cast<char*>(nullptr));
    execl(program, program, static_cast<char*>(nullptr));
    _exit(127);
  }
  Start start{-1, 0};
  // Until a window is mapped, or the program has ended without one.
  pollfd events{xcb_get_file_descriptor(x), POLLIN, 0};
  while (start.milliseconds < 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
    poll(&events, 1, 100);
    while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
      if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && start.milliseconds < 0) {
        start.milliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
                .count();
        start.resident_mib = ResidentMib(pid);
      }
      std::free(event);
    }
  }
  if (start.milliseconds < 0) {
    std::fprintf(stderr, "%s showed no window\n", program);
    std::exit(1);
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return start;
}

// The median, and the first and third quartiles.
struct Spread {
  double low, median, high;
};
Spread SpreadOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return {values[n / 4], values[n / 2], values[(3 * n) / 4]};
}

}  // namespace

int main(int argc, char** argv) {
  const bool launched = argc > 2 && std::string(argv[2]) == "--with";
  const char* launcher = launched ? argv[3] : nullptr;
  const std::size_t first = launched ? 4 : 2;  // the baseline
  const auto args = static_cast<std::size_t>(argc);
  if (args < first + 2) {
    std::fprintf(stderr, "usage: %s RUNS [--with LAUNCHER] BASELINE PROGRAM...\n", argv[0]);
    return 2;
  }
  xcb_connection_t* x = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x) != 0) return 1;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(x);

  const int runs = std::stoi(argv[1]);
  const std::size_t programs = args - first;
  std::vector<std::vector<double>> times(programs), memory(programs);
  Measure(x, launcher, argv[first]);  // warms the caches for every run alike
  for (int run = 0; run < runs; ++run) {
    for (std::size_t p = 0; p < programs; ++p) {
      const Start start = Measure(x, launcher, argv[first + p]);
      times[p].push_back(start.milliseconds);
      memory[p].push_back(start.resident_mib);
    }
  }
  std::printf("%d interleaved runs%s%s; medians, and the middle half of the runs in brackets\n",
              runs, launched ? " by " : "", launched ? launcher : "");
  std::printf("%-44s %22s %10s %20s %8s\n", "program", "ms to map", "x baseline", "RSS MiB",
              "+MiB");
  const Spread base_time = SpreadOf(times[0]), base_memory = SpreadOf(memory[0]);
  for (std::size_t p = 0; p < programs; ++p) {
    const Spread t = SpreadOf(times[p]), m = SpreadOf(memory[p]);
    std::printf("%-50s %6.1f [%5.1f, %5.1f] %10.2f %5.1f [%4.1f, %4.1f] %+8.1f\n", argv[first + p],
                t.median, t.low, t.high, t.median / base_time.median, m.median, m.low, m.high,
                m.median - base_memory.median);
  }
  xcb_disconnect(x);
}
