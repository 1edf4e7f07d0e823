! A shared library of the user's own over the static libraries of the
! package, for Python's ctypes: write_map() writes the data file of app.f90.
subroutine write_map() bind(C, name='write_map')
  use mapplot_files, only: dat_map_r8
  implicit none
  real(kind(1d0)) :: xd(10), yd(6), zd(60)
  integer :: i
  xd = [(i, i = 1, 10)]
  yd = [(-i, i = 1, 6)]
  zd = [(0.25d0 * i, i = 1, 60)]
  call dat_map_r8(xd(10:1:-2), yd(::2), zd(::4))
end subroutine write_map
