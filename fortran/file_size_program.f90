! A map beyond the process's file size limit, run by file_size_test.sh under
! a small limit (ulimit -f), in a main program of GNU Fortran, whose run-time
! installs its own SIGXFSZ handler (a backtrace, then the end of the program):
!   fortran_file_size_program <kind> stat     with stat and errmsg: prints
!                                             " stat <stat>: <errmsg>", then " went on"
!   fortran_file_size_program <kind> no_stat  without: the fatal error report ends it
!   fortran_file_size_program <kind> after    with stat, then a file of its own
!                                             beyond the limit: the signal as usual
! <kind> is dat (the data export into Map.dat) or a device type of the
! PostScript map (ps, png ...: Map.ps of that type).
program file_size_program
  use, intrinsic :: iso_fortran_env, only: output_unit
  use mapplot_files
  implicit none
  character(len=16) :: kind, mode
  character(len=100) :: errmsg
  real :: x(200), y(200), z(200, 200)
  integer :: i, j, stat, unit

  call get_command_argument(1, kind)
  call get_command_argument(2, mode)
  do i = 1, 200
    x(i) = i
    y(i) = -i
  end do
  do j = 1, 200
    z(:, j) = sin(x * 0.37) * cos(y(j) * 0.23) + mod(x * y(j), 7.)
  end do
  errmsg = 'untouched'
  stat = -99
  if (mode == 'no_stat') then
    call write_map()
    print '(a)', ' not reached'
    stop
  end if
  call write_map(stat, errmsg)
  print '(a, i0, 2a)', ' stat ', stat, ': ', trim(errmsg)
  if (mode == 'after') then
    flush (output_unit)  ! before the signal ends the program
    open (newunit=unit, file='plain.txt', action='write')
    do i = 1, 100000
      write (unit, '(a)') repeat('x', 79)
    end do
    close (unit)
  end if
  print '(a)', ' went on'

contains

  subroutine write_map(stat, errmsg)
    integer, intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    if (kind == 'dat') then
      call dat_map_2d(x, y, z, stat=stat, errmsg=errmsg)
    else
      call ps_map_2d(x, y, z, device=trim(kind), stat=stat, errmsg=errmsg)
    end if
  end subroutine write_map

end program file_size_program
