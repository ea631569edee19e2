// Run by hand (see the README). Each rule runs beside a bare baseline in the same run, and the
// ratios to it are printed at the end.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tax/amount_text.h"
#include "tax/tax.h"

namespace {

const std::vector<double> kAmounts = {0, 21, 104, 1050, 1051, 952381, 20.7, 123456.789};

template <typename F>
void Run(benchmark::State& state, F f) {
  std::size_t i = 0;
  for (auto _ : state) {
    double x = kAmounts[i++ % kAmounts.size()];
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(f(x));
  }
}

void Baseline_MultiplyFloor(benchmark::State& s) {
  Run(s, [](double x) { return std::floor(x * tax::TaxFactor); });
}
void BM_GrossFromNet(benchmark::State& s) { Run(s, tax::GrossFromNet); }
void BM_NetFromGross(benchmark::State& s) { Run(s, tax::NetFromGross); }
void BM_GrossMatchesNet(benchmark::State& s) {
  Run(s, [](double x) { return tax::GrossMatchesNet(x, x); });
}
// The reverse rule divides; a division alone costs several multiplications, so it has a baseline
// of its own beside the one for every rule.
void Baseline_DivideFloor(benchmark::State& s) {
  Run(s, [](double x) { return std::floor(x / tax::TaxFactor); });
}
BENCHMARK(Baseline_MultiplyFloor);
BENCHMARK(Baseline_DivideFloor);
BENCHMARK(BM_GrossFromNet);
BENCHMARK(BM_NetFromGross);
BENCHMARK(BM_GrossMatchesNet);

struct Text {
  std::u16string typed;
  std::string ascii;
};
const std::vector<Text> kTexts = {{u"1050", "1050"},
                                  {u"1,050", "1050"},
                                  {u"\uFF11\uFF10\uFF15\uFF10", "1050"},
                                  {u"123456.789", "123456.789"},
                                  {u"\u00A5"
                                   u"1,050",
                                   "1050"}};

void Baseline_FromChars(benchmark::State& s) {
  const std::string& ascii = kTexts[static_cast<std::size_t>(s.range(0))].ascii;
  for (auto _ : s) {
    double value = 0;
    std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    benchmark::DoNotOptimize(value);
  }
}
void BM_AmountFromText(benchmark::State& s) {
  const std::u16string& typed = kTexts[static_cast<std::size_t>(s.range(0))].typed;
  for (auto _ : s) benchmark::DoNotOptimize(tax::AmountFromText(typed));
}
BENCHMARK(Baseline_FromChars)->DenseRange(0, 4);
BENCHMARK(BM_AmountFromText)->DenseRange(0, 4);

// Prints the usual table, then each benchmark's time as a multiple of its baseline: the bare
// multiply-and-floor (and divide-and-floor) for the rules, from_chars on the same text for the
// reader.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs)
      times_.emplace_back(run.benchmark_name(), run.GetAdjustedCPUTime());
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nRatios to the baseline measured in this run:\n");
    for (const auto& [name, time] : times_) {
      if (name.rfind("BM_", 0) != 0) continue;
      if (name.rfind("BM_AmountFromText", 0) == 0) {
        Print(name, time, "Baseline_FromChars" + name.substr(name.find('/')));
      } else {
        Print(name, time, "Baseline_MultiplyFloor");
        if (name == "BM_NetFromGross") Print(name, time, "Baseline_DivideFloor");
      }
    }
  }

 private:
  void Print(const std::string& name, double time, const std::string& baseline) const {
    for (const auto& [other, base] : times_) {
      if (other == baseline)
        std::printf("  %-22s %5.2fx %s\n", name.c_str(), time / base, other.c_str());
    }
  }
  std::vector<std::pair<std::string, double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
}
