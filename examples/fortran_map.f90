! A map of your own from Fortran, three ways: a Gaussian bump over a grid
! indexed from -40, shown in a window, drawn as a PNG image and written to a
! data file, with keyword arguments and array sections.
module bump
  use mapplot
  implicit none
  private
  public :: show_bump

  integer, parameter :: dp = kind(1d0)

contains

  integer function show_bump()
    real(dp) :: x(-40:40), y(-30:30), z(-40:40, -30:30)
    integer :: i, j

    do i = -40, 40
      x(i) = i / 20.0_dp
    end do
    do j = -30, 30
      y(j) = j / 20.0_dp
    end do
    do j = -30, 30
      do i = -40, 40
        z(i, j) = exp(-x(i)**2 - y(j)**2)
      end do
    end do

    ! Every other point, in a window of its own.
    call scr_map_2d_r8(x(::2), y(::2), z(::2, ::2), title='Gaussian bump', own_window=-1)
    ! The whole grid as a PNG image: bump.ps becomes bump.png.
    call ps_map_2d_r8(x, y, z, xlabel='position', ylabel='height', title='Gaussian bump', &
                      file='bump.ps', device='png')
    ! The upper half, the keywords in any order; the y label left out.
    call dat_map_2d_r8(file='bump.dat', title='Upper half', x=x, y=y(0:), z=z(:, 0:), &
                       xlabel='position')
    show_bump = 0
  end function show_bump

end module bump

program fortran_map
  use mapplot, only: run_program
  use bump, only: show_bump
  implicit none
  call run_program('fortran_map', show_bump)
end program fortran_map
