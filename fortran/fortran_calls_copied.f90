! Calls for fortran_test.cpp in which the compiler itself copies an array, so
! that they compile apart from fortran_calls.f90 and its ban on array
! temporaries: a section with a vector subscript, passed through a routine of
! the caller's own that passes its optional arguments on.
module fortran_calls_copied
  use, intrinsic :: iso_c_binding, only: c_int
  use mapplot
  implicit none
  private

contains

  subroutine own_plot(x, y, z, xlabel, title)
    real, intent(in) :: x(:), y(:), z(:)
    character(len=*), intent(in), optional :: xlabel, title
    call dat_map(x, y, z, xlabel=xlabel, title=title)
  end subroutine own_plot

  ! x = 1 2 3, y = 1 2, z = 1 .. 6 taken backwards through a vector subscript.
  subroutine dat_map_passed_on(given) bind(C, name='fortran_dat_map_passed_on')
    integer(c_int), value :: given
    real :: x(3), y(2), z(6)
    integer :: backwards(6)
    x = [1, 2, 3]
    y = [1, 2]
    z = [1, 2, 3, 4, 5, 6]
    backwards = [6, 5, 4, 3, 2, 1]
    if (given /= 0) then
      call own_plot(x, y, z(backwards), 'Passed on', title='')
    else
      call own_plot(x, y, z(backwards))
    end if
  end subroutine dat_map_passed_on

end module fortran_calls_copied
