! mapplot_mpi: the module mapplot_files (mapplot_files.f90), passed on
! whole, and the forms of its maps for a field spread over the ranks of an
! MPI program, under the same names:
!
!   use mpi_f08
!   use mapplot_mpi
!   ! rank r holds columns i0 .. i0 + size(x) - 1 of the grid
!   call dat_map(x, y, z, MPI_COMM_WORLD, [i0, 1], title='Spectrum')   ! Map.dat
!
! ps_map, dat_map, nc_map, their _r8, _2d and _2d_r8 forms and the names
! postscript_map, data_export and netcdf_export each take, after z, the
! communicator comm (type(MPI_Comm) of mpi_f08) and offset, the block's
! first cell in the whole grid as two integers of any kind, counted from 1
! as Fortran counts: offset = [1, 1] is the first cell. The other arguments
! are those of the one-process form, by the same names; the form is chosen
! by comm, the kind of x and the rank of z.
!
! Each rank passes its own block: its part of x, its part of y and its
! values z (size(x) * size(y) of them, or a matrix size(x) x size(y)). The
! blocks tile the grid: they do not overlap and cover every cell. A rank
! may hold none (x, y or z empty); its offset is then not looked at. Blocks
! that share columns pass the same x values for them, blocks that share
! rows the same y values. Every rank of comm calls the routine; the options
! that count are rank 0's (the texts, the file name, the log option, the
! named options of the map). The file is the one the one-process routine
! writes for the whole grid (the data file and the PostScript map byte for
! byte, the NetCDF file value for value), and console lines come once,
! from rank 0. The NetCDF map file is written through the parallel build of
! NetCDF where the library was built with it; elsewhere nc_map with comm
! is a fatal error.
!
! Errors are those of the one-process routines, and one rank's is every
! rank's (the message of the lowest rank that failed): with stat each rank
! returns with stat mapplot_fatal_error and errmsg the message; without it
! rank 0 reports it and every rank ends, the program's status nonzero. An
! argument of a type the routine does not take, on any rank, is such an
! error too (a stat of another type counts as no stat on its rank). No rank
! is left waiting, and the earlier file is as it was. A PostScript map that
! writes no file, its warning printed by rank 0, gives every rank stat
! mapplot_no_file_written and the warning's text in errmsg.
!
! A program that uses this module links the library mapplot_fortran_mpi
! alone, which holds mapplot_files too, built against the NetCDF library
! the MPI routines load; the libraries of mapplot_files and mapplot bring
! the one-process NetCDF library, and a process loads one of the two.
module mapplot_mpi
  use, intrinsic :: iso_c_binding, only: c_int, c_float, c_double, c_char, c_ptrdiff_t
  use, intrinsic :: iso_fortran_env, only: int8, int16, int32, int64
  use mpi_f08, only: MPI_Comm
  use mapplot_internal, only: length_of, map_options, call_arguments, take_arguments, give_stat
  use mapplot_files, only: ps_map_one => ps_map, ps_map_r8_one => ps_map_r8, &
                           ps_map_2d_one => ps_map_2d, ps_map_2d_r8_one => ps_map_2d_r8, &
                           dat_map_one => dat_map, dat_map_r8_one => dat_map_r8, &
                           dat_map_2d_one => dat_map_2d, dat_map_2d_r8_one => dat_map_2d_r8, &
                           nc_map_one => nc_map, nc_map_r8_one => nc_map_r8, &
                           nc_map_2d_one => nc_map_2d, nc_map_2d_r8_one => nc_map_2d_r8, &
                           postscript_map, data_export, netcdf_export, read_map, &
                           mapplot_fatal_error, mapplot_no_file_written, map_page, page_open, &
                           page_close
  implicit none
  private

  public :: ps_map, ps_map_r8, ps_map_2d, ps_map_2d_r8
  public :: dat_map, dat_map_r8, dat_map_2d, dat_map_2d_r8
  public :: nc_map, nc_map_r8, nc_map_2d, nc_map_2d_r8
  public :: postscript_map, data_export, netcdf_export, read_map
  public :: mapplot_fatal_error, mapplot_no_file_written
  public :: map_page, page_open, page_close

  ! Each name of mapplot_files for its one-process form and its distributed
  ! one, told apart by comm (the one-process forms have no argument of its
  ! type after z, nor one named comm or offset).
  interface ps_map
    procedure :: ps_map_one, ps_map_mpi
  end interface ps_map
  interface ps_map_r8
    procedure :: ps_map_r8_one, ps_map_r8_mpi
  end interface ps_map_r8
  interface ps_map_2d
    procedure :: ps_map_2d_one, ps_map_2d_mpi
  end interface ps_map_2d
  interface ps_map_2d_r8
    procedure :: ps_map_2d_r8_one, ps_map_2d_r8_mpi
  end interface ps_map_2d_r8
  interface dat_map
    procedure :: dat_map_one, dat_map_mpi
  end interface dat_map
  interface dat_map_r8
    procedure :: dat_map_r8_one, dat_map_r8_mpi
  end interface dat_map_r8
  interface dat_map_2d
    procedure :: dat_map_2d_one, dat_map_2d_mpi
  end interface dat_map_2d
  interface dat_map_2d_r8
    procedure :: dat_map_2d_r8_one, dat_map_2d_r8_mpi
  end interface dat_map_2d_r8
  interface nc_map
    procedure :: nc_map_one, nc_map_mpi
  end interface nc_map
  interface nc_map_r8
    procedure :: nc_map_r8_one, nc_map_r8_mpi
  end interface nc_map_r8
  interface nc_map_2d
    procedure :: nc_map_2d_one, nc_map_2d_mpi
  end interface nc_map_2d
  interface nc_map_2d_r8
    procedure :: nc_map_2d_r8_one, nc_map_2d_r8_mpi
  end interface nc_map_2d_r8
  ! The one names of mapplot_files, with the distributed forms added.
  interface postscript_map
    procedure :: ps_map_mpi, ps_map_r8_mpi, ps_map_2d_mpi, ps_map_2d_r8_mpi
  end interface postscript_map
  interface data_export
    procedure :: dat_map_mpi, dat_map_r8_mpi, dat_map_2d_mpi, dat_map_2d_r8_mpi
  end interface data_export
  interface netcdf_export
    procedure :: nc_map_mpi, nc_map_r8_mpi, nc_map_2d_mpi, nc_map_2d_r8_mpi
  end interface netcdf_export

  ! The C entry points (mpi_entry.cpp): those of mapplot_files with the
  ! communicator's handle and the zero-based offset after z, and last the
  ! refusal of an argument (its message; absent, a length of -1, when none),
  ! which the ranks agree on before the routine starts.
  interface
    subroutine c_ps_map(x, y, z, comm, offset, log, xlabel, nxlabel, ylabel, nylabel, title, &
                       ntitle, file, nfile, device, ndevice, stat, errmsg, nerrmsg, options, &
                       refusal, nrefusal) bind(C, name='mapplot_mpi_ps_map')
      import :: c_int, c_float, c_char, c_ptrdiff_t, map_options
      real(c_float), intent(in) :: x(:), y(:), z(:)
      integer(c_int), value :: comm
      integer(c_ptrdiff_t), intent(in) :: offset(2)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), &
                                                      file(*), device(*), refusal(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, ndevice, nerrmsg, nrefusal
      type(map_options), intent(in) :: options
    end subroutine c_ps_map

    subroutine c_ps_map_r8(x, y, z, comm, offset, log, xlabel, nxlabel, ylabel, nylabel, title, &
                       ntitle, file, nfile, device, ndevice, stat, errmsg, nerrmsg, options, &
                       refusal, nrefusal) bind(C, name='mapplot_mpi_ps_map_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t, map_options
      real(c_double), intent(in) :: x(:), y(:), z(:)
      integer(c_int), value :: comm
      integer(c_ptrdiff_t), intent(in) :: offset(2)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), &
                                                      file(*), device(*), refusal(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, ndevice, nerrmsg, nrefusal
      type(map_options), intent(in) :: options
    end subroutine c_ps_map_r8

    subroutine c_ps_map_2d(x, y, z, comm, offset, log, xlabel, nxlabel, ylabel, nylabel, title, &
                       ntitle, file, nfile, device, ndevice, stat, errmsg, nerrmsg, options, &
                       refusal, nrefusal) bind(C, name='mapplot_mpi_ps_map_2d')
      import :: c_int, c_float, c_char, c_ptrdiff_t, map_options
      real(c_float), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), value :: comm
      integer(c_ptrdiff_t), intent(in) :: offset(2)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), &
                                                      file(*), device(*), refusal(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, ndevice, nerrmsg, nrefusal
      type(map_options), intent(in) :: options
    end subroutine c_ps_map_2d

    subroutine c_ps_map_2d_r8(x, y, z, comm, offset, log, xlabel, nxlabel, ylabel, nylabel, title, &
                       ntitle, file, nfile, device, ndevice, stat, errmsg, nerrmsg, options, &
                       refusal, nrefusal) bind(C, name='mapplot_mpi_ps_map_2d_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t, map_options
      real(c_double), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), value :: comm
      integer(c_ptrdiff_t), intent(in) :: offset(2)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), &
                                                      file(*), device(*), refusal(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, ndevice, nerrmsg, nrefusal
      type(map_options), intent(in) :: options
    end subroutine c_ps_map_2d_r8

    subroutine c_dat_map(x, y, z, comm, offset, log, xlabel, nxlabel, ylabel, nylabel, title, &
                       ntitle, file, nfile, stat, errmsg, nerrmsg, refusal, nrefusal) &
        bind(C, name='mapplot_mpi_dat_map')
      import :: c_int, c_float, c_char, c_ptrdiff_t
      real(c_float), intent(in) :: x(:), y(:), z(:)
      integer(c_int), value :: comm
      integer(c_ptrdiff_t), intent(in) :: offset(2)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*), &
                                                      refusal(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg, nrefusal
    end subroutine c_dat_map

    subroutine c_dat_map_r8(x, y, z, comm, offset, log, xlabel, nxlabel, ylabel, nylabel, title, &
                       ntitle, file, nfile, stat, errmsg, nerrmsg, refusal, nrefusal) &
        bind(C, name='mapplot_mpi_dat_map_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t
      real(c_double), intent(in) :: x(:), y(:), z(:)
      integer(c_int), value :: comm
      integer(c_ptrdiff_t), intent(in) :: offset(2)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*), &
                                                      refusal(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg, nrefusal
    end subroutine c_dat_map_r8

    subroutine c_dat_map_2d(x, y, z, comm, offset, log, xlabel, nxlabel, ylabel, nylabel, title, &
                       ntitle, file, nfile, stat, errmsg, nerrmsg, refusal, nrefusal) &
        bind(C, name='mapplot_mpi_dat_map_2d')
      import :: c_int, c_float, c_char, c_ptrdiff_t
      real(c_float), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), value :: comm
      integer(c_ptrdiff_t), intent(in) :: offset(2)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*), &
                                                      refusal(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg, nrefusal
    end subroutine c_dat_map_2d

    subroutine c_dat_map_2d_r8(x, y, z, comm, offset, log, xlabel, nxlabel, ylabel, nylabel, title, &
                       ntitle, file, nfile, stat, errmsg, nerrmsg, refusal, nrefusal) &
        bind(C, name='mapplot_mpi_dat_map_2d_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t
      real(c_double), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), value :: comm
      integer(c_ptrdiff_t), intent(in) :: offset(2)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*), &
                                                      refusal(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg, nrefusal
    end subroutine c_dat_map_2d_r8

    subroutine c_nc_map(x, y, z, comm, offset, log, xlabel, nxlabel, ylabel, nylabel, title, &
                       ntitle, file, nfile, stat, errmsg, nerrmsg, refusal, nrefusal) &
        bind(C, name='mapplot_mpi_nc_map')
      import :: c_int, c_float, c_char, c_ptrdiff_t
      real(c_float), intent(in) :: x(:), y(:), z(:)
      integer(c_int), value :: comm
      integer(c_ptrdiff_t), intent(in) :: offset(2)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*), &
                                                      refusal(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg, nrefusal
    end subroutine c_nc_map

    subroutine c_nc_map_r8(x, y, z, comm, offset, log, xlabel, nxlabel, ylabel, nylabel, title, &
                       ntitle, file, nfile, stat, errmsg, nerrmsg, refusal, nrefusal) &
        bind(C, name='mapplot_mpi_nc_map_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t
      real(c_double), intent(in) :: x(:), y(:), z(:)
      integer(c_int), value :: comm
      integer(c_ptrdiff_t), intent(in) :: offset(2)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*), &
                                                      refusal(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg, nrefusal
    end subroutine c_nc_map_r8

    subroutine c_nc_map_2d(x, y, z, comm, offset, log, xlabel, nxlabel, ylabel, nylabel, title, &
                       ntitle, file, nfile, stat, errmsg, nerrmsg, refusal, nrefusal) &
        bind(C, name='mapplot_mpi_nc_map_2d')
      import :: c_int, c_float, c_char, c_ptrdiff_t
      real(c_float), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), value :: comm
      integer(c_ptrdiff_t), intent(in) :: offset(2)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*), &
                                                      refusal(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg, nrefusal
    end subroutine c_nc_map_2d

    subroutine c_nc_map_2d_r8(x, y, z, comm, offset, log, xlabel, nxlabel, ylabel, nylabel, title, &
                       ntitle, file, nfile, stat, errmsg, nerrmsg, refusal, nrefusal) &
        bind(C, name='mapplot_mpi_nc_map_2d_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t
      real(c_double), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), value :: comm
      integer(c_ptrdiff_t), intent(in) :: offset(2)
      integer(c_int), intent(in), optional :: log
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*), file(*), &
                                                      refusal(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nfile, nerrmsg, nrefusal
    end subroutine c_nc_map_2d_r8
  end interface

contains

  ! --- The communicator and the offset ---

  ! The communicator's handle as the C entry points take it (MPI_Fint).
  pure integer(c_int) function handle_of(comm)
    type(MPI_Comm), intent(in) :: comm
    handle_of = int(comm%MPI_VAL, c_int)
  end function handle_of

  ! The one-based offset as the zero-based first cell the C entry points
  ! take; anything but two integers is refused, as the other arguments are.
  subroutine take_offset(a, offset, first)
    type(call_arguments), intent(inout) :: a
    class(*), intent(in) :: offset(:)
    integer(c_ptrdiff_t), intent(out) :: first(2)
    logical :: integers
    first = 0
    integers = .true.
    select type (offset)
    type is (integer(int8))
      if (size(offset) == 2) first = int(offset, c_ptrdiff_t) - 1
    type is (integer(int16))
      if (size(offset) == 2) first = int(offset, c_ptrdiff_t) - 1
    type is (integer(int32))
      if (size(offset) == 2) first = int(offset, c_ptrdiff_t) - 1
    type is (integer(int64))
      if (size(offset) == 2) first = int(offset, c_ptrdiff_t) - 1
    class default
      integers = .false.
    end select
    if (allocated(a%refusal)) return
    if (.not. integers .or. size(offset) /= 2) a%refusal = 'Argument offset must be two integers'
  end subroutine take_offset

  ! --- PostScript map ---

  subroutine ps_map_mpi(x, y, z, comm, offset, log, xlabel, ylabel, title, file, device, stat, &
                        errmsg, palette, levels, red, green, blue, zmin, zmax, nan_colour, under, &
                        over, zcentre, zlabel, aspect, pixels, contours, ncontours, &
                        contour_colour, contour_labels, page)
    real(c_float), intent(in) :: x(:), y(:), z(:)
    type(MPI_Comm), intent(in) :: comm
    class(*), intent(in) :: offset(:)
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
    class(*), intent(in), optional, target :: contours(:), ncontours, contour_colour(:)
    class(*), intent(in), optional :: contour_labels
    type(map_page), intent(in), optional :: page
    type(call_arguments) :: a
    integer(c_ptrdiff_t) :: first(2)
    call take_arguments(a, stat, log, palette=palette, levels=levels, red=red, green=green, &
                        blue=blue, zmin=zmin, zmax=zmax, nan_colour=nan_colour, under=under, &
                        over=over, zcentre=zcentre, zlabel=zlabel, aspect=aspect, pixels=pixels, &
                        contours=contours, ncontours=ncontours, &
                        contour_colour=contour_colour, contour_labels=contour_labels, page=page)
    call take_offset(a, offset, first)
    call c_ps_map(x, y, z, handle_of(comm), first, a%log, xlabel, length_of(xlabel), ylabel, &
                  length_of(ylabel), title, length_of(title), file, length_of(file), device, &
                  length_of(device), a%stat, errmsg, length_of(errmsg), a%options, a%refusal, &
                  length_of(a%refusal))
    call give_stat(a, stat)
  end subroutine ps_map_mpi

  subroutine ps_map_r8_mpi(x, y, z, comm, offset, log, xlabel, ylabel, title, file, device, stat, &
                        errmsg, palette, levels, red, green, blue, zmin, zmax, nan_colour, under, &
                        over, zcentre, zlabel, aspect, pixels, contours, ncontours, &
                        contour_colour, contour_labels, page)
    real(c_double), intent(in) :: x(:), y(:), z(:)
    type(MPI_Comm), intent(in) :: comm
    class(*), intent(in) :: offset(:)
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
    class(*), intent(in), optional, target :: contours(:), ncontours, contour_colour(:)
    class(*), intent(in), optional :: contour_labels
    type(map_page), intent(in), optional :: page
    type(call_arguments) :: a
    integer(c_ptrdiff_t) :: first(2)
    call take_arguments(a, stat, log, palette=palette, levels=levels, red=red, green=green, &
                        blue=blue, zmin=zmin, zmax=zmax, nan_colour=nan_colour, under=under, &
                        over=over, zcentre=zcentre, zlabel=zlabel, aspect=aspect, pixels=pixels, &
                        contours=contours, ncontours=ncontours, &
                        contour_colour=contour_colour, contour_labels=contour_labels, page=page)
    call take_offset(a, offset, first)
    call c_ps_map_r8(x, y, z, handle_of(comm), first, a%log, xlabel, length_of(xlabel), ylabel, &
                  length_of(ylabel), title, length_of(title), file, length_of(file), device, &
                  length_of(device), a%stat, errmsg, length_of(errmsg), a%options, a%refusal, &
                  length_of(a%refusal))
    call give_stat(a, stat)
  end subroutine ps_map_r8_mpi

  subroutine ps_map_2d_mpi(x, y, z, comm, offset, log, xlabel, ylabel, title, file, device, stat, &
                        errmsg, palette, levels, red, green, blue, zmin, zmax, nan_colour, under, &
                        over, zcentre, zlabel, aspect, pixels, contours, ncontours, &
                        contour_colour, contour_labels, page)
    real(c_float), intent(in) :: x(:), y(:), z(:, :)
    type(MPI_Comm), intent(in) :: comm
    class(*), intent(in) :: offset(:)
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
    class(*), intent(in), optional, target :: contours(:), ncontours, contour_colour(:)
    class(*), intent(in), optional :: contour_labels
    type(map_page), intent(in), optional :: page
    type(call_arguments) :: a
    integer(c_ptrdiff_t) :: first(2)
    call take_arguments(a, stat, log, palette=palette, levels=levels, red=red, green=green, &
                        blue=blue, zmin=zmin, zmax=zmax, nan_colour=nan_colour, under=under, &
                        over=over, zcentre=zcentre, zlabel=zlabel, aspect=aspect, pixels=pixels, &
                        contours=contours, ncontours=ncontours, &
                        contour_colour=contour_colour, contour_labels=contour_labels, page=page)
    call take_offset(a, offset, first)
    call c_ps_map_2d(x, y, z, handle_of(comm), first, a%log, xlabel, length_of(xlabel), ylabel, &
                  length_of(ylabel), title, length_of(title), file, length_of(file), device, &
                  length_of(device), a%stat, errmsg, length_of(errmsg), a%options, a%refusal, &
                  length_of(a%refusal))
    call give_stat(a, stat)
  end subroutine ps_map_2d_mpi

  subroutine ps_map_2d_r8_mpi(x, y, z, comm, offset, log, xlabel, ylabel, title, file, device, stat, &
                        errmsg, palette, levels, red, green, blue, zmin, zmax, nan_colour, under, &
                        over, zcentre, zlabel, aspect, pixels, contours, ncontours, &
                        contour_colour, contour_labels, page)
    real(c_double), intent(in) :: x(:), y(:), z(:, :)
    type(MPI_Comm), intent(in) :: comm
    class(*), intent(in) :: offset(:)
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
    class(*), intent(in), optional, target :: contours(:), ncontours, contour_colour(:)
    class(*), intent(in), optional :: contour_labels
    type(map_page), intent(in), optional :: page
    type(call_arguments) :: a
    integer(c_ptrdiff_t) :: first(2)
    call take_arguments(a, stat, log, palette=palette, levels=levels, red=red, green=green, &
                        blue=blue, zmin=zmin, zmax=zmax, nan_colour=nan_colour, under=under, &
                        over=over, zcentre=zcentre, zlabel=zlabel, aspect=aspect, pixels=pixels, &
                        contours=contours, ncontours=ncontours, &
                        contour_colour=contour_colour, contour_labels=contour_labels, page=page)
    call take_offset(a, offset, first)
    call c_ps_map_2d_r8(x, y, z, handle_of(comm), first, a%log, xlabel, length_of(xlabel), ylabel, &
                  length_of(ylabel), title, length_of(title), file, length_of(file), device, &
                  length_of(device), a%stat, errmsg, length_of(errmsg), a%options, a%refusal, &
                  length_of(a%refusal))
    call give_stat(a, stat)
  end subroutine ps_map_2d_r8_mpi

  ! --- Data export ---

  subroutine dat_map_mpi(x, y, z, comm, offset, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_float), intent(in) :: x(:), y(:), z(:)
    type(MPI_Comm), intent(in) :: comm
    class(*), intent(in) :: offset(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    integer(c_ptrdiff_t) :: first(2)
    call take_arguments(a, stat, log)
    call take_offset(a, offset, first)
    call c_dat_map(x, y, z, handle_of(comm), first, a%log, xlabel, length_of(xlabel), ylabel, &
                  length_of(ylabel), title, length_of(title), file, length_of(file), a%stat, &
                  errmsg, length_of(errmsg), a%refusal, length_of(a%refusal))
    call give_stat(a, stat)
  end subroutine dat_map_mpi

  subroutine dat_map_r8_mpi(x, y, z, comm, offset, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_double), intent(in) :: x(:), y(:), z(:)
    type(MPI_Comm), intent(in) :: comm
    class(*), intent(in) :: offset(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    integer(c_ptrdiff_t) :: first(2)
    call take_arguments(a, stat, log)
    call take_offset(a, offset, first)
    call c_dat_map_r8(x, y, z, handle_of(comm), first, a%log, xlabel, length_of(xlabel), ylabel, &
                  length_of(ylabel), title, length_of(title), file, length_of(file), a%stat, &
                  errmsg, length_of(errmsg), a%refusal, length_of(a%refusal))
    call give_stat(a, stat)
  end subroutine dat_map_r8_mpi

  subroutine dat_map_2d_mpi(x, y, z, comm, offset, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_float), intent(in) :: x(:), y(:), z(:, :)
    type(MPI_Comm), intent(in) :: comm
    class(*), intent(in) :: offset(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    integer(c_ptrdiff_t) :: first(2)
    call take_arguments(a, stat, log)
    call take_offset(a, offset, first)
    call c_dat_map_2d(x, y, z, handle_of(comm), first, a%log, xlabel, length_of(xlabel), ylabel, &
                  length_of(ylabel), title, length_of(title), file, length_of(file), a%stat, &
                  errmsg, length_of(errmsg), a%refusal, length_of(a%refusal))
    call give_stat(a, stat)
  end subroutine dat_map_2d_mpi

  subroutine dat_map_2d_r8_mpi(x, y, z, comm, offset, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_double), intent(in) :: x(:), y(:), z(:, :)
    type(MPI_Comm), intent(in) :: comm
    class(*), intent(in) :: offset(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    integer(c_ptrdiff_t) :: first(2)
    call take_arguments(a, stat, log)
    call take_offset(a, offset, first)
    call c_dat_map_2d_r8(x, y, z, handle_of(comm), first, a%log, xlabel, length_of(xlabel), ylabel, &
                  length_of(ylabel), title, length_of(title), file, length_of(file), a%stat, &
                  errmsg, length_of(errmsg), a%refusal, length_of(a%refusal))
    call give_stat(a, stat)
  end subroutine dat_map_2d_r8_mpi

  ! --- NetCDF map file ---

  subroutine nc_map_mpi(x, y, z, comm, offset, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_float), intent(in) :: x(:), y(:), z(:)
    type(MPI_Comm), intent(in) :: comm
    class(*), intent(in) :: offset(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    integer(c_ptrdiff_t) :: first(2)
    call take_arguments(a, stat, log)
    call take_offset(a, offset, first)
    call c_nc_map(x, y, z, handle_of(comm), first, a%log, xlabel, length_of(xlabel), ylabel, &
                  length_of(ylabel), title, length_of(title), file, length_of(file), a%stat, &
                  errmsg, length_of(errmsg), a%refusal, length_of(a%refusal))
    call give_stat(a, stat)
  end subroutine nc_map_mpi

  subroutine nc_map_r8_mpi(x, y, z, comm, offset, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_double), intent(in) :: x(:), y(:), z(:)
    type(MPI_Comm), intent(in) :: comm
    class(*), intent(in) :: offset(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    integer(c_ptrdiff_t) :: first(2)
    call take_arguments(a, stat, log)
    call take_offset(a, offset, first)
    call c_nc_map_r8(x, y, z, handle_of(comm), first, a%log, xlabel, length_of(xlabel), ylabel, &
                  length_of(ylabel), title, length_of(title), file, length_of(file), a%stat, &
                  errmsg, length_of(errmsg), a%refusal, length_of(a%refusal))
    call give_stat(a, stat)
  end subroutine nc_map_r8_mpi

  subroutine nc_map_2d_mpi(x, y, z, comm, offset, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_float), intent(in) :: x(:), y(:), z(:, :)
    type(MPI_Comm), intent(in) :: comm
    class(*), intent(in) :: offset(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    integer(c_ptrdiff_t) :: first(2)
    call take_arguments(a, stat, log)
    call take_offset(a, offset, first)
    call c_nc_map_2d(x, y, z, handle_of(comm), first, a%log, xlabel, length_of(xlabel), ylabel, &
                  length_of(ylabel), title, length_of(title), file, length_of(file), a%stat, &
                  errmsg, length_of(errmsg), a%refusal, length_of(a%refusal))
    call give_stat(a, stat)
  end subroutine nc_map_2d_mpi

  subroutine nc_map_2d_r8_mpi(x, y, z, comm, offset, log, xlabel, ylabel, title, file, stat, errmsg)
    real(c_double), intent(in) :: x(:), y(:), z(:, :)
    type(MPI_Comm), intent(in) :: comm
    class(*), intent(in) :: offset(:)
    class(*), intent(in), optional :: log
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title, file
    type(call_arguments) :: a
    integer(c_ptrdiff_t) :: first(2)
    call take_arguments(a, stat, log)
    call take_offset(a, offset, first)
    call c_nc_map_2d_r8(x, y, z, handle_of(comm), first, a%log, xlabel, length_of(xlabel), ylabel, &
                  length_of(ylabel), title, length_of(title), file, length_of(file), a%stat, &
                  errmsg, length_of(errmsg), a%refusal, length_of(a%refusal))
    call give_stat(a, stat)
  end subroutine nc_map_2d_r8_mpi

end module mapplot_mpi
