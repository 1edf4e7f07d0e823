! The zoom into the Mandelbrot set from Fortran: 350 frames of escape values
! on a 121 x 121 grid, each 5 % narrower than the one before and centred
! closer to -0.04288163 + 0.98979723 i, one progress line a frame, every
! frame painted into one window by scr_map_2d.
module zoom_frames
  use mapplot
  implicit none
  private
  public :: zoom

  integer, parameter :: dp = kind(1d0)
  real(dp), parameter :: target_re = -0.04288163_dp, target_im = 0.98979723_dp

contains

  integer function zoom()
    real :: x(-60:60), y(-60:60), z(-60:60, -60:60)
    real(dp) :: p, approach
    real :: xc, yc, r
    integer :: k, i, j, limit, first_call
    character(len=35) :: line

    first_call = 0
    do k = 1, 350
      p = real(0.95, dp)**k  ! the single-precision 0.95, widened
      approach = 1 - p * p
      xc = real(target_re * approach)
      yc = real(target_im * approach)
      r = real(2 * p)
      limit = ceiling(35 - 20 * log(0.5_dp * r))

      write (line, '(i12, 1x, a, 1pg15.7e2)') k, ' Ray = ', r
      call console_line(line)

      do i = -60, 60
        x(i) = real(i * real(r, dp) / 60 + xc)
        y(i) = real(i * real(r, dp) / 60 + yc)
      end do
      do j = -60, 60
        do i = -60, 60
          z(i, j) = escape_value(x(i), y(j), limit)
        end do
      end do

      ! The first frame opens the window, the later ones repaint it.
      call scr_map_2d(x, y, z, xlabel='Re(c)', ylabel='Im(c)', title='Mandelbrot set', &
                      size=1, own_window=-1, continuation=first_call)
      first_call = -1
    end do
    zoom = 0
  end function zoom

  ! m - 3 for the first w(m) of w(0) = 0, w(n+1) = w(n)**2 + c that reaches
  ! 256 in modulus; limit + 1 when none of w(0) .. w(limit + 3) does. Each
  ! step is formed in double precision from the single-precision parts.
  pure real function escape_value(cre, cim, limit)
    real, intent(in) :: cre, cim
    integer, intent(in) :: limit
    real :: re, im, next_re
    integer :: n

    re = 0
    im = 0
    escape_value = 0
    do n = -2, limit + 1
      if (.not. real(sqrt(real(re, dp)**2 + real(im, dp)**2)) < 256) exit
      escape_value = real(n)
      next_re = real((real(re, dp) - im) * (real(re, dp) + im) + cre)
      im = real(2 * real(re, dp) * im + cim)
      re = next_re
    end do
  end function escape_value

end module zoom_frames

program fortran_zoom
  use mapplot, only: run_program
  use zoom_frames, only: zoom
  implicit none
  call run_program('fortran_zoom', zoom)
end program fortran_zoom
