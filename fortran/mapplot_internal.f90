! What the modules mapplot_files and mapplot share in passing their
! arguments to the C entry points; no part of their interface.
!
! The named options both maps take (the keywords after stat and errmsg:
! palette, levels, red, green, blue, zmin, zmax, nan_colour, under, over,
! zcentre, zlabel, and the PostScript map's aspect and pixels) travel to the
! C entry points
! as one argument, type(map_options), which the C++ code reads member for
! member (map_options.h: MapOptionArguments, laid out alike). Each routine of
! the maps fills it from those of its optional arguments that are present,
!   if (present(zmin)) options%zmin = option_of(zmin)
! with where each lies in the caller's storage, nothing copied; one that is
! absent keeps its member's default: a null address, and a length or size
! of -1. Those dummy arguments have the TARGET attribute, so that the
! addresses stay good for the whole call into the C entry point.
module mapplot_internal
  use, intrinsic :: iso_c_binding, only: c_ptrdiff_t, c_float, c_double, c_char, c_ptr, &
                                         c_null_ptr, c_loc, c_int
  implicit none
  private
  public :: length_of, map_options, option_of

  ! A text: its characters and its length; a length of -1 when it is absent,
  ! 0 (and no address) when it is empty.
  type, bind(C) :: text_option
    type(c_ptr) :: chars = c_null_ptr
    integer(c_ptrdiff_t) :: length = -1
  end type text_option

  ! A vector of real(c_float), of any stride: the addresses of its first and
  ! second elements (null where it has none) and its size; a size of -1 when
  ! it is absent.
  type, bind(C) :: vector_option
    type(c_ptr) :: first = c_null_ptr
    type(c_ptr) :: second = c_null_ptr
    integer(c_ptrdiff_t) :: size = -1
  end type vector_option

  ! The named options of both maps; each absent until set. zmin and zmax are
  ! the addresses of reals of the kind of x; nan_colour, under and over
  ! vectors of default reals (red, green, blue).
  type, bind(C) :: map_options
    type(text_option) :: palette
    type(vector_option) :: levels, red, green, blue
    type(c_ptr) :: zmin = c_null_ptr, zmax = c_null_ptr
    type(vector_option) :: nan_colour, under, over
    type(c_ptr) :: zcentre = c_null_ptr
    type(text_option) :: zlabel, aspect
    type(vector_option) :: pixels  ! of default integers: width, height
  end type map_options

  ! The member of map_options for an argument that is present, by its type.
  interface option_of
    module procedure text_of, vector_of, integers_of, real_of, double_of
  end interface option_of

contains

  ! The length of a text for the C entry points; -1 when it is absent.
  pure integer(c_ptrdiff_t) function length_of(text)
    character(len=*), intent(in), optional :: text
    length_of = -1
    if (present(text)) length_of = len(text)
  end function length_of

  type(text_option) function text_of(text)
    character(len=*, kind=c_char), intent(in), target :: text
    text_of = text_option(length=len(text))
    if (len(text) > 0) text_of%chars = c_loc(text)
  end function text_of

  type(vector_option) function vector_of(vector)
    real(c_float), intent(in), target :: vector(:)
    vector_of = vector_option(size=size(vector))
    if (size(vector) > 0) vector_of%first = c_loc(vector(1))
    if (size(vector) > 1) vector_of%second = c_loc(vector(2))
  end function vector_of

  type(vector_option) function integers_of(vector)
    integer(c_int), intent(in), target :: vector(:)
    integers_of = vector_option(size=size(vector))
    if (size(vector) > 0) integers_of%first = c_loc(vector(1))
    if (size(vector) > 1) integers_of%second = c_loc(vector(2))
  end function integers_of

  type(c_ptr) function real_of(value)
    real(c_float), intent(in), target :: value
    real_of = c_loc(value)
  end function real_of

  type(c_ptr) function double_of(value)
    real(c_double), intent(in), target :: value
    double_of = c_loc(value)
  end function double_of

end module mapplot_internal
