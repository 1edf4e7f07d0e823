! What the modules mapplot_files and mapplot share in passing their
! arguments to the C entry points; no part of their interface.
!
! The named options both maps take (the keywords after stat and errmsg:
! palette, levels, red, green, blue, zmin, zmax, nan_colour, under, over,
! zcentre, zlabel, the PostScript map's aspect and pixels, and the screen
! map's record and fps) travel to the
! C entry points as one argument, type(map_options), which the C++ code reads
! member for member (map_options.h: MapOptionArguments, laid out alike), with
! where each lies in the caller's storage and the kind of its elements,
! nothing copied; one that is absent keeps its member's default: a null
! address, and a length or size of -1. Those dummy arguments have the TARGET
! attribute, so that the addresses stay good for the whole call into the C
! entry point.
!
! The scalar options log, size, own_window and continuation and stat come
! as class(*): an integer of any kind or a logical of any kind, resolved
! here into the C int the entry points take (an integer: its value, or one
! of the same sign and lowest bit where it does not fit; a logical: 1 or 0).
! Each routine of the maps takes its arguments in a call_arguments,
!   call take_arguments(a, stat, log, palette=palette, ...)
!   if (refused(a, stat, errmsg)) return
!   call c_...(..., a%log, ..., a%stat, errmsg, length_of(errmsg), a%options)
!   call give_stat(a, stat)
! an absent one leaving its member unallocated, which passes on as absent.
! An argument of a type the routine does not take is refused before the
! call: a fatal error naming it (stat mapplot_fatal_error and errmsg with
! stat, the program's end with the message without).
!
! Another named option: its member in type(map_options) (type(text_option)
! for a text, type(vector_option) for a real or a vector) and at the same
! place in MapOptionArguments (map_options.h), its keyword in
! take_arguments, set there with text_of, take_real, take_reals or
! take_integers, and passed on by keyword from each routine of the maps.
module mapplot_internal
  use, intrinsic :: iso_c_binding, only: c_ptrdiff_t, c_float, c_double, c_char, c_ptr, &
                                         c_null_ptr, c_loc, c_int, c_bool
  use, intrinsic :: iso_fortran_env, only: int8, int16, int32, int64
  implicit none
  private
  public :: length_of, map_options, call_arguments, take_arguments, refused, give_stat, map_page

  ! The kinds of logical that gfortran and flang have besides c_bool (1).
  integer, parameter :: logical2 = 2, logical4 = 4, logical8 = 8

  ! A text: its characters and its length; a length of -1 when it is absent,
  ! 0 (and no address) when it is empty.
  type, bind(C) :: text_option
    type(c_ptr) :: chars = c_null_ptr
    integer(c_ptrdiff_t) :: length = -1
  end type text_option

  ! A vector of reals or integers of kind 4 or 8, of any stride: the
  ! addresses of its first and second elements (null where it has none), its
  ! size (-1 when it is absent) and its kind, the bytes of an element.
  type, bind(C) :: vector_option
    type(c_ptr) :: first = c_null_ptr
    type(c_ptr) :: second = c_null_ptr
    integer(c_ptrdiff_t) :: size = -1
    integer(c_int) :: kind = 0
  end type vector_option

  ! The named options of both maps; each absent until set. zmin, zmax and
  ! zcentre are reals as vectors of one; levels ... over reals, pixels
  ! integers (width, height); contours and contour_colour reals, ncontours
  ! an integer as a vector of one; contour_labels a truth value as a C int
  ! (0 when absent, drawn alike); page the page of a PostScript map.
  type, bind(C) :: map_options
    type(text_option) :: palette
    type(vector_option) :: levels, red, green, blue
    type(vector_option) :: zmin, zmax
    type(vector_option) :: nan_colour, under, over
    type(vector_option) :: zcentre
    type(text_option) :: zlabel, aspect
    type(vector_option) :: pixels
    ! The screen map's film: its file and its frames a second (a real).
    type(text_option) :: record
    type(vector_option) :: fps
    type(vector_option) :: contours, ncontours, contour_colour
    integer(c_int) :: contour_labels = 0
    type(c_ptr) :: page = c_null_ptr
  end type map_options

  ! A page of panels of PostScript maps (page_open, page_close): the C++
  ! page it stands for, null while none is open.
  type, bind(C) :: map_page
    type(c_ptr) :: handle = c_null_ptr
  end type map_page

  interface
    ! Ends the program with a fatal error's message (files_entry.cpp).
    subroutine c_fatal_error(message, nmessage) bind(C, name='mapplot_fatal_error')
      import :: c_char, c_ptrdiff_t
      character(kind=c_char), intent(in) :: message(*)
      integer(c_ptrdiff_t), value :: nmessage
    end subroutine c_fatal_error
  end interface

  ! A call's arguments as the C entry points take them; refusal holds the
  ! message for an argument of a type the routine does not take.
  type :: call_arguments
    integer(c_int), allocatable :: log, size, own_window, continuation, stat
    type(map_options) :: options
    character(len=:), allocatable :: refusal
  end type call_arguments

contains

  ! The length of a text for the C entry points; -1 when it is absent.
  pure integer(c_ptrdiff_t) function length_of(text)
    character(len=*), intent(in), optional :: text
    length_of = -1
    if (present(text)) length_of = len(text)
  end function length_of

  ! The arguments of a call into a: the scalar options as C ints, stat
  ! allocated when present, the named options into a%options.
  subroutine take_arguments(a, stat, log, size, own_window, continuation, palette, levels, red, &
                            green, blue, zmin, zmax, nan_colour, under, over, zcentre, zlabel, &
                            aspect, pixels, record, fps, contours, ncontours, contour_colour, &
                            contour_labels, page)
    type(call_arguments), intent(inout) :: a
    class(*), optional :: stat
    class(*), intent(in), optional :: log, size, own_window, continuation
    character(len=*), intent(in), optional, target :: palette, zlabel, aspect
    class(*), intent(in), optional, target :: levels(:), red(:), green(:), blue(:)
    class(*), intent(in), optional, target :: zmin, zmax, zcentre
    class(*), intent(in), optional, target :: nan_colour(:), under(:), over(:)
    class(*), intent(in), optional, target :: pixels(:)
    character(len=*), intent(in), optional, target :: record
    class(*), intent(in), optional, target :: fps
    class(*), intent(in), optional, target :: contours(:), ncontours, contour_colour(:)
    class(*), intent(in), optional :: contour_labels
    type(map_page), intent(in), optional :: page
    integer(c_int), allocatable :: labels
    if (present(stat)) then
      select type (stat)
      type is (integer(int8))
      type is (integer(int16))
      type is (integer(int32))
      type is (integer(int64))
      class default
        call refuse(a, 'stat', 'an integer')
      end select
      if (.not. allocated(a%refusal)) allocate (a%stat, source=0_c_int)
    end if
    call take_int(a, log, 'log', a%log)
    call take_int(a, size, 'size', a%size)
    call take_int(a, own_window, 'own_window', a%own_window)
    call take_int(a, continuation, 'continuation', a%continuation)
    if (present(palette)) a%options%palette = text_of(palette)
    if (present(zlabel)) a%options%zlabel = text_of(zlabel)
    if (present(aspect)) a%options%aspect = text_of(aspect)
    call take_reals(a, levels, 'levels', a%options%levels)
    call take_reals(a, red, 'red', a%options%red)
    call take_reals(a, green, 'green', a%options%green)
    call take_reals(a, blue, 'blue', a%options%blue)
    call take_real(a, zmin, 'zmin', a%options%zmin)
    call take_real(a, zmax, 'zmax', a%options%zmax)
    call take_real(a, zcentre, 'zcentre', a%options%zcentre)
    call take_reals(a, nan_colour, 'nan_colour', a%options%nan_colour)
    call take_reals(a, under, 'under', a%options%under)
    call take_reals(a, over, 'over', a%options%over)
    call take_integers(a, pixels, 'pixels', a%options%pixels)
    if (present(record)) a%options%record = text_of(record)
    call take_real(a, fps, 'fps', a%options%fps)
    call take_reals(a, contours, 'contours', a%options%contours)
    call take_integer(a, ncontours, 'ncontours', a%options%ncontours)
    call take_reals(a, contour_colour, 'contour_colour', a%options%contour_colour)
    call take_int(a, contour_labels, 'contour_labels', labels)
    if (allocated(labels)) a%options%contour_labels = labels
    if (present(page)) a%options%page = page%handle
  end subroutine take_arguments

  ! Whether an argument was refused; then with stat: stat is the fatal error
  ! (1), errmsg the message; without: the program ends with the message, as
  ! after the C++ routines' fatal errors.
  logical function refused(a, stat, errmsg)
    type(call_arguments), intent(in) :: a
    class(*), optional :: stat
    character(len=*), intent(inout), optional :: errmsg
    refused = allocated(a%refusal)
    if (.not. refused) return
    if (.not. present(stat) .or. .not. allocated(a%stat)) then
      call c_fatal_error(a%refusal, length_of(a%refusal))  ! does not return
      return
    end if
    call give(stat, 1_c_int)
    if (present(errmsg)) errmsg = a%refusal
  end function refused

  ! stat as the C entry point left it, in the caller's kind.
  subroutine give_stat(a, stat)
    type(call_arguments), intent(in) :: a
    class(*), optional :: stat
    if (present(stat) .and. allocated(a%stat)) call give(stat, a%stat)
  end subroutine give_stat

  subroutine give(stat, value)
    class(*) :: stat
    integer(c_int), intent(in) :: value
    select type (stat)
    type is (integer(int8))
      stat = int(value, int8)
    type is (integer(int16))
      stat = int(value, int16)
    type is (integer(int32))
      stat = int(value, int32)
    type is (integer(int64))
      stat = int(value, int64)
    end select
  end subroutine give

  ! The first refusal of a call: "Argument log must be an integer or a logical".
  subroutine refuse(a, name, wanted)
    type(call_arguments), intent(inout) :: a
    character(len=*), intent(in) :: name, wanted
    if (.not. allocated(a%refusal)) a%refusal = 'Argument ' // name // ' must be ' // wanted
  end subroutine refuse

  ! A scalar option of any integer or logical kind as a C int.
  subroutine take_int(a, value, name, into)
    type(call_arguments), intent(inout) :: a
    class(*), intent(in), optional :: value
    character(len=*), intent(in) :: name
    integer(c_int), allocatable, intent(inout) :: into
    if (.not. present(value)) return
    select type (value)
    type is (integer(int8))
      into = int_of(int(value, int64))
    type is (integer(int16))
      into = int_of(int(value, int64))
    type is (integer(int32))
      into = int_of(int(value, int64))
    type is (integer(int64))
      into = int_of(value)
    type is (logical(c_bool))
      into = merge(1_c_int, 0_c_int, value)
    type is (logical(logical2))
      into = merge(1_c_int, 0_c_int, value)
    type is (logical(logical4))
      into = merge(1_c_int, 0_c_int, value)
    type is (logical(logical8))
      into = merge(1_c_int, 0_c_int, value)
    class default
      call refuse(a, name, 'an integer or a logical')
    end select
  end subroutine take_int

  ! An integer as a C int: itself where it fits, else the C int nearest it
  ! of the same lowest bit (the truth value of a flag) and sign.
  pure integer(c_int) function int_of(value)
    integer(int64), intent(in) :: value
    integer(int64), parameter :: most = huge(0_c_int), least = -most - 1
    if (value > most) then
      int_of = int(most - 1 + iand(value, 1_int64), c_int)
    else if (value < least) then
      int_of = int(least + iand(value, 1_int64), c_int)
    else
      int_of = int(value, c_int)
    end if
  end function int_of

  ! A vector of reals of kind 4 or 8, where it lies.
  subroutine take_reals(a, vector, name, into)
    type(call_arguments), intent(inout) :: a
    class(*), intent(in), optional, target :: vector(:)
    character(len=*), intent(in) :: name
    type(vector_option), intent(inout) :: into
    if (.not. present(vector)) return
    into = vector_option(size=size(vector))
    select type (vector)
    type is (real(c_float))
      into%kind = 4
      if (size(vector) > 0) into%first = c_loc(vector(1))
      if (size(vector) > 1) into%second = c_loc(vector(2))
    type is (real(c_double))
      into%kind = 8
      if (size(vector) > 0) into%first = c_loc(vector(1))
      if (size(vector) > 1) into%second = c_loc(vector(2))
    class default
      call refuse(a, name, 'real(4) or real(8)')
    end select
  end subroutine take_reals

  ! A vector of integers of kind 4 or 8, where it lies.
  subroutine take_integers(a, vector, name, into)
    type(call_arguments), intent(inout) :: a
    class(*), intent(in), optional, target :: vector(:)
    character(len=*), intent(in) :: name
    type(vector_option), intent(inout) :: into
    if (.not. present(vector)) return
    into = vector_option(size=size(vector))
    select type (vector)
    type is (integer(int32))
      into%kind = 4
      if (size(vector) > 0) into%first = c_loc(vector(1))
      if (size(vector) > 1) into%second = c_loc(vector(2))
    type is (integer(int64))
      into%kind = 8
      if (size(vector) > 0) into%first = c_loc(vector(1))
      if (size(vector) > 1) into%second = c_loc(vector(2))
    class default
      call refuse(a, name, 'integer(4) or integer(8)')
    end select
  end subroutine take_integers

  ! A real of kind 4 or 8, where it lies, as a vector of one.
  subroutine take_real(a, value, name, into)
    type(call_arguments), intent(inout) :: a
    class(*), intent(in), optional, target :: value
    character(len=*), intent(in) :: name
    type(vector_option), intent(inout) :: into
    if (.not. present(value)) return
    select type (value)
    type is (real(c_float))
      into = vector_option(first=c_loc(value), size=1, kind=4)
    type is (real(c_double))
      into = vector_option(first=c_loc(value), size=1, kind=8)
    class default
      call refuse(a, name, 'real(4) or real(8)')
    end select
  end subroutine take_real

  ! An integer of kind 4 or 8, where it lies, as a vector of one.
  subroutine take_integer(a, value, name, into)
    type(call_arguments), intent(inout) :: a
    class(*), intent(in), optional, target :: value
    character(len=*), intent(in) :: name
    type(vector_option), intent(inout) :: into
    if (.not. present(value)) return
    select type (value)
    type is (integer(int32))
      into = vector_option(first=c_loc(value), size=1, kind=4)
    type is (integer(int64))
      into = vector_option(first=c_loc(value), size=1, kind=8)
    class default
      call refuse(a, name, 'integer(4) or integer(8)')
    end select
  end subroutine take_integer

  type(text_option) function text_of(text)
    character(len=*, kind=c_char), intent(in), target :: text
    text_of = text_option(length=len(text))
    if (len(text) > 0) text_of%chars = c_loc(text)
  end function text_of

end module mapplot_internal
