! What the modules mapplot_files and mapplot share in passing their
! arguments to the C entry points; no part of their interface.
module mapplot_internal
  use, intrinsic :: iso_c_binding, only: c_ptrdiff_t
  implicit none
  private
  public :: length_of

contains

  ! The length of a text for the C entry points; -1 when it is absent.
  pure integer(c_ptrdiff_t) function length_of(text)
    character(len=*), intent(in), optional :: text
    length_of = -1
    if (present(text)) length_of = len(text)
  end function length_of

end module mapplot_internal
