! A map written as a data file and as a PostScript map, the data file read
! back, and a write that cannot be done caught with stat and errmsg. It uses
! the module mapplot_files alone, so it links no window system and runs
! where Qt is not installed.
program fortran_files
  use mapplot_files
  implicit none
  real :: x(40), y(30), z(40, 30)
  real, allocatable :: xr(:), yr(:), zr(:, :)
  character(len=:), allocatable :: title
  character(len=200) :: message
  integer :: i, j, stat

  do i = 1, 40
    x(i) = -2 + 4 * (i - 1) / 39.
  end do
  do j = 1, 30
    y(j) = -1.5 + 3 * (j - 1) / 29.
    z(:, j) = exp(-x**2 - y(j)**2) - 0.5
  end do

  call dat_map_2d(x, y, z, title='Gaussian bump', file='bump.dat')
  call ps_map_2d(x, y, z, title='Gaussian bump', file='bump.ps')

  call read_map('bump.dat', xr, yr, zr, title=title)
  print '(a, i0, a, i0, 3a)', ' read back: ', size(zr, 1), ' x ', size(zr, 2), ' values of "', &
    title, '"'

  ! z has values below zero, which have no logarithm: the file is not
  ! written, and the program goes on.
  call dat_map_2d(x, y, z, log=-1, file='log.dat', stat=stat, errmsg=message)
  if (stat /= 0) print '(2a)', ' log.dat not written: ', trim(message)
  deallocate (xr, yr, zr, title)
end program fortran_files
