// List-directed real fields: format_general_to against snprintf("%15.7E").
//
// Both write the same ~1000 single-precision values, spread over fixed-form
// and exponent-form magnitudes, signs and digit patterns. The last line
// printed gives the ratio of their times per value.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "textfmt/number_field.h"

namespace {

std::vector<float> sample_values() {
  std::vector<float> values;
  values.reserve(1000);
  std::uint32_t state = 12345u;  // fixed linear congruential sequence: same values every run
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state;
  };
  while (values.size() < 1000) {
    const double mantissa = 1.0 + (next() >> 8) / 16777216.0;  // [1, 2)
    const int exponent = static_cast<int>(next() % 80) - 40;     // 1e-40 .. 1e40 area
    double v = std::ldexp(mantissa, static_cast<int>(exponent * 3.32));
    if (next() % 2 == 0) v = -v;
    if (values.size() % 10 == 0) v = static_cast<double>(next() % 100000) / 100.0;  // short decimals
    values.push_back(static_cast<float>(v));
  }
  return values;
}

const std::vector<float>& values() {
  static const std::vector<float> v = sample_values();
  return v;
}

void BM_format_general_to(benchmark::State& state) {
  char buf[32];
  for (auto _ : state) {
    for (float v : values()) {
      textfmt::format_general_to(buf, v, 15, 7, 2, 1, true);
      benchmark::DoNotOptimize(buf);
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(values().size()));
}
BENCHMARK(BM_format_general_to);

void BM_snprintf_15_7E(benchmark::State& state) {
  char buf[32];
  for (auto _ : state) {
    for (float v : values()) {
      std::snprintf(buf, sizeof buf, "%15.7E", static_cast<double>(v));
      benchmark::DoNotOptimize(buf);
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(values().size()));
}
BENCHMARK(BM_snprintf_15_7E);

// Nanoseconds per value of one formatter, best of several timed passes.
template <typename Format>
double ns_per_value(Format format) {
  double best = 1e300;
  for (int pass = 0; pass < 20; ++pass) {
    const auto start = std::chrono::steady_clock::now();
    for (int repeat = 0; repeat < 20; ++repeat) {
      for (float v : values()) format(v);
    }
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    const double per = took.count() / (20.0 * static_cast<double>(values().size()));
    if (per < best) best = per;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  char buf[32];
  const double ours = ns_per_value([&buf](float v) {
    textfmt::format_general_to(buf, v, 15, 7, 2, 1, true);
    benchmark::DoNotOptimize(buf);
    benchmark::ClobberMemory();
  });
  const double theirs = ns_per_value([&buf](float v) {
    std::snprintf(buf, sizeof buf, "%15.7E", static_cast<double>(v));
    benchmark::DoNotOptimize(buf);
    benchmark::ClobberMemory();
  });
  std::printf("format_general_to %.1f ns/value, snprintf %%15.7E %.1f ns/value, ratio snprintf/format_general_to %.2f\n",
              ours, theirs, theirs / ours);
  return 0;
}
