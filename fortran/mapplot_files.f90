! mapplot_files: z = z(x, y) as a PostScript map and as a data file, and a
! data file read back; the part of the module mapplot (mapplot.f90) that
! needs no window system, so that a program using it alone links no Qt
! library and runs where Qt is not installed:
!
!   use mapplot_files
!   call dat_map_2d(x, y, z, title='Spectrum')           ! Map.dat
!   call read_map('Map.dat', xs, ys, zs, title=t)         ! and back
!
! The routines, under the library's own names:
!   ps_map,  ps_map_r8,  ps_map_2d,  ps_map_2d_r8    PostScript map
!   dat_map, dat_map_r8, dat_map_2d, dat_map_2d_r8   data export
!   nc_map,  nc_map_r8,  nc_map_2d,  nc_map_2d_r8    NetCDF map file
!   read_map                                         a map file read back
! The arguments are those described in mapplot.f90; postscript_map,
! data_export and netcdf_export choose the form from the kind of x and the
! rank of z.
!
! nc_map and its forms take the data export's arguments and write the map
! exactly, in the kind of x, y and z, to a NetCDF-4 file (default "Map.nc")
! with the CF conventions, as the C++ mapnc::nc_map does (mapnc/nc_map.h):
! x and y as coordinate variables, z as z(y, x), the labels as the
! long_name of x and y, the title as the file's title; no fill value, so
! NaN and infinities are kept as they are. z must hold size(x) * size(y)
! values, a matrix z be size(x) x size(y).
!
! ps_map and its forms take the keywords palette, levels, red, green, blue,
! zmin, zmax, nan_colour, under, over, zcentre, zlabel, aspect and pixels
! after stat and errmsg, by name (see mapplot.f90).
!
! Every routine takes the optional keywords stat (an integer of any kind,
! set in its own kind) and errmsg (a text of any length), as Fortran's own
! statements do. Without
! stat a fatal error (log10: SING error, a file that cannot be written, ...)
! ends the program with its message. With stat the routine returns instead:
! stat is mapplot_fatal_error (1) and errmsg holds the message (cut or
! filled with blanks to its length), nothing is printed, the earlier file is
! as it was and no temporary file is left; after success stat is 0 and
! errmsg unchanged. A PostScript map that writes no file without a fatal
! error (its arguments refused, a device type PGPLOT does not know, a file
! or folder that cannot be opened) prints its warning line as without stat,
! and with stat sets stat to mapplot_no_file_written (2) and errmsg to the
! warning's text ("Warning: at least two x and two y values are needed !!!",
! "Unrecognized device type: xyz", "Cannot open output file for PostScript
! plot: no/Map.ps: No such file or directory"); without stat that is a
! warning alone, as it always was. The null device writes no file by
! design: stat 0. A file beyond the process's file size limit (ulimit -f) is
! the fatal error "File <name>: cannot write: File too large", with or
! without stat, and leaves no temporary file: the PostScript map and the
! data export hold SIGXFSZ back on the calling thread while they run, so
! that no handler of that signal (GNU Fortran's, which prints a backtrace
! and ends the program) takes the program away from its own report.
!
! The routines may be called from several threads at once (OpenMP): each
! call keeps its data to itself, the PostScript maps take turns at the
! PGPLOT device, and stat and errmsg are those of the calling thread's call.
!
! read_map(file, x, y, z, xlabel, ylabel, title, stat, errmsg) reads a map
! file as the C++ mapnc::read_map does: a NetCDF file written by nc_map, or
! a data file as mapdata::read_map_file reads it (any file: every fault is an
! error naming its line). x, y and z are real(4) or real(8), all three
! alike: a NetCDF file of real(8) values is read into real(8) arrays alone
! (into real(4) ones it is the error "<file>: the file holds double precision
! values: read it into real(8) arrays"); every other file into either, its
! real(4) values exact in real(8). x(nx), y(ny) and the texts as they are in the
! file (xlabel, ylabel and title are optional, allocatable texts of the
! file's lengths). z is z(nx, ny), first index along x, when the file holds
! nx*ny values; a file with another number of values nz (the export writes
! one when its z did not match) gives z(nz, 1), every value in the file's
! order, so size(z) /= size(x) * size(y) tells it apart. An error leaves x,
! y, z and the texts deallocated.
module mapplot_files
  use, intrinsic :: iso_c_binding, only: c_int, c_float, c_double, c_char, c_ptrdiff_t, c_ptr, &
                                         c_associated
  use mapplot_internal, only: length_of, map_options, call_arguments, take_arguments, refused, &
                              give_stat
  implicit none
  private

  public :: ps_map, ps_map_r8, ps_map_2d, ps_map_2d_r8
  public :: dat_map, dat_map_r8, dat_map_2d, dat_map_2d_r8
  public :: nc_map, nc_map_r8, nc_map_2d, nc_map_2d_r8
  public :: postscript_map, data_export, netcdf_export, read_map
  public :: mapplot_fatal_error, mapplot_no_file_written

  ! The values of stat after a call that did not do what it was asked (0
  ! after one that did): a fatal error, or a PostScript map without a file.
  integer, parameter :: mapplot_fatal_error = 1
  integer, parameter :: mapplot_no_file_written = 2

  ! One name a rendering, the form chosen by the kind of x and the rank of z.
  interface postscript_map
    module procedure ps_map, ps_map_r8, ps_map_2d, ps_map_2d_r8
  end interface postscript_map
  interface data_export
    module procedure dat_map, dat_map_r8, dat_map_2d, dat_map_2d_r8
  end interface data_export
  interface netcdf_export
    module procedure nc_map, nc_map_r8, nc_map_2d, nc_map_2d_r8
  end interface netcdf_export
  ! A map file read into real(4) or real(8) arrays.
  interface read_map
    module procedure read_map_r4, read_map_r8
  end interface read_map

  ! The C entry points (files_entry.cpp), as in mapplot.f90; stat arrives as a
  ! null pointer when absent, errmsg with the length -1, the named options of
  ! the map as one map_options (mapplot_internal).
  interface
    subroutine c_ps_map(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, file, &
                        nfile, device, ndevice, stat, errmsg, nerrmsg, options) &
        bind(C, name='mapplot_ps_map')
      import :: c_int, c_float, c_char, c_ptrdiff_t, map_options
      real(c_float), intent(in) :: x(:), y(:), z(:)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), &
                                                      file(*), device(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, ndevice, nerrmsg
      type(map_options), intent(in) :: options
    end subroutine c_ps_map

    subroutine c_ps_map_r8(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, file, &
                           nfile, device, ndevice, stat, errmsg, nerrmsg, options) &
        bind(C, name='mapplot_ps_map_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t, map_options
      real(c_double), intent(in) :: x(:), y(:), z(:)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), &
                                                      file(*), device(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, ndevice, nerrmsg
      type(map_options), intent(in) :: options
    end subroutine c_ps_map_r8

    subroutine c_ps_map_2d(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, file, &
                           nfile, device, ndevice, stat, errmsg, nerrmsg, options) &
        bind(C, name='mapplot_ps_map_2d')
      import :: c_int, c_float, c_char, c_ptrdiff_t, map_options
      real(c_float), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), &
                                                      file(*), device(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, ndevice, nerrmsg
      type(map_options), intent(in) :: options
    end subroutine c_ps_map_2d

    subroutine c_ps_map_2d_r8(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, &
                              file, nfile, device, ndevice, stat, errmsg, nerrmsg, options) &
        bind(C, name='mapplot_ps_map_2d_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t, map_options
      real(c_double), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), &
                                                      file(*), device(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, ndevice, nerrmsg
      type(map_options), intent(in) :: options
    end subroutine c_ps_map_2d_r8

    subroutine c_dat_map(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, file, &
                         nfile, stat, errmsg, nerrmsg) &
        bind(C, name='mapplot_dat_map')
      import :: c_int, c_float, c_char, c_ptrdiff_t
      real(c_float), intent(in) :: x(:), y(:), z(:)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg
    end subroutine c_dat_map

    subroutine c_dat_map_r8(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, file, &
                            nfile, stat, errmsg, nerrmsg) &
        bind(C, name='mapplot_dat_map_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t
      real(c_double), intent(in) :: x(:), y(:), z(:)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg
    end subroutine c_dat_map_r8

    subroutine c_dat_map_2d(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, file, &
                            nfile, stat, errmsg, nerrmsg) &
        bind(C, name='mapplot_dat_map_2d')
      import :: c_int, c_float, c_char, c_ptrdiff_t
      real(c_float), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg
    end subroutine c_dat_map_2d

    subroutine c_dat_map_2d_r8(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, &
                               file, nfile, stat, errmsg, nerrmsg) &
        bind(C, name='mapplot_dat_map_2d_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t
      real(c_double), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg
    end subroutine c_dat_map_2d_r8

    subroutine c_nc_map(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, file, &
                         nfile, stat, errmsg, nerrmsg) &
        bind(C, name='mapplot_nc_map')
      import :: c_int, c_float, c_char, c_ptrdiff_t
      real(c_float), intent(in) :: x(:), y(:), z(:)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg
    end subroutine c_nc_map

    subroutine c_nc_map_r8(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, file, &
                            nfile, stat, errmsg, nerrmsg) &
        bind(C, name='mapplot_nc_map_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t
      real(c_double), intent(in) :: x(:), y(:), z(:)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg
    end subroutine c_nc_map_r8

    subroutine c_nc_map_2d(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, file, &
                            nfile, stat, errmsg, nerrmsg) &
        bind(C, name='mapplot_nc_map_2d')
      import :: c_int, c_float, c_char, c_ptrdiff_t
      real(c_float), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg
    end subroutine c_nc_map_2d

    subroutine c_nc_map_2d_r8(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, &
                               file, nfile, stat, errmsg, nerrmsg) &
        bind(C, name='mapplot_nc_map_2d_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t
      real(c_double), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg
    end subroutine c_nc_map_2d_r8

    type(c_ptr) function c_read_map(file, nfile, nx, ny, nz, nxlabel, nylabel, ntitle, stat, &
                                    errmsg, nerrmsg) bind(C, name='mapplot_read_map')
      import :: c_int, c_char, c_ptrdiff_t, c_ptr
      character(kind=c_char), intent(in) :: file(*)
      integer(c_ptrdiff_t), value :: nfile, nerrmsg
      integer(c_ptrdiff_t), intent(out) :: nx, ny, nz, nxlabel, nylabel, ntitle
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
    end function c_read_map
    type(c_ptr) function c_read_map_r8(file, nfile, nx, ny, nz, nxlabel, nylabel, ntitle, stat, &
                                    errmsg, nerrmsg) bind(C, name='mapplot_read_map_r8')
      import :: c_int, c_char, c_ptrdiff_t, c_ptr
      character(kind=c_char), intent(in) :: file(*)
      integer(c_ptrdiff_t), value :: nfile, nerrmsg
      integer(c_ptrdiff_t), intent(out) :: nx, ny, nz, nxlabel, nylabel, ntitle
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
    end function c_read_map_r8

    subroutine c_map_text(map, which, text) bind(C, name='mapplot_map_text')
      import :: c_int, c_char, c_ptr
      type(c_ptr), value :: map
      integer(c_int), value :: which
      character(kind=c_char), intent(out) :: text(*)
    end subroutine c_map_text

    subroutine c_take_map(map, x, y, z) bind(C, name='mapplot_take_map')
      import :: c_float, c_ptr
      type(c_ptr), value :: map
      real(c_float), intent(out) :: x(*), y(*), z(*)
    end subroutine c_take_map

    subroutine c_take_map_r8(map, x, y, z) bind(C, name='mapplot_take_map_r8')
      import :: c_double, c_ptr
      type(c_ptr), value :: map
      real(c_double), intent(out) :: x(*), y(*), z(*)
    end subroutine c_take_map_r8
  end interface

contains

  ! --- PostScript map ---

  subroutine ps_map(x, y, z, log, xlabel, ylabel, title, file, device, stat, errmsg, &
                    palette, levels, red, green, blue, zmin, zmax, &
                    nan_colour, under, over, zcentre, zlabel, aspect, pixels)
    real(c_float), intent(in) :: x(:), y(:), z(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file, device
    character(len=*), intent(in), optional, target :: palette
    class(*), intent(in), optional, target :: levels(:), red(:), green(:), blue(:)
    class(*), intent(in), optional, target :: zmin, zmax
    class(*), intent(in), optional, target :: nan_colour(:), under(:), over(:)
    class(*), intent(in), optional, target :: zcentre
    character(len=*), intent(in), optional, target :: zlabel
    character(len=*), intent(in), optional, target :: aspect
    class(*), intent(in), optional, target :: pixels(:)
    type(call_arguments) :: a
    call take_arguments(a, stat, log, palette=palette, levels=levels, red=red, green=green, &
                        blue=blue, zmin=zmin, zmax=zmax, nan_colour=nan_colour, under=under, &
                        over=over, zcentre=zcentre, zlabel=zlabel, aspect=aspect, pixels=pixels)
    if (refused(a, stat, errmsg)) return
    call c_ps_map(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), title, &
                  length_of(title), file, length_of(file), device, length_of(device), &
                  a%stat, errmsg, length_of(errmsg), a%options)
    call give_stat(a, stat)
  end subroutine ps_map

  subroutine ps_map_r8(x, y, z, log, xlabel, ylabel, title, file, device, stat, errmsg, &
                       palette, levels, red, green, blue, zmin, zmax, &
                    nan_colour, under, over, zcentre, zlabel, aspect, pixels)
    real(c_double), intent(in) :: x(:), y(:), z(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file, device
    character(len=*), intent(in), optional, target :: palette
    class(*), intent(in), optional, target :: levels(:), red(:), green(:), blue(:)
    class(*), intent(in), optional, target :: zmin, zmax
    class(*), intent(in), optional, target :: nan_colour(:), under(:), over(:)
    class(*), intent(in), optional, target :: zcentre
    character(len=*), intent(in), optional, target :: zlabel
    character(len=*), intent(in), optional, target :: aspect
    class(*), intent(in), optional, target :: pixels(:)
    type(call_arguments) :: a
    call take_arguments(a, stat, log, palette=palette, levels=levels, red=red, green=green, &
                        blue=blue, zmin=zmin, zmax=zmax, nan_colour=nan_colour, under=under, &
                        over=over, zcentre=zcentre, zlabel=zlabel, aspect=aspect, pixels=pixels)
    if (refused(a, stat, errmsg)) return
    call c_ps_map_r8(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), title, &
                     length_of(title), file, length_of(file), device, length_of(device), &
                     a%stat, errmsg, length_of(errmsg), a%options)
    call give_stat(a, stat)
  end subroutine ps_map_r8

  subroutine ps_map_2d(x, y, z, log, xlabel, ylabel, title, file, device, stat, errmsg, &
                       palette, levels, red, green, blue, zmin, zmax, &
                    nan_colour, under, over, zcentre, zlabel, aspect, pixels)
    real(c_float), intent(in) :: x(:), y(:), z(:, :)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file, device
    character(len=*), intent(in), optional, target :: palette
    class(*), intent(in), optional, target :: levels(:), red(:), green(:), blue(:)
    class(*), intent(in), optional, target :: zmin, zmax
    class(*), intent(in), optional, target :: nan_colour(:), under(:), over(:)
    class(*), intent(in), optional, target :: zcentre
    character(len=*), intent(in), optional, target :: zlabel
    character(len=*), intent(in), optional, target :: aspect
    class(*), intent(in), optional, target :: pixels(:)
    type(call_arguments) :: a
    call take_arguments(a, stat, log, palette=palette, levels=levels, red=red, green=green, &
                        blue=blue, zmin=zmin, zmax=zmax, nan_colour=nan_colour, under=under, &
                        over=over, zcentre=zcentre, zlabel=zlabel, aspect=aspect, pixels=pixels)
    if (refused(a, stat, errmsg)) return
    call c_ps_map_2d(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), title, &
                     length_of(title), file, length_of(file), device, length_of(device), &
                     a%stat, errmsg, length_of(errmsg), a%options)
    call give_stat(a, stat)
  end subroutine ps_map_2d

  subroutine ps_map_2d_r8(x, y, z, log, xlabel, ylabel, title, file, device, stat, errmsg, &
                          palette, levels, red, green, blue, zmin, zmax, &
                    nan_colour, under, over, zcentre, zlabel, aspect, pixels)
    real(c_double), intent(in) :: x(:), y(:), z(:, :)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file, device
    character(len=*), intent(in), optional, target :: palette
    class(*), intent(in), optional, target :: levels(:), red(:), green(:), blue(:)
    class(*), intent(in), optional, target :: zmin, zmax
    class(*), intent(in), optional, target :: nan_colour(:), under(:), over(:)
    class(*), intent(in), optional, target :: zcentre
    character(len=*), intent(in), optional, target :: zlabel
    character(len=*), intent(in), optional, target :: aspect
    class(*), intent(in), optional, target :: pixels(:)
    type(call_arguments) :: a
    call take_arguments(a, stat, log, palette=palette, levels=levels, red=red, green=green, &
                        blue=blue, zmin=zmin, zmax=zmax, nan_colour=nan_colour, under=under, &
                        over=over, zcentre=zcentre, zlabel=zlabel, aspect=aspect, pixels=pixels)
    if (refused(a, stat, errmsg)) return
    call c_ps_map_2d_r8(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), &
                        title, length_of(title), file, length_of(file), device, &
                        length_of(device), &
                        a%stat, errmsg, length_of(errmsg), a%options)
    call give_stat(a, stat)
  end subroutine ps_map_2d_r8

  ! --- Data export ---

  subroutine dat_map(x, y, z, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_float), intent(in) :: x(:), y(:), z(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    call take_arguments(a, stat, log)
    if (refused(a, stat, errmsg)) return
    call c_dat_map(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), title, &
                   length_of(title), file, length_of(file), &
                   a%stat, errmsg, length_of(errmsg))
    call give_stat(a, stat)
  end subroutine dat_map

  ! Without a title: "Representation of y=y(x)".
  subroutine dat_map_r8(x, y, z, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_double), intent(in) :: x(:), y(:), z(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    call take_arguments(a, stat, log)
    if (refused(a, stat, errmsg)) return
    call c_dat_map_r8(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), &
                      title, length_of(title), file, length_of(file), &
                      a%stat, errmsg, length_of(errmsg))
    call give_stat(a, stat)
  end subroutine dat_map_r8

  subroutine dat_map_2d(x, y, z, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_float), intent(in) :: x(:), y(:), z(:, :)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    call take_arguments(a, stat, log)
    if (refused(a, stat, errmsg)) return
    call c_dat_map_2d(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), &
                      title, length_of(title), file, length_of(file), &
                      a%stat, errmsg, length_of(errmsg))
    call give_stat(a, stat)
  end subroutine dat_map_2d

  subroutine dat_map_2d_r8(x, y, z, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_double), intent(in) :: x(:), y(:), z(:, :)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    call take_arguments(a, stat, log)
    if (refused(a, stat, errmsg)) return
    call c_dat_map_2d_r8(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), &
                         title, length_of(title), file, length_of(file), &
                         a%stat, errmsg, length_of(errmsg))
    call give_stat(a, stat)
  end subroutine dat_map_2d_r8

  ! --- NetCDF map file ---

  subroutine nc_map(x, y, z, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_float), intent(in) :: x(:), y(:), z(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    call take_arguments(a, stat, log)
    if (refused(a, stat, errmsg)) return
    call c_nc_map(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), title, &
                   length_of(title), file, length_of(file), &
                   a%stat, errmsg, length_of(errmsg))
    call give_stat(a, stat)
  end subroutine nc_map

  ! Without a title: "Representation of y=y(x)".
  subroutine nc_map_r8(x, y, z, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_double), intent(in) :: x(:), y(:), z(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    call take_arguments(a, stat, log)
    if (refused(a, stat, errmsg)) return
    call c_nc_map_r8(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), &
                      title, length_of(title), file, length_of(file), &
                      a%stat, errmsg, length_of(errmsg))
    call give_stat(a, stat)
  end subroutine nc_map_r8

  subroutine nc_map_2d(x, y, z, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_float), intent(in) :: x(:), y(:), z(:, :)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    call take_arguments(a, stat, log)
    if (refused(a, stat, errmsg)) return
    call c_nc_map_2d(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), &
                      title, length_of(title), file, length_of(file), &
                      a%stat, errmsg, length_of(errmsg))
    call give_stat(a, stat)
  end subroutine nc_map_2d

  subroutine nc_map_2d_r8(x, y, z, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_double), intent(in) :: x(:), y(:), z(:, :)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    call take_arguments(a, stat, log)
    if (refused(a, stat, errmsg)) return
    call c_nc_map_2d_r8(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), &
                         title, length_of(title), file, length_of(file), &
                         a%stat, errmsg, length_of(errmsg))
    call give_stat(a, stat)
  end subroutine nc_map_2d_r8

  ! --- Reading a map file ---

  subroutine read_map_r4(file, x, y, z, xlabel, ylabel, title, stat, errmsg)
    character(len=*), intent(in) :: file
    real(c_float), allocatable, intent(out) :: x(:), y(:), z(:, :)
    character(len=:), allocatable, intent(out), optional :: xlabel, ylabel, title
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    type(c_ptr) :: map
    integer(c_ptrdiff_t) :: nx, ny, nz, nxlabel, nylabel, ntitle
    type(call_arguments) :: a

    call take_arguments(a, stat)
    if (refused(a, stat, errmsg)) return
    map = c_read_map(file, length_of(file), nx, ny, nz, nxlabel, nylabel, ntitle, a%stat, &
                     errmsg, length_of(errmsg))
    call give_stat(a, stat)
    if (.not. c_associated(map)) return
    allocate (x(nx), y(ny))
    if (nz == nx * ny) then
      allocate (z(nx, ny))
    else
      allocate (z(nz, 1))
    end if
    ! Each text alone, and only when present: flang 19 fails on an absent
    ! allocatable text passed on to an optional argument.
    if (present(xlabel)) then
      allocate (character(len=nxlabel) :: xlabel)
      call c_map_text(map, 1, xlabel)
    end if
    if (present(ylabel)) then
      allocate (character(len=nylabel) :: ylabel)
      call c_map_text(map, 2, ylabel)
    end if
    if (present(title)) then
      allocate (character(len=ntitle) :: title)
      call c_map_text(map, 3, title)
    end if
    call c_take_map(map, x, y, z)
  end subroutine read_map_r4


  subroutine read_map_r8(file, x, y, z, xlabel, ylabel, title, stat, errmsg)
    character(len=*), intent(in) :: file
    real(c_double), allocatable, intent(out) :: x(:), y(:), z(:, :)
    character(len=:), allocatable, intent(out), optional :: xlabel, ylabel, title
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    type(c_ptr) :: map
    integer(c_ptrdiff_t) :: nx, ny, nz, nxlabel, nylabel, ntitle
    type(call_arguments) :: a

    call take_arguments(a, stat)
    if (refused(a, stat, errmsg)) return
    map = c_read_map_r8(file, length_of(file), nx, ny, nz, nxlabel, nylabel, ntitle, a%stat, &
                     errmsg, length_of(errmsg))
    call give_stat(a, stat)
    if (.not. c_associated(map)) return
    allocate (x(nx), y(ny))
    if (nz == nx * ny) then
      allocate (z(nx, ny))
    else
      allocate (z(nz, 1))
    end if
    ! Each text alone, and only when present: flang 19 fails on an absent
    ! allocatable text passed on to an optional argument.
    if (present(xlabel)) then
      allocate (character(len=nxlabel) :: xlabel)
      call c_map_text(map, 1, xlabel)
    end if
    if (present(ylabel)) then
      allocate (character(len=nylabel) :: ylabel)
      call c_map_text(map, 2, ylabel)
    end if
    if (present(title)) then
      allocate (character(len=ntitle) :: title)
      call c_map_text(map, 3, title)
    end if
    call c_take_map_r8(map, x, y, z)
  end subroutine read_map_r8

end module mapplot_files
