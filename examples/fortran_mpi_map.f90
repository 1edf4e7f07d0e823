! A 40 x 30 field spread over the ranks along x: each rank holds its own
! columns, and the files are those of the whole grid.
!   mpirun -np 4 ./fortran_mpi_map
program spread_map
  use mpi_f08
  use mapplot_mpi
  implicit none
  integer, parameter :: nx = 40, ny = 30
  integer :: rank, ranks, i0, n, i, j, stat
  real, allocatable :: x(:), y(:), z(:, :)

  call MPI_Init()
  call MPI_Comm_rank(MPI_COMM_WORLD, rank)
  call MPI_Comm_size(MPI_COMM_WORLD, ranks)
  i0 = nx * rank / ranks + 1                  ! this rank's first column, from 1
  n = nx * (rank + 1) / ranks - (i0 - 1)      ! and its number of columns
  allocate (x(n), y(ny), z(n, ny))
  x = [(0.1 * (i0 + i - 2), i = 1, n)]
  y = [(0.1 * (j - 1), j = 1, ny)]
  do j = 1, ny
    z(:, j) = sin(x) * cos(y(j))
  end do
  call dat_map_2d(x, y, z, MPI_COMM_WORLD, [i0, 1], title='sin(x) cos(y)')   ! Map.dat
  call ps_map_2d(x, y, z, MPI_COMM_WORLD, [i0, 1], file='spread.ps', stat=stat)
  if (stat /= 0 .and. rank == 0) print '(a, i0)', 'no map: stat ', stat
  call MPI_Finalize()
end program spread_map
