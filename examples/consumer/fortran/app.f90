! Against the installed package: a PNG image and a data file from array
! sections. twin.cpp makes the same calls from C++.
program app
  use mapplot
  implicit none
  real :: x(0:8), y(-2:2), z(0:8, -2:2)
  real(kind(1d0)) :: xd(10), yd(6), zd(60)
  integer :: i, j

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
end program app
