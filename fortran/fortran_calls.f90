! Calls of the module mapplot as a Fortran program makes them, one routine a
! case, for fortran_test.cpp to run and to compare with the same calls made
! from C++ on the same values. The values are exact in single precision:
!   x(i) = i / 4, y(j) = j / 2 + 1, z(i, j) = i + 1000 j  (i, j the indices),
! and a flat z holds k + 0.5 at its k-th element.
module fortran_calls
  use, intrinsic :: iso_c_binding, only: c_char, c_double, c_int
  use mapplot
  implicit none
  private

  interface fill_flat
    procedure :: fill_flat_r4, fill_flat_r8
  end interface fill_flat

  ! A text of 100 characters: its cut at 80 shows.
  character(len=*), parameter :: long_text = &
    'A title of a hundred characters, which the module cuts to its first eighty. -- ' // &
    '81st: beyond here...'

contains

  ! --- Values ---

  ! x, y and z with their first indices lower1 (x and along x) and lower2.
  pure subroutine fill_r4(x, y, z, lower1, lower2)
    integer, intent(in) :: lower1, lower2
    real, intent(out) :: x(lower1:), y(lower2:), z(lower1:, lower2:)
    integer :: i, j
    do i = lbound(x, 1), ubound(x, 1)
      x(i) = i / 4.0
    end do
    do j = lbound(y, 1), ubound(y, 1)
      y(j) = j / 2.0 + 1
    end do
    do j = lbound(z, 2), ubound(z, 2)
      do i = lbound(z, 1), ubound(z, 1)
        z(i, j) = i + 1000.0 * j
      end do
    end do
  end subroutine fill_r4

  pure subroutine fill_flat_r4(z)
    real, intent(out) :: z(:)
    integer :: k
    do k = 1, size(z)
      z(k) = k + 0.5
    end do
  end subroutine fill_flat_r4

  pure subroutine fill_flat_r8(z)
    real(c_double), intent(out) :: z(:)
    integer :: k
    do k = 1, size(z)
      z(k) = k + 0.5_c_double
    end do
  end subroutine fill_flat_r8

  ! --- Data export ---

  ! The NetCDF map file: the zoom's shape in single precision (1), reversed
  ! and strided sections of double precision values by keyword (2), and the
  ! generic name on a reversed matrix section of double precision (3).
  subroutine nc_map_calls(which) bind(C, name='fortran_nc_map')
    integer(c_int), value :: which
    real :: x(-60:60), y(-60:60), z(-60:60, -60:60)
    real :: xs(10), ys(12), zs(10, 12)
    real(c_double) :: xd(10), yd(12), zd(80), md(10, 12)
    call fill_r4(xs, ys, zs, 1, 1)
    xd = xs
    yd = ys
    md = zs
    call fill_flat(zd)
    select case (which)
    case (1)
      call fill_r4(x, y, z, -60, -60)
      call nc_map_2d(x, y, z, xlabel='Re(c)', ylabel='Im(c)', title='Mandelbrot set')
    case (2)
      call nc_map_r8(z=zd(::2), file='sections.nc', x=xd(10:1:-1), y=yd(::3), log=0)
    case (3)
      call netcdf_export(xd(::2), yd(12:1:-1), md(::2, 12:1:-1), ylabel='', title=long_text, &
                         file='generic.nc')
    end select
  end subroutine nc_map_calls

  ! The zoom's shape: bounds -60 .. 60 in both directions.
  subroutine dat_map_bounds() bind(C, name='fortran_dat_map_bounds')
    real :: x(-60:60), y(-60:60), z(-60:60, -60:60)
    call fill_r4(x, y, z, -60, -60)
    call dat_map_2d(x, y, z, xlabel='Re(c)', ylabel='Im(c)', title='Mandelbrot set')
  end subroutine dat_map_bounds

  ! Reversed and strided sections, the keywords in an order of their own.
  subroutine dat_map_sections() bind(C, name='fortran_dat_map_sections')
    real(c_double) :: x(10), y(12), z(80)
    real :: xs(10), ys(12), zs(1, 1)
    call fill_r4(xs, ys, zs, 1, 1)
    x = xs
    y = ys
    call fill_flat(z)
    call dat_map_r8(z=z(::2), file='Map.dat', x=x(10:1:-1), y=y(::3), log=0)
  end subroutine dat_map_sections

  ! A matrix section, a present but empty y label and a title longer than 80
  ! characters.
  subroutine dat_map_matrix_section() bind(C, name='fortran_dat_map_matrix_section')
    real :: xs(7), ys(5), zs(7, 5)
    real(c_double) :: x(7), y(5), z(7, 5)
    call fill_r4(xs, ys, zs, 1, 1)
    x = xs
    y = ys
    z = zs
    call dat_map_2d_r8(x(::2), y(5:1:-1), z(::2, 5:1:-1), ylabel='', title=long_text)
  end subroutine dat_map_matrix_section

  ! The y label omitted between two that are given; and every option omitted.
  subroutine dat_map_omitted(all) bind(C, name='fortran_dat_map_omitted')
    integer(c_int), value :: all
    real :: x(3), y(2), z(6), unused(1, 1)
    call fill_r4(x, y, unused, 1, 1)
    call fill_flat(z)
    if (all /= 0) then
      call dat_map(x, y, z)
    else
      call dat_map(x, y, z, 0, '  x label', title='  T')
    end if
  end subroutine dat_map_omitted

  ! The generic name on double precision and a flat z: dat_map_r8, whose
  ! default title differs.
  subroutine data_export_generic() bind(C, name='fortran_data_export_generic')
    real(c_double) :: x(3), y(2), z(6)
    x = [1, 2, 3]
    y = [1, 2]
    call fill_flat(z)
    call data_export(x, y, z)
  end subroutine data_export_generic

  ! log10 of a zero: the program ends, no file written.
  subroutine dat_map_log_of_zero() bind(C, name='fortran_dat_map_log_of_zero')
    real :: x(2), y(1), z(2)
    x = [1, 2]
    y = [1]
    z = [5.0, 0.0]
    call dat_map(x, y, z, log=-1)
  end subroutine dat_map_log_of_zero

  ! --- PostScript map ---

  subroutine ps_map_bounds() bind(C, name='fortran_ps_map_bounds')
    real :: x(-3:3), y(-2:2), z(-3:3, -2:2)
    call fill_r4(x, y, z, -3, -2)
    call ps_map_2d(x, y, z, title='Spectrum', file='out.ps', device='png')
  end subroutine ps_map_bounds

  subroutine ps_map_sections() bind(C, name='fortran_ps_map_sections')
    real :: xs(9), ys(6), zs(9, 6)
    real(c_double) :: x(9), y(6), z(9, 6)
    call fill_r4(xs, ys, zs, 1, 1)
    x = xs
    y = ys
    z = zs
    call ps_map_2d_r8(device='null', y=y(6:1:-2), log=0, z=z(9:1:-2, 6:1:-2), x=x(9:1:-2), &
                      xlabel=long_text, ylabel='')
  end subroutine ps_map_sections

  ! Flat z of both precisions; the y label omitted in the middle.
  subroutine ps_map_flat() bind(C, name='fortran_ps_map_flat')
    real :: x(4), y(3), z(12), unused(1, 1)
    real(c_double) :: xd(8), yd(3), zd(24)
    call fill_r4(x, y, unused, 1, 1)
    call fill_flat(z)
    call ps_map(x, y, z, -1, 'time', title='  Energy', file='flat.eps', device='cps')
    xd(::2) = x
    xd(2::2) = -1
    yd = y
    call fill_flat(zd)
    call ps_map_r8(xd(::2), yd, zd(::2), file='flat.ps', device='null')
  end subroutine ps_map_flat

  ! A path of n characters given by the caller, longer than the text fields:
  ! the data file path // '.dat' and the PNG map path // '.ps' (written as
  ! path // '.png').
  subroutine long_file_names(chars, n) bind(C, name='fortran_long_file_names')
    integer(c_int), value :: n
    character(kind=c_char), intent(in) :: chars(n)
    character(len=n) :: path
    real :: x(3), y(2), z(6), unused(1, 1)
    integer :: k
    do k = 1, n
      path(k:k) = chars(k)
    end do
    call fill_r4(x, y, unused, 1, 1)
    call fill_flat(z)
    call dat_map(x, y, z, file=path // '.dat')
    call ps_map(x, y, z, file=path // '.ps', device='png')
  end subroutine long_file_names

  ! log10 of a negative value: the program ends before any device is opened.
  subroutine ps_map_log_of_negative() bind(C, name='fortran_ps_map_log_of_negative')
    real :: x(2), y(2), z(4)
    x = [1, 2]
    y = [1, 2]
    z = [1.0, 2.0, -3.0, 4.0]
    call ps_map(x, y, z, log=-1)
  end subroutine ps_map_log_of_negative

  ! --- Screen map ---

  ! The zoom's call: the y bounds -60 .. 60, own window, first call.
  subroutine scr_map_bounds() bind(C, name='fortran_scr_map_bounds')
    real :: x(-60:60), y(-60:60), z(-60:60, -60:60)
    call fill_r4(x, y, z, -60, -60)
    call scr_map_2d(x, y, z, xlabel='Re(c)', ylabel='Im(c)', title='Mandelbrot set', size=1, &
                    own_window=-1, continuation=0)
  end subroutine scr_map_bounds

  ! Reversed and strided sections of each precision, through the specific
  ! and the generic names.
  subroutine scr_map_sections() bind(C, name='fortran_scr_map_sections')
    real :: xs(10), ys(8), zs(10, 8), flat(80)
    real(c_double) :: x(10), y(8), z(10, 8)
    call fill_r4(xs, ys, zs, 1, 1)
    x = xs
    y = ys
    z = zs
    call fill_flat(flat)
    call scr_map_2d_r8(x(10:1:-2), y(::2), z(10:1:-2, ::2), own_window=-1, size=2, &
                       title=long_text)
    call screen_map(xs(::3), ys(8:1:-1), flat(::2), 0, own_window=-1)
  end subroutine scr_map_sections

  ! The base form on a strided z of the caller's: its elements become grey
  ! levels, those between them stay as they were.
  subroutine scr_map_in_place(z, n) bind(C, name='fortran_scr_map_in_place')
    integer(c_int), value :: n
    real(c_double), intent(inout) :: z(n)
    real(c_double) :: x(4), y(3)
    x = [1, 2, 3, 4]
    y = [1, 2, 3]
    call scr_map(x(4:1:-1), y, z(n:1:-2), own_window=-1, title='In place')
  end subroutine scr_map_in_place

  ! --- Colours ---

  ! The colour keywords of the PostScript map: a palette by name with both
  ! limits, by the four arrays (strided, reversed) with one limit, a name in
  ! blanks, and the refused cases: an array missing, arrays of two sizes,
  ! zmin above zmax.
  subroutine ps_map_colours() bind(C, name='fortran_ps_map_colours')
    real :: x(-3:3), y(-2:2), z(-3:3, -2:2), flat(35)
    real(c_double) :: xd(7), yd(5), zd(35), zd2(7, 5)
    real :: points(8)
    call fill_r4(x, y, z, -3, -2)
    call ps_map_2d(x, y, z, palette='heat', zmin=-1000., zmax=3000., file='heat.ps', &
                   device='png')
    xd = x
    yd = y
    call fill_flat(zd)
    points = [0., 1., 0.25, 0.5, 0.5, 0.75, 1., 0.]
    call ps_map_r8(xd, yd, zd, levels=points(1:7:2), red=points(8:2:-2), green=points(2::2), &
                   blue=points(4:7), zmin=2._c_double, device='null')
    call fill_flat(flat)
    call ps_map(x, y, flat, device='null', zmax=10., palette='  Viridis_R ')
    call ps_map(x, y, flat, device='null', levels=[0., 1.], red=[1., 0.], green=[0., 0.])
    call ps_map(x, y, flat, device='null', levels=[0., 1.], red=[1., 0., 0.], &
                green=[0., 0.], blue=[0., 1.])
    zd2 = reshape(zd, [7, 5])
    call ps_map_2d_r8(xd, yd, zd2, device='null', zmin=5._c_double, &
                      zmax=1._c_double)
  end subroutine ps_map_colours

  ! The colour keywords of the screen map, in each form.
  subroutine scr_map_colours() bind(C, name='fortran_scr_map_colours')
    real :: x(-3:3), y(-2:2), z(-3:3, -2:2), flat(35)
    real(c_double) :: xd(7), yd(5), zd(35), zd2(7, 5)
    call fill_r4(x, y, z, -3, -2)
    call scr_map_2d(x, y, z, own_window=-1, palette='magma', zmin=-1000., zmax=3000.)
    xd = x
    yd = y
    call fill_flat(zd)
    call scr_map(xd, yd, zd, own_window=-1, levels=[0., 1.], red=[0., 1.], green=[1., 0.], &
                 blue=[0.5, 0.5], zmax=20._c_double)
    call fill_flat(flat)
    call scr_map_r4(x, y, flat, own_window=-1, palette='cividis_r', zmin=3.)
    call fill_flat(zd)
    zd2 = reshape(zd, [7, 5])
    call scr_map_2d_r8(xd, yd, zd2, own_window=-1, palette='rainbow', &
                       zmin=9._c_double, zmax=1._c_double)
  end subroutine scr_map_colours

  ! nan_colour, under and over: the PostScript map of a NaN cell and of rows
  ! beyond the range (the colours also strided and reversed), a colour of two
  ! elements (refused: a warning), and the screen map of the same kind.
  subroutine cell_colours() bind(C, name='fortran_cell_colours')
    use, intrinsic :: ieee_arithmetic, only: ieee_value, ieee_quiet_nan
    real :: x(-3:3), y(-2:2), z(-3:3, -2:2), flat(35)
    real(c_double) :: xd(7), yd(5), zd(35)
    real :: rgb(6)
    call fill_r4(x, y, z, -3, -2)
    z(0, 0) = ieee_value(0., ieee_quiet_nan)
    rgb = [0.8, 0.2, 0.4, 0.6, 0., 1.]
    call ps_map_2d(x, y, z, palette='viridis', zmin=-1500., zmax=1500., file='cells.ps', &
                   device='png', nan_colour=[1., 0., 1.], under=rgb(1:5:2), over=rgb(6:4:-1))
    call fill_flat(flat)
    call ps_map(x, y, flat, device='null', nan_colour=[0.5, 0.5])
    xd = x
    yd = y
    call fill_flat(zd)
    zd(3) = ieee_value(0._c_double, ieee_quiet_nan)
    call scr_map(xd, yd, zd, own_window=-1, zmin=2._c_double, zmax=20._c_double, &
                 nan_colour=[0., 1., 0.], under=rgb(1:3), over=[1., 1., 0.])
  end subroutine cell_colours

  ! A centred range, the wedge's label and the PostScript map's page: in
  ! each form, with a strided pixels array and the unusable values.
  subroutine centre_and_page() bind(C, name='fortran_centre_and_page')
    real :: x(-3:3), y(-2:2), z(-3:3, -2:2), flat(35)
    real(c_double) :: xd(7), yd(5), zd(35)
    integer(c_int) :: sizes(4)
    call fill_r4(x, y, z, -3, -2)
    sizes = [640, 0, 320, 0]
    call ps_map_2d(x, y, z, palette='coolwarm', zcentre=0., zlabel='T / K', aspect='Auto', &
                   pixels=sizes(1:3:2), file='page.ps', device='png')
    call fill_flat(flat)
    call ps_map(x, y, flat, device='null', aspect='wide', pixels=[640])
    xd = x
    yd = y
    call fill_flat(zd)
    call ps_map_r8(xd, yd, zd, device='null', zcentre=1._c_double, zlabel='')
    call scr_map(xd, yd, zd, own_window=-1, palette='RdBu', zcentre=3._c_double, &
                 zlabel='dT / K')
  end subroutine centre_and_page

  ! The options in kinds other than the routine's own, one call a case (k):
  ! log as a logical of either kind (also by position) and as integers of
  ! kinds 1 and 8, stat of kind 8 (returned, 7 where the call has none),
  ! palette arrays, colours and zmin ... zcentre in the other real kind,
  ! pixels of kind 8; case 7 a screen map with size and own_window of
  ! kinds 2 and 8.
  subroutine option_kinds(k, stat) bind(C, name='fortran_option_kinds')
    use, intrinsic :: iso_c_binding, only: c_bool, c_int8_t, c_int16_t, c_int64_t
    integer(c_int), value :: k
    integer(c_int64_t), intent(out) :: stat
    real :: x(-3:3), y(-2:2), z(-3:3, -2:2), flat(35)
    real(c_double) :: xd(7), yd(5), zd(35), points(8)
    integer(c_int64_t) :: sizes(2)
    call fill_r4(x, y, z, -3, -2)
    call fill_flat(flat)
    xd = x
    yd = y
    call fill_flat(zd)
    points = [0., 1., 0.25, 0.5, 0.5, 0.75, 1., 0.]
    sizes = [320, 240]
    stat = 7
    select case (k)
    case (1)
      call dat_map(x, y, flat, .true., title='log')
    case (2)
      call dat_map_2d(x, y, z, log=.false._c_bool, stat=stat)
    case (3)
      call dat_map_r8(xd, yd, zd, log=-(2_c_int64_t**40) - 1_c_int64_t, stat=stat)
    case (4)
      call dat_map(x, y, flat, -1_c_int8_t, title='int8')
    case (5)
      call ps_map(x, y, flat, file='r8.ps', device='png', levels=points(1:7:2), &
                  red=points(8:2:-2), green=points(2::2), blue=points(4:7), &
                  zmin=2._c_double, zmax=30._c_double, stat=stat)
    case (6)
      call ps_map_r8(xd, yd, zd, file='r4.ps', device='png', levels=[0., 1.], red=[0., 1.], &
                     green=[1., 0.], blue=[0.5, 0.5], zcentre=3., &
                     nan_colour=points(1:3), under=points(6:8), over=[1._c_double, 1._c_double, &
                     0._c_double], pixels=sizes, stat=stat)
    case (7)
      call scr_map_r4(x, y, flat, size=2_c_int16_t, own_window=-1_c_int64_t)
    case (8)
      call ps_map_2d(x, y, z, device='xyz', stat=stat)
    end select
  end subroutine option_kinds

end module fortran_calls
