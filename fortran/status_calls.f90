! Calls of the module's routines with stat and errmsg, for status_test.cpp:
! each returns the stat it was given back (-99 when it was not passed),
! errmsg starting as "untouched" and handed back in message(1:100).
module status_calls
  use, intrinsic :: iso_c_binding, only: c_int, c_char
  use, intrinsic :: iso_fortran_env, only: int8
  use, intrinsic :: ieee_arithmetic, only: ieee_value, ieee_positive_inf
  use mapplot
  implicit none
  private

contains

  integer(c_int) function status_call(which, message) bind(C, name='fortran_status_call')
    integer(c_int), value :: which
    character(kind=c_char), intent(out) :: message(100)
    character(len=100) :: errmsg
    character(len=5) :: short
    real :: x(3), y(2), z(3, 2)
    real, allocatable :: big(:, :)
    real(kind(1d0)) :: xd(3), yd(2), zd(6)
    integer :: stat, i
    integer(int8) :: stat8

    x = [1., 2., 3.]
    y = [1., 2.]
    z = reshape([1., 2., 3., 4., 5., 0.], [3, 2])  ! a zero: no logarithm
    xd = x
    yd = y
    zd = [1., 2., 3., 4., 5., 0.]
    allocate (big(200, 200), source=1.0)
    errmsg = 'untouched'
    stat = -99
    select case (which)
    case (1)
      call dat_map_2d(x, y, z, log=-1, stat=stat, errmsg=errmsg)
    case (2)
      call dat_map_2d(x, y, z, stat=stat, errmsg=errmsg)
    case (3)
      call ps_map_r8(xd, yd, zd, log=-1, stat=stat, errmsg=errmsg)
    case (4)
      call ps_map_r8(xd, yd, zd, stat=stat, errmsg=errmsg)
    case (5)
      call scr_map_2d(x, y, z, log=-1, own_window=-1, stat=stat, errmsg=errmsg)
    case (6)
      call scr_map_2d(x, y, z, own_window=-1, stat=stat, errmsg=errmsg)
    case (7)
      call dat_map_r8(xd, yd, zd, file='no/such/folder/Map.dat', stat=stat, errmsg=errmsg)
    case (8)
      call data_export(x, y, z, file='Map'//achar(0)//'.dat', stat=stat, errmsg=errmsg)
    case (9)  ! more than the file size limit the test sets
      call dat_map_2d(big(:, 1), big(1, :), big, stat=stat, errmsg=errmsg)
    case (10)  ! errmsg shorter than the message
      short = 'xxxxx'
      call dat_map(x, y, [z], log=-1, stat=stat, errmsg=short)
      errmsg = short
    case (11)  ! stat without errmsg
      call ps_map_2d(x, y, z, log=-1, stat=stat)
    case (12)
      call console_line(' a console line', stat=stat, errmsg=errmsg)
    ! PostScript maps that write no file; the null device, which writes none by design
    case (13)
      call ps_map_2d(x(1:1), y, z(1:1, :), stat=stat, errmsg=errmsg)
    case (14)
      call ps_map(x, y, [z], device='xyz', stat=stat, errmsg=errmsg)
    case (15)
      call ps_map_2d_r8(xd, yd, reshape(zd, [3, 2]), file='no/such/folder/Map.ps', &
                        stat=stat, errmsg=errmsg)
    case (16)
      call postscript_map(x, y, z, device='null', stat=stat, errmsg=errmsg)
    case (17)
      call ps_map_r8(xd, yd, zd(1:5), stat=stat, errmsg=errmsg)
    case (18)
      call ps_map(x, y, [z], device='tmp/x/ps', stat=stat, errmsg=errmsg)
    case (19)
      x(2) = ieee_value(x(2), ieee_positive_inf)
      call ps_map_2d(x, y, z, file='folder', device='png', stat=stat, errmsg=errmsg)
    case (20)  ! a folder in the way of the file
      call ps_map_2d(x, y, z, file='folder', device='png', stat=stat, errmsg=errmsg)
    case (21)  ! without stat: the warning alone, and the call returns
      call ps_map(x, y, [z], device='xyz', errmsg=errmsg)
    case (22)  ! stat without errmsg
      call ps_map(x, y, [z], device='xyz', stat=stat)
    ! Screen maps outside run_program, not off screen
    case (23)
      call scr_map_2d(x, y, z, stat=stat, errmsg=errmsg)
    case (24)
      call screen_map(xd, yd, zd, own_window=.false., stat=stat, errmsg=errmsg)
    ! Arguments of a type the routine does not take; stat of kind 1
    case (25)
      call dat_map_2d(x, y, z, log='yes', stat=stat, errmsg=errmsg)
    case (26)
      call ps_map_2d(x, y, z, zmin=1, stat=stat, errmsg=errmsg)
    case (27)
      call ps_map_2d(x, y, z, pixels=[100._8, 100._8], stat=stat, errmsg=errmsg)
    case (28)
      call dat_map_2d(x, y, z, log=-1_int8, stat=stat8, errmsg=errmsg)
      stat = stat8
    case (29)  ! without stat: the end of the program
      call dat_map_2d(x, y, z, log=2.5)
    end select
    do i = 1, 100
      message(i) = errmsg(i:i)
    end do
    status_call = stat
  end function status_call

  ! The module's named values of stat.
  subroutine status_values(fatal, no_file) bind(C, name='fortran_status_values')
    integer(c_int), intent(out) :: fatal, no_file
    fatal = mapplot_fatal_error
    no_file = mapplot_no_file_written
  end subroutine status_values

end module status_calls
