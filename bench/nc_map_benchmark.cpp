// A 4000 x 3000 float64 field written and read back, as a NetCDF map file
// (nc_map_2d_r8, mapnc::read_map) and as a data file (dat_map_2d_r8,
// mapdata::read_map_file); prints the time of the first over the second.
// The NetCDF file is to take at most a fifth of the data file's time.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "mapdata/dat_map.h"
#include "mapdata/map_reader.h"
#include "mapnc/nc_map.h"
#include "quietly.h"

namespace {

constexpr int kNx = 4000, kNy = 3000;

struct Field {
  std::vector<double> x, y, z;
  Field() : x(kNx), y(kNy), z(std::size_t{kNx} * kNy) {
    for (int i = 0; i < kNx; ++i) x[i] = 0.001 * i;
    for (int j = 0; j < kNy; ++j) y[j] = -0.002 * j;
    for (std::size_t k = 0; k < z.size(); ++k) z[k] = 300.0 + 0.001 * std::sin(double(k));
  }
  maparg::MatView<double> matrix() const { return {z.data(), kNx, kNy}; }
};

const Field& field() {
  static const Field f;
  return f;
}

void BM_netcdf_write_and_read(benchmark::State& state) {
  const Field& f = field();
  for (auto _ : state) {
    quietly([&] { mapnc::nc_map_2d_r8(f.x, f.y, f.matrix(), {.file = "bench.nc"}); });
    const mapdata::MapReadResult r = mapnc::read_map("bench.nc");
    if (!r || r.map->z_r8.size() != f.z.size()) state.SkipWithError("not read back");
    benchmark::DoNotOptimize(r.map->z_r8.data());
  }
}

void BM_data_file_write_and_read(benchmark::State& state) {
  const Field& f = field();
  for (auto _ : state) {
    quietly([&] { mapdata::dat_map_2d_r8(f.x, f.y, f.matrix(), {.file = "bench.dat"}); });
    const mapdata::MapReadResult r = mapdata::read_map_file("bench.dat");
    if (!r || r.map->z.size() != f.z.size()) state.SkipWithError("not read back");
    benchmark::DoNotOptimize(r.map->z.data());
  }
}

BENCHMARK(BM_netcdf_write_and_read)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_data_file_write_and_read)->Unit(benchmark::kMillisecond)->Iterations(2);

// The console report, keeping each benchmark's real time per iteration.
class TimesKept : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.iterations > 0)
        seconds[run.benchmark_name()] = run.real_accumulated_time / double(run.iterations);
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  char folder[] = "/tmp/nc_map_bench.XXXXXX";
  if (!mkdtemp(folder) || chdir(folder) != 0) return 1;
  benchmark::Initialize(&argc, argv);
  TimesKept report;
  benchmark::RunSpecifiedBenchmarks(&report);
  benchmark::Shutdown();
  const auto nc = report.seconds.find("BM_netcdf_write_and_read/iterations:5");
  const auto dat = report.seconds.find("BM_data_file_write_and_read/iterations:2");
  if (nc != report.seconds.end() && dat != report.seconds.end())
    std::printf("NetCDF / data file: %.4f (at most 0.2 asked)\n", nc->second / dat->second);
  std::remove("bench.nc");
  std::remove("bench.dat");
  rmdir(folder);
  return 0;
}
