! Writes out what the Fortran run-time holds for the program's units, for the
! C entry layer to call before a console record (standard output alone) and
! before the program ends (every unit numbered 0 and up; GNU Fortran's FLUSH
! does not reach the negative numbers of NEWUNIT). Compiled apart from the
! module: FLUSH with no unit is no standard Fortran.
subroutine mapplot_flush_units(every_unit) bind(C, name='mapplot_flush_units')
  use, intrinsic :: iso_c_binding, only: c_int
  use, intrinsic :: iso_fortran_env, only: output_unit
  implicit none
  integer(c_int), value :: every_unit

  if (every_unit == 0) then
    flush (output_unit)
  else
    call flush()
  end if
end subroutine mapplot_flush_units
