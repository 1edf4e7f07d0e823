! A program under the windowing runtime, run by runtime_test.sh:
!   fortran_runtime_program exit <code>   shows a map, writes a console line, returns <code>
!   fortran_runtime_program fatal         three lines to log.txt and one printed, then
!                                         log10 of zero in dat_map: the fatal error report
!   fortran_runtime_program stop <code>   a map shown, a line printed, then STOP <code>
!   fortran_runtime_program error_stop <code>   the same with ERROR STOP <code>
!   fortran_runtime_program order         printed lines and console lines in turn
!   fortran_runtime_program hold          three lines to log.txt and one printed, then
!                                         a map drawn again and again until the window closes
module runtime_work
  use mapplot
  implicit none
  private
  public :: work

contains

  integer function work()
    character(len=16) :: what, code
    real :: x(3), y(2), z(6)
    integer, parameter :: log_unit = 21
    integer :: i, stop_code

    x = [1, 2, 3]
    y = [1, 2]
    z = [1, 2, 3, 4, 5, 6]
    call get_command_argument(1, what)
    call get_command_argument(2, code)
    work = 0
    select case (trim(what))
    case ('exit')
      call scr_map_r4(x, y, z, title='From Fortran', own_window=-1)
      read (code, *) work
      call console_line(' returns '//trim(code))
    case ('fatal', 'hold')
      open (log_unit, file='log.txt', action='write')
      do i = 1, 3
        write (log_unit, '(a, i0)') 'log line ', i
      end do
      print '(a)', 'printed before'
      if (what == 'hold') then
        call scr_map_r4(x, y, z, title='Held', own_window=-1)
        do
          call scr_map_r4(x, y, z, title='Held', own_window=-1, continuation=-1)
        end do
      end if
      z(4) = 0
      call dat_map(x, y, z, log=-1)
      call console_line(' not reached')
    case ('stop', 'error_stop')
      call scr_map_r4(x, y, z, title='Stopped', own_window=-1)
      print '(a)', 'printed before'
      read (code, *) stop_code
      if (what == 'stop') stop stop_code
      error stop stop_code
    case ('order')
      do i = 1, 3
        print '(a, i0)', 'printed ', i
        call console_line(' console line')
      end do
      call dat_map(x, y, z, file='order.dat')
      print '(a)', 'printed last'
    end select
  end function work

end module runtime_work

program runtime_program
  use mapplot, only: run_program
  use runtime_work, only: work
  implicit none
  call run_program('fortran_runtime_program', work)
end program runtime_program
