! Writes out what the Fortran run-time holds for the program's units, for the
! C entry layer to call before a console record (standard output alone) and
! before the program ends (every unit numbered 0 and up). Compiled apart from
! the module, and preprocessed: FLUSH with no unit, GNU Fortran's way to
! reach every unit (but the negative numbers of NEWUNIT), is no standard
! Fortran, and other compilers' run-time libraries fail on it; with them
! each open unit of the numbers 0 to 9999 is flushed by name.
subroutine mapplot_flush_units(every_unit) bind(C, name='mapplot_flush_units')
  use, intrinsic :: iso_c_binding, only: c_int
  use, intrinsic :: iso_fortran_env, only: output_unit
  implicit none
  integer(c_int), value :: every_unit
#ifndef __GFORTRAN__
  integer :: unit
  logical :: opened
#endif

  if (every_unit == 0) then
    flush (output_unit)
  else
#ifdef __GFORTRAN__
    call flush()
#else
    do unit = 0, 9999
      inquire (unit=unit, opened=opened)
      if (opened) flush (unit)
    end do
#endif
  end if
end subroutine mapplot_flush_units
