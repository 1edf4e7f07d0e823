! Against the installed package, the module mapplot_files alone: the calls
! of app.f90, then the data file read back and a write that fails caught
! with stat and errmsg. It links no Qt library.
program files_app
  use mapplot_files
  implicit none
  real :: x(0:8), y(-2:2), z(0:8, -2:2)
  real(kind(1d0)) :: xd(10), yd(6), zd(60)
  real, allocatable :: xr(:), yr(:), zr(:, :)
  character(len=80) :: message
  integer :: i, j, stat

  do i = 0, 8
    x(i) = 0.5 * i
  end do
  do j = -2, 2
    y(j) = j
    do i = 0, 8
      z(i, j) = i * i - 3 * j
    end do
  end do
  xd = [(i, i = 1, 10)]
  yd = [(-i, i = 1, 6)]
  zd = [(0.25d0 * i, i = 1, 60)]

  call ps_map_2d(x(::2), y, z(::2, :), title='Spectrum', file='out.ps', device='png')
  call dat_map_r8(xd(10:1:-2), yd(::2), zd(::4))
  call read_map('Map.dat', xr, yr, zr)
  print '(a, 3(1x, i0))', ' read back', size(xr), size(yr), size(zr)
  call dat_map_2d(x, y, z, log=-1, stat=stat, errmsg=message)
  print '(a, i0, 2a)', ' stat ', stat, ': ', trim(message)
  deallocate (xr, yr, zr)
end program files_app
