// The data export of an n x n field spread over the ranks in rows: written
// by every rank at once (mapmpi::dat_map) against gathered to rank 0 and
// written there (MPI_Gatherv, then mapdata::dat_map). Each way runs
// `repeats` times, alternately; the best time of each and their ratio are
// printed by rank 0.
//   mpirun --oversubscribe -np 4 build/bench/mpi_dat_map_benchmark [n] [repeats]
// With a third argument "png", the PNG map of the field instead: rank 0's
// peak resident memory against the size of its own block.

#include <mpi.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "mapdata/dat_map.h"
#include "mapmpi/mpi_map.h"
#include "rtl/hooks.h"

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  int rank = 0, size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  const long n = argc > 1 ? std::max(1L, std::atol(argv[1])) : 4000;
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  // The console lines stay out of the figures.
  rtl::ScopedHooks quiet({.console_output = [](std::string_view) {}});

  const long j0 = n * rank / size, j1 = n * (rank + 1) / size;
  std::vector<float> x(static_cast<std::size_t>(n)), y(static_cast<std::size_t>(j1 - j0));
  std::vector<float> z(static_cast<std::size_t>(n * (j1 - j0)));
  for (long i = 0; i < n; ++i) x[static_cast<std::size_t>(i)] = static_cast<float>(i) * 0.001f;
  for (long j = j0; j < j1; ++j) {
    y[static_cast<std::size_t>(j - j0)] = static_cast<float>(j) * 0.002f;
    for (long i = 0; i < n; ++i)
      z[static_cast<std::size_t>((j - j0) * n + i)] = std::sin(0.01f * float(i)) * std::cos(0.013f * float(j));
  }

  if (argc > 3 && std::string(argv[3]) == "png") {
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    mapmpi::ps_map(MPI_COMM_WORLD, {0, j0}, x, y, z, {.file = "bench_map.png", .device = "png"});
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    if (rank == 0)
      std::printf("PNG map of %ld x %ld on %d ranks: rank 0 peak %.1f MB (%.1f MB before the map), its block %.1f MB\n",
                  n, n, size, static_cast<double>(after.ru_maxrss) / 1024.0,
                  static_cast<double>(before.ru_maxrss) / 1024.0,
                  static_cast<double>(z.size() * sizeof(float)) / 1048576.0);
    MPI_Finalize();
    return 0;
  }

  double best_distributed = std::numeric_limits<double>::infinity(), best_gathered = best_distributed;
  for (int k = 0; k < repeats; ++k) {
    MPI_Barrier(MPI_COMM_WORLD);
    double t = MPI_Wtime();
    mapmpi::dat_map(MPI_COMM_WORLD, {0, j0}, x, y, z, {.file = "bench_distributed.dat"});
    MPI_Barrier(MPI_COMM_WORLD);
    best_distributed = std::min(best_distributed, MPI_Wtime() - t);

    MPI_Barrier(MPI_COMM_WORLD);
    t = MPI_Wtime();
    {
      // By hand: every rank's rows to rank 0, which writes the whole grid.
      std::vector<int> counts(static_cast<std::size_t>(size)), displs(counts.size());
      for (int r = 0; r < size; ++r) {
        counts[static_cast<std::size_t>(r)] = static_cast<int>(n * (n * (r + 1) / size - n * r / size));
        displs[static_cast<std::size_t>(r)] = static_cast<int>(n * (n * r / size));
      }
      std::vector<float> all(rank == 0 ? static_cast<std::size_t>(n * n) : 0), ally;
      MPI_Gatherv(z.data(), static_cast<int>(z.size()), MPI_FLOAT, all.data(), counts.data(),
                  displs.data(), MPI_FLOAT, 0, MPI_COMM_WORLD);
      for (int r = 0; r < size; ++r) {
        counts[static_cast<std::size_t>(r)] = static_cast<int>(n * (r + 1) / size - n * r / size);
        displs[static_cast<std::size_t>(r)] = static_cast<int>(n * r / size);
      }
      if (rank == 0) ally.resize(static_cast<std::size_t>(n));
      MPI_Gatherv(y.data(), static_cast<int>(y.size()), MPI_FLOAT, ally.data(), counts.data(),
                  displs.data(), MPI_FLOAT, 0, MPI_COMM_WORLD);
      if (rank == 0) mapdata::dat_map(x, ally, all, {.file = "bench_gathered.dat"});
    }
    MPI_Barrier(MPI_COMM_WORLD);
    best_gathered = std::min(best_gathered, MPI_Wtime() - t);
  }
  if (rank == 0)
    std::printf("%ld x %ld on %d ranks: distributed %.3f s, gathered to rank 0 %.3f s, ratio %.2f\n",
                n, n, size, best_distributed, best_gathered, best_distributed / best_gathered);
  MPI_Finalize();
  return 0;
}
