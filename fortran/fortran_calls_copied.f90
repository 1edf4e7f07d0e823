! Calls for fortran_test.cpp in which the compiler itself copies an array, so
! that they compile apart from fortran_calls.f90 and its ban on array
! temporaries: a section with a vector subscript, passed through a routine of
! the caller's own that passes its optional arguments on; the components of
! an array of derived type, beside the same values read with a stride from a
! plain array.
module fortran_calls_copied
  use, intrinsic :: iso_c_binding, only: c_int
  use mapplot
  implicit none
  private

  type :: pair
    real :: a, b
  end type pair

  ! x(k) = k and z(k) = -k, k = 1 .. n, as components and as strided sections.
  type(pair), allocatable :: pairs(:)
  real, allocatable :: plain(:)

contains

  subroutine make_pairs(n) bind(C, name='fortran_make_pairs')
    integer(c_int), value :: n
    integer :: k
    if (allocated(pairs)) deallocate (pairs, plain)
    allocate (pairs(n), plain(2 * n))
    do k = 1, n
      pairs(k) = pair(real(k), -real(k))
      plain(2 * k - 1:2 * k) = [real(k), -real(k)]
    end do
  end subroutine make_pairs

  ! Pairs.dat: x and z the components a and b of the pairs, y = 1.
  subroutine dat_map_components() bind(C, name='fortran_dat_map_components')
    call dat_map(pairs%a, [1.0], pairs%b, file='Pairs.dat')
  end subroutine dat_map_components

  ! Pairs.dat again, from every second element of the plain array.
  subroutine dat_map_strided() bind(C, name='fortran_dat_map_strided')
    call dat_map(plain(1::2), [1.0], plain(2::2), file='Pairs.dat')
  end subroutine dat_map_strided

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
