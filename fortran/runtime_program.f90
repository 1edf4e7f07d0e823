! A program under the windowing runtime, run by runtime_test.sh:
!   fortran_runtime_program exit <code>   shows a map, writes a console line, returns <code>
!   fortran_runtime_program fatal         log10 of zero in dat_map: the fatal error report
module runtime_work
  use mapplot
  implicit none
  private
  public :: work

contains

  integer function work()
    character(len=16) :: what, code
    real :: x(3), y(2), z(6)

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
    case ('fatal')
      z(4) = 0
      call dat_map(x, y, z, log=-1)
      call console_line(' not reached')
    end select
  end function work

end module runtime_work

program runtime_program
  use mapplot, only: run_program
  use runtime_work, only: work
  implicit none
  call run_program('fortran_runtime_program', work)
end program runtime_program
