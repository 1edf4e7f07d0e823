// The data file reader: a file of a million value lines (a 1000 x 1000 map
// written by dat_map, 1 002 004 lines, 17 MB) read back, and a file whose
// two million lines after the header are no values at all. Each reports
// the processor time and the most heap the reader held, the map also its
// lines per second of processor time.
//
// Peak memory is counted by this program's own operator new and delete:
// every block's usable size is added while it lives, and the most that was
// live during a call to read_map_file, less what was live before it, is
// what the reader needed. The reader allocates nothing else (no other
// allocator, a few hundred bytes of stack), so this is its whole footprint,
// exact and the same from run to run, unlike a resident set size that also
// holds whatever the process touched before.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "bench/quietly.h"
#include "mapdata/dat_map.h"
#include "mapdata/map_reader.h"

namespace {

std::atomic<std::size_t> live_bytes{0};
std::atomic<std::size_t> peak_bytes{0};

void* counted(void* block) {
  if (!block) return nullptr;
  const std::size_t size = malloc_usable_size(block);
  const std::size_t live = live_bytes.fetch_add(size, std::memory_order_relaxed) + size;
  std::size_t peak = peak_bytes.load(std::memory_order_relaxed);
  while (live > peak && !peak_bytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
  return block;
}

void uncounted(void* block) {
  if (!block) return;
  live_bytes.fetch_sub(malloc_usable_size(block), std::memory_order_relaxed);
  std::free(block);
}

void* allocate(std::size_t size) {
  if (void* block = counted(std::malloc(size ? size : 1))) return block;
  throw std::bad_alloc();
}

void* allocate_aligned(std::size_t size, std::align_val_t align) {
  const auto a = static_cast<std::size_t>(align);
  const std::size_t rounded = (std::max<std::size_t>(size, 1) + a - 1) / a * a;
  if (void* block = counted(std::aligned_alloc(a, rounded))) return block;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return counted(std::malloc(size ? size : 1));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return counted(std::malloc(size ? size : 1));
}
void* operator new(std::size_t size, std::align_val_t align) { return allocate_aligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return allocate_aligned(size, align); }
void operator delete(void* block) noexcept { uncounted(block); }
void operator delete[](void* block) noexcept { uncounted(block); }
void operator delete(void* block, std::size_t) noexcept { uncounted(block); }
void operator delete[](void* block, std::size_t) noexcept { uncounted(block); }
void operator delete(void* block, std::align_val_t) noexcept { uncounted(block); }
void operator delete[](void* block, std::align_val_t) noexcept { uncounted(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { uncounted(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { uncounted(block); }

namespace {

constexpr int kSide = 1000;
constexpr const char* kMapFile = "bench_map.dat";
constexpr const char* kNoValuesFile = "bench_no_values.dat";
constexpr int kNoValueLines = 2'000'000;

double map_lines() { return 1.0 + 2.0 * kSide + double(kSide) * kSide + 3; }

void write_files() {
  std::vector<float> x(kSide), y(kSide), z(std::size_t{kSide} * kSide);
  for (int i = 0; i < kSide; ++i) x[i] = y[i] = static_cast<float>(i) / 7;
  for (std::size_t k = 0; k < z.size(); ++k) z[k] = static_cast<float>(k % 9973) * -1.5e-3f;
  quietly([&] { mapdata::dat_map(x, y, z, 0, "Re(c)", "Im(c)", "bench", kMapFile); });

  // Short lines that the header announces as values: nothing in them is.
  std::FILE* f = std::fopen(kNoValuesFile, "wb");
  std::fprintf(f, "%12d%12d%12d\r\n", kNoValueLines, 0, 1);
  for (int k = 0; k < kNoValueLines; ++k) std::fputs(" x\r\n", f);
  std::fclose(f);
}

// Reads `file` once per iteration; `lines`, when not 0, is how many lines it
// has, all of which the reader has to go through.
void read_and_count(benchmark::State& state, const char* file, double lines, bool should_read) {
  std::size_t most = 0;
  for (auto _ : state) {
    const std::size_t before = live_bytes.load();
    peak_bytes.store(before);
    mapdata::MapReadResult r = mapdata::read_map_file(file);
    most = std::max(most, peak_bytes.load() - before);
    if (static_cast<bool>(r) != should_read) {
      state.SkipWithError(r ? "read a file it should not have" : r.error.c_str());
      break;
    }
    benchmark::DoNotOptimize(r);
  }
  if (lines > 0)
    state.counters["lines_per_second"] =
        benchmark::Counter(lines * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["peak_MiB"] = static_cast<double>(most) / (1 << 20);
}

void BM_read_map(benchmark::State& state) { read_and_count(state, kMapFile, map_lines(), true); }

// Wrong from line 2 on: how soon that is noticed, and what it costs meanwhile.
void BM_read_no_values(benchmark::State& state) { read_and_count(state, kNoValuesFile, 0, false); }

BENCHMARK(BM_read_map)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_read_no_values)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  char folder[] = "/tmp/map_reader_bench.XXXXXX";
  if (!mkdtemp(folder) || chdir(folder) != 0) return 1;
  write_files();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(kMapFile);
  std::remove(kNoValuesFile);
  rmdir(folder);
  return 0;
}
