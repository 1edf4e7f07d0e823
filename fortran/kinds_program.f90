! The module's files from a program of any default kinds. Built twice, as it
! is and with -fdefault-integer-8 -fdefault-real-8, it passes x, y, z, the
! palette arrays, zmin, zmax, nan_colour, pixels and stat in the default
! kinds and log as a default logical; the generic names choose the form by
! the kind of x, so the second build calls the r8 forms with integers and
! logicals of kind 8. kinds_test.sh finds the files of both builds the same.
! Prints the kinds it was built with; ends with exit code 1 on a stat or
! errmsg not as expected.
program kinds_program
  use mapplot_files
  implicit none
  real :: x(7), y(5), z(7, 5), levels(4), red(4), green(4), blue(4)
  integer :: st, pixels(2), i, j
  character(len=40) :: msg

  do i = 1, 7
    x(i) = i / 4.
  end do
  do j = 1, 5
    y(j) = j / 2. + 1
  end do
  do j = 1, 5
    do i = 1, 7
      z(i, j) = i + 10. * j
    end do
  end do
  levels = [0., 0.25, 0.5, 1.]
  red = [0., 0.75, 0.5, 1.]
  green = [1., 0.5, 0.75, 0.]
  blue = [0.5, 0.5, 0.75, 1.]
  pixels = [320, 240]

  st = -1
  call data_export(x, y, z, log=.true., title='Kinds', stat=st)
  call expect(st, 0, 'data_export, log=.true.')
  st = -1
  call data_export(x, y, z, .false., 'x', 'y', 'Kinds', 'linear.dat', stat=st)
  call expect(st, 0, 'data_export, log .false. by position')
  st = -1
  call postscript_map(x, y, z, title='Kinds', file='map.ps', device='png', stat=st, &
                      levels=levels, red=red, green=green, blue=blue, zmin=15., zmax=55., &
                      nan_colour=[1., 0., 1.], pixels=pixels)
  call expect(st, 0, 'postscript_map')
  msg = 'unchanged'
  call postscript_map(x, y, z, device='xyz', stat=st, errmsg=msg)
  call expect(st, int(mapplot_no_file_written), 'postscript_map, device xyz')
  if (msg /= 'Unrecognized device type: xyz') then
    print '(2a)', ' errmsg: ', msg
    error stop 1
  end if
  print '(a, i0, a, i0)', ' kinds: integer ', kind(st), ', real ', kind(x)

contains

  subroutine expect(stat, wanted, call)
    integer, intent(in) :: stat, wanted
    character(len=*), intent(in) :: call
    if (stat == wanted) return
    print '(3a, i0)', ' ', call, ': stat ', stat
    error stop 1
  end subroutine expect

end program kinds_program
