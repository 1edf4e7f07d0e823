// The consumer's data file from two ranks: rank 0 holds the columns x = 0, 1,
// rank 1 the column x = 2, of the rows y = 0, 1.
#include <mapmpi/mpi_map.h>

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  const double y[] = {0, 1};
  if (rank == 0) {
    const double x[] = {0, 1}, z[2][2] = {{0, 1}, {3, 4}};
    mapmpi::dat_map_2d_r8(MPI_COMM_WORLD, {0, 0}, x, y, z);
  } else {
    const double x[] = {2}, z[2][1] = {{2}, {5}};
    mapmpi::dat_map_2d_r8(MPI_COMM_WORLD, {2, 0}, x, y, z);
  }
  MPI_Finalize();
}
