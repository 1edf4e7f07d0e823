! mapplot for Fortran programs: z = z(x, y) shown three ways, a data file
! read back, and the windowing runtime that shows screen maps.
!
!   use mapplot
!   call ps_map_2d(x, y, z, title='Spectrum', file='out.ps', device='png')
!
! The sixteen routines, under the library's own names:
!   scr_map, scr_map_r4, scr_map_2d, scr_map_2d_r8   screen map
!   ps_map,  ps_map_r8,  ps_map_2d,  ps_map_2d_r8    PostScript map
!   dat_map, dat_map_r8, dat_map_2d, dat_map_2d_r8   data export
!   nc_map,  nc_map_r8,  nc_map_2d,  nc_map_2d_r8    NetCDF map file
! and read_map. The PostScript map, the data export, the NetCDF map file
! and read_map (real(4) or real(8) arrays) come from
! the module mapplot_files (mapplot_files.f90), which this one passes on: a
! program that uses mapplot_files alone links no window system (Qt).
! The base forms scr_map (double precision) and ps_map, dat_map (single
! precision) take a flat z, x index fastest; _r4 and _r8 name the other
! precision, _2d a matrix z whose first index runs along x.
!
! x, y and z are assumed-shape arrays: any bounds and any section (z(::2, :),
! x(n:1:-1)) are read where they lie, never copied to be passed on. The
! compiler copies two kinds before the call reaches the module: a section with
! a vector subscript, z(idx), and a component of an array of derived type,
! pairs%a (gfortran passes it to a routine that is not bind(C) only packed;
! the routines below cannot be bind(C), see the C entry points). Every
! argument after z is optional, by position or by keyword, in this order:
!   log, xlabel, ylabel, title, then size, own_window, continuation (screen
!   map), file, device (PostScript map) or file (data export, NetCDF map
!   file); then stat and
!   errmsg, which turn a fatal error into a status as in Fortran's own
!   statements: stat is mapplot_fatal_error (1) after a fatal error and
!   mapplot_no_file_written (2) after a PostScript map that wrote no file
!   (see mapplot_files.f90).
! The screen map and the PostScript map take the colour keywords after
! these, by name only: palette (a built-in colour table by name: grey, heat,
! rainbow, viridis, magma, cividis, coolwarm, RdBu, each also reversed by
! "_r", in either case), or a table of one's own as the four arrays PGCTAB
! takes (levels, red, green, blue: reals from 0 to 1, all of one size),
! and zmin, zmax (the values drawn in the table's end colours), nan_colour,
! under, over (red, green and blue from 0 to 1: the colours of values that
! are not numbers and of values below zmin and above zmax; one not of three
! elements gives a warning and the default), zcentre (without zmin and
! zmax, the range symmetric around it) and zlabel (a text beside the wedge,
! or under the z lines of the screen map's text column); the PostScript map
! also aspect ('equal' or 'auto') and pixels (two integers: a PNG picture's
! width and height). Each real option is real(4) or real(8), whatever the
! kind of x, each of its own; pixels is integer(4) or integer(8). They
! work as the C++ options of the same names (maparg/palette.h,
! mapps/ps_map.h).
! Texts are of any length; labels and titles are held in 80-character fields,
! file names and device types are used whole. An absent text gives the
! default, a present one replaces it even when empty. log, size,
! own_window, continuation and stat are integers of any kind (1, 2, 4, 8);
! log and the flags own_window and continuation, of which only the lowest
! bit counts for the truth values (true is -1), may also be logicals of any
! kind (c_bool, default, ...). An argument of another type is a fatal error
! naming it ("Argument log must be an integer or a logical").
!
! scr_map alone changes an argument: it rescales its z in place to grey
! levels 0 .. 255, so its z is intent(inout); a z whose elements do not follow
! one another is rescaled in a packed copy whose levels then go back into the
! caller's elements. The other forms work on copies.
!
! The generic names screen_map, postscript_map, data_export and
! netcdf_export choose the
! form from the kind of x and the rank of z; screen_map on double precision
! and a flat z is scr_map, which rescales z.
!
! A program that shows screen maps runs its work under the windowing runtime
! (a screen map outside it is a fatal error, "scr_map needs the windowing
! runtime: call it from the routine run_program runs", unless own_window
! has its lowest bit set and the map is painted off screen, into a surface
! of its own):
!   call run_program('zoom', zoom)     ! integer function zoom() returns the exit code
! runs zoom on a worker thread while the first thread runs the windows, and
! ends the program with zoom's exit code (it does not return); STOP and ERROR
! STOP in zoom end it at once with their code. Whatever ends it, the units
! numbered 0 and up are written out first. console_line writes one line to the
! console window and to standard output, after what the program printed.
module mapplot
  use, intrinsic :: iso_c_binding, only: c_int, c_float, c_double, c_char, c_ptrdiff_t, &
                                         c_funptr, c_funloc
  use mapplot_internal, only: length_of, map_options, call_arguments, take_arguments, refused, &
                              give_stat
  use mapplot_files
  implicit none
  private

  public :: scr_map, scr_map_r4, scr_map_2d, scr_map_2d_r8
  public :: ps_map, ps_map_r8, ps_map_2d, ps_map_2d_r8
  public :: dat_map, dat_map_r8, dat_map_2d, dat_map_2d_r8
  public :: nc_map, nc_map_r8, nc_map_2d, nc_map_2d_r8
  public :: screen_map, postscript_map, data_export, netcdf_export, read_map
  public :: run_program, program_routine, console_line
  public :: mapplot_fatal_error, mapplot_no_file_written

  ! One name a rendering, the form chosen by the kind of x and the rank of z.
  interface screen_map
    module procedure scr_map, scr_map_r4, scr_map_2d, scr_map_2d_r8
  end interface screen_map

  ! The routine run_program runs: it returns the program's exit code.
  abstract interface
    integer function program_routine()
    end function program_routine
  end interface

  ! The C entry points (fortran_entry.cpp). Arrays go as descriptors, an
  ! absent integer as a null pointer, a text as its characters and its length
  ! (length_of: -1 when absent), stat and errmsg as in mapplot_files, and the
  ! named options of both maps (palette ... over) as one map_options
  ! (mapplot_internal), last. The module's routines below pass their own
  ! arguments on: gfortran 12 fails (an internal compiler error) on an
  ! optional text, or a section with a vector subscript, passed straight to
  ! a bind(C) interface.
  interface
    subroutine c_scr_map(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, size, &
                         own_window, continuation, stat, errmsg, nerrmsg, options) &
        bind(C, name='mapplot_scr_map')
      import :: c_int, c_double, c_char, c_ptrdiff_t, map_options
      real(c_double), intent(in) :: x(:), y(:)
      real(c_double), intent(inout) :: z(:)
      integer(c_int), intent(in), optional :: log, size, own_window, continuation
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nerrmsg
      type(map_options), intent(in) :: options
    end subroutine c_scr_map

    subroutine c_scr_map_r4(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, size, &
                            own_window, continuation, stat, errmsg, nerrmsg, options) &
        bind(C, name='mapplot_scr_map_r4')
      import :: c_int, c_float, c_char, c_ptrdiff_t, map_options
      real(c_float), intent(in) :: x(:), y(:), z(:)
      integer(c_int), intent(in), optional :: log, size, own_window, continuation
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nerrmsg
      type(map_options), intent(in) :: options
    end subroutine c_scr_map_r4

    subroutine c_scr_map_2d(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, size, &
                            own_window, continuation, stat, errmsg, nerrmsg, options) &
        bind(C, name='mapplot_scr_map_2d')
      import :: c_int, c_float, c_char, c_ptrdiff_t, map_options
      real(c_float), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), intent(in), optional :: log, size, own_window, continuation
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nerrmsg
      type(map_options), intent(in) :: options
    end subroutine c_scr_map_2d

    subroutine c_scr_map_2d_r8(x, y, z, log, xlabel, nxlabel, ylabel, nylabel, title, ntitle, &
                               size, own_window, continuation, stat, errmsg, nerrmsg, options) &
        bind(C, name='mapplot_scr_map_2d_r8')
      import :: c_int, c_double, c_char, c_ptrdiff_t, map_options
      real(c_double), intent(in) :: x(:), y(:), z(:, :)
      integer(c_int), intent(in), optional :: log, size, own_window, continuation
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
      character(kind=c_char), intent(in), optional :: xlabel(*), ylabel(*), title(*)
      integer(c_ptrdiff_t), value :: nxlabel, nylabel, ntitle, nerrmsg
      type(map_options), intent(in) :: options
    end subroutine c_scr_map_2d_r8

    subroutine c_console_line(line, nline, stat, errmsg, nerrmsg) &
        bind(C, name='mapplot_console_line')
      import :: c_int, c_char, c_ptrdiff_t
      character(kind=c_char), intent(in) :: line(*)
      integer(c_ptrdiff_t), value :: nline, nerrmsg
      integer(c_int), intent(out), optional :: stat
      character(kind=c_char), intent(inout), optional :: errmsg(*)
    end subroutine c_console_line

    subroutine c_add_argument(argument, nargument) bind(C, name='mapplot_add_argument')
      import :: c_char, c_ptrdiff_t
      character(kind=c_char), intent(in) :: argument(*)
      integer(c_ptrdiff_t), value :: nargument
    end subroutine c_add_argument

    subroutine c_run_program(name, nname, routine) bind(C, name='mapplot_run_program')
      import :: c_char, c_ptrdiff_t, c_funptr
      character(kind=c_char), intent(in) :: name(*)
      integer(c_ptrdiff_t), value :: nname
      type(c_funptr), value :: routine
    end subroutine c_run_program
  end interface

  procedure(program_routine), pointer, save :: routine_to_run => null()

contains

  ! --- Screen map ---

  subroutine scr_map(x, y, z, log, xlabel, ylabel, title, size, own_window, continuation, &
                     stat, errmsg, palette, levels, red, green, blue, zmin, zmax, &
                    nan_colour, under, over, zcentre, zlabel)
    real(c_double), intent(in) :: x(:), y(:)
    real(c_double), intent(inout) :: z(:)
    class(*), intent(in), optional :: log, size, own_window, continuation
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title
    character(len=*), intent(in), optional, target :: palette
    class(*), intent(in), optional, target :: levels(:), red(:), green(:), blue(:)
    class(*), intent(in), optional, target :: zmin, zmax
    class(*), intent(in), optional, target :: nan_colour(:), under(:), over(:)
    class(*), intent(in), optional, target :: zcentre
    character(len=*), intent(in), optional, target :: zlabel
    type(call_arguments) :: a
    call take_arguments(a, stat, log, size=size, own_window=own_window, continuation=continuation, &
                        palette=palette, levels=levels, red=red, green=green, blue=blue, &
                        zmin=zmin, zmax=zmax, nan_colour=nan_colour, under=under, over=over, &
                        zcentre=zcentre, zlabel=zlabel)
    if (refused(a, stat, errmsg)) return
    call c_scr_map(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), title, &
                   length_of(title), a%size, a%own_window, a%continuation, &
                   a%stat, errmsg, length_of(errmsg), a%options)
    call give_stat(a, stat)
  end subroutine scr_map

  subroutine scr_map_r4(x, y, z, log, xlabel, ylabel, title, size, own_window, continuation, &
                        stat, errmsg, palette, levels, red, green, blue, zmin, zmax, &
                    nan_colour, under, over, zcentre, zlabel)
    real(c_float), intent(in) :: x(:), y(:), z(:)
    class(*), intent(in), optional :: log, size, own_window, continuation
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title
    character(len=*), intent(in), optional, target :: palette
    class(*), intent(in), optional, target :: levels(:), red(:), green(:), blue(:)
    class(*), intent(in), optional, target :: zmin, zmax
    class(*), intent(in), optional, target :: nan_colour(:), under(:), over(:)
    class(*), intent(in), optional, target :: zcentre
    character(len=*), intent(in), optional, target :: zlabel
    type(call_arguments) :: a
    call take_arguments(a, stat, log, size=size, own_window=own_window, continuation=continuation, &
                        palette=palette, levels=levels, red=red, green=green, blue=blue, &
                        zmin=zmin, zmax=zmax, nan_colour=nan_colour, under=under, over=over, &
                        zcentre=zcentre, zlabel=zlabel)
    if (refused(a, stat, errmsg)) return
    call c_scr_map_r4(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), &
                      title, length_of(title), a%size, a%own_window, a%continuation, &
                      a%stat, errmsg, length_of(errmsg), a%options)
    call give_stat(a, stat)
  end subroutine scr_map_r4

  subroutine scr_map_2d(x, y, z, log, xlabel, ylabel, title, size, own_window, continuation, &
                        stat, errmsg, palette, levels, red, green, blue, zmin, zmax, &
                    nan_colour, under, over, zcentre, zlabel)
    real(c_float), intent(in) :: x(:), y(:), z(:, :)
    class(*), intent(in), optional :: log, size, own_window, continuation
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title
    character(len=*), intent(in), optional, target :: palette
    class(*), intent(in), optional, target :: levels(:), red(:), green(:), blue(:)
    class(*), intent(in), optional, target :: zmin, zmax
    class(*), intent(in), optional, target :: nan_colour(:), under(:), over(:)
    class(*), intent(in), optional, target :: zcentre
    character(len=*), intent(in), optional, target :: zlabel
    type(call_arguments) :: a
    call take_arguments(a, stat, log, size=size, own_window=own_window, continuation=continuation, &
                        palette=palette, levels=levels, red=red, green=green, blue=blue, &
                        zmin=zmin, zmax=zmax, nan_colour=nan_colour, under=under, over=over, &
                        zcentre=zcentre, zlabel=zlabel)
    if (refused(a, stat, errmsg)) return
    call c_scr_map_2d(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), &
                      title, length_of(title), a%size, a%own_window, a%continuation, &
                      a%stat, errmsg, length_of(errmsg), a%options)
    call give_stat(a, stat)
  end subroutine scr_map_2d

  subroutine scr_map_2d_r8(x, y, z, log, xlabel, ylabel, title, size, own_window, continuation, &
                           stat, errmsg, palette, levels, red, green, blue, zmin, zmax, &
                    nan_colour, under, over, zcentre, zlabel)
    real(c_double), intent(in) :: x(:), y(:), z(:, :)
    class(*), intent(in), optional :: log, size, own_window, continuation
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    character(len=*), intent(in), optional :: xlabel, ylabel, title
    character(len=*), intent(in), optional, target :: palette
    class(*), intent(in), optional, target :: levels(:), red(:), green(:), blue(:)
    class(*), intent(in), optional, target :: zmin, zmax
    class(*), intent(in), optional, target :: nan_colour(:), under(:), over(:)
    class(*), intent(in), optional, target :: zcentre
    character(len=*), intent(in), optional, target :: zlabel
    type(call_arguments) :: a
    call take_arguments(a, stat, log, size=size, own_window=own_window, continuation=continuation, &
                        palette=palette, levels=levels, red=red, green=green, blue=blue, &
                        zmin=zmin, zmax=zmax, nan_colour=nan_colour, under=under, over=over, &
                        zcentre=zcentre, zlabel=zlabel)
    if (refused(a, stat, errmsg)) return
    call c_scr_map_2d_r8(x, y, z, a%log, xlabel, length_of(xlabel), ylabel, length_of(ylabel), &
                         title, length_of(title), a%size, a%own_window, a%continuation, &
                         a%stat, errmsg, length_of(errmsg), a%options)
    call give_stat(a, stat)
  end subroutine scr_map_2d_r8

  ! --- The windowing runtime and the console ---

  ! Runs routine under the windowing runtime (its frame window captioned
  ! with name) and ends the program with routine's exit code; does not
  ! return. A fatal error ends the program with exit code 1, closing the
  ! frame window while routine runs with exit code 2.
  subroutine run_program(name, routine)
    character(len=*), intent(in) :: name
    procedure(program_routine) :: routine
    character(len=:), allocatable :: argument
    integer :: i, length

    routine_to_run => routine
    do i = 0, command_argument_count()
      call get_command_argument(i, length=length)
      allocate (character(len=length) :: argument)
      call get_command_argument(i, argument)
      call c_add_argument(argument, length_of(argument))
      deallocate (argument)
    end do
    call c_run_program(name, length_of(name), c_funloc(call_routine))
  end subroutine run_program

  ! What the runtime's worker thread calls: the Fortran routine.
  integer(c_int) function call_routine() bind(C, name='')
    call_routine = routine_to_run()
  end function call_routine

  ! One line to the console window (and standard output), as given.
  subroutine console_line(line, stat, errmsg)
    character(len=*), intent(in) :: line
    class(*), intent(out), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    type(call_arguments) :: a
    call take_arguments(a, stat)
    if (refused(a, stat, errmsg)) return
    call c_console_line(line, length_of(line), a%stat, errmsg, length_of(errmsg))
    call give_stat(a, stat)
  end subroutine console_line

end module mapplot
