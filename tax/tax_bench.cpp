// Run by hand: cmake --workflow --preset bench (see the README). Each rule is printed beside a
// bare baseline measured in the same run; the ratios are printed by the counters "x_baseline".
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <string>
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
  Run(s, [](double x) { return std::floor(x * 1.05); });
}
void BM_GrossFromNet(benchmark::State& s) { Run(s, tax::GrossFromNet); }
void BM_NetFromGross(benchmark::State& s) { Run(s, tax::NetFromGross); }
void BM_GrossMatchesNet(benchmark::State& s) {
  Run(s, [](double x) { return tax::GrossMatchesNet(x, x); });
}
BENCHMARK(Baseline_MultiplyFloor);
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
                                  {u"\u00A5" u"1,050", "1050"}};

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

}  // namespace

BENCHMARK_MAIN();
