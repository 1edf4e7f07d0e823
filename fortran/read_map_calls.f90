! read_map from Fortran, for read_map_test.cpp: fortran_read_map reads a file
! with stat and errmsg and keeps what it read; fortran_map_read hands that
! over (arrays in place, texts copied). fortran_read_map_r8 reads a file into
! real(8) arrays, and fortran_map_read_r8 gives where they lie.
module read_map_calls
  use, intrinsic :: iso_c_binding, only: c_int, c_char, c_ptr, c_loc, c_null_ptr, c_ptrdiff_t, &
                                         c_double
  use mapplot_files, only: read_map
  implicit none
  private

  real, allocatable, target, save :: x(:), y(:), z(:, :)
  real(c_double), allocatable, target, save :: x8(:), y8(:), z8(:, :)
  character(len=:), allocatable, save :: xlabel, ylabel, title

contains

  integer(c_int) function fortran_read_map(path, npath, message) bind(C, name='fortran_read_map')
    integer(c_ptrdiff_t), value :: npath
    character(kind=c_char), intent(in) :: path(npath)
    character(kind=c_char), intent(out) :: message(300)
    character(len=npath) :: file
    character(len=300) :: errmsg
    integer :: stat, i

    do i = 1, int(npath)
      file(i:i) = path(i)
    end do
    errmsg = ''
    call read_map(file, x, y, z, xlabel, ylabel, title, stat=stat, errmsg=errmsg)
    do i = 1, 300
      message(i) = errmsg(i:i)
    end do
    fortran_read_map = stat
  end function fortran_read_map

  ! Where the arrays lie and their sizes; the texts into buffers of 200.
  subroutine fortran_map_read(px, nx, py, ny, pz, nz1, nz2, xl, nxl, yl, nyl, t, nt, held) &
      bind(C, name='fortran_map_read')
    type(c_ptr), intent(out) :: px, py, pz
    integer(c_ptrdiff_t), intent(out) :: nx, ny, nz1, nz2, nxl, nyl, nt
    character(kind=c_char), intent(out) :: xl(200), yl(200), t(200)
    integer(c_int), intent(out) :: held

    held = count([allocated_(), allocated(xlabel), allocated(ylabel), allocated(title)])
    px = c_null_ptr
    py = c_null_ptr
    pz = c_null_ptr
    nx = 0
    ny = 0
    nz1 = 0
    nz2 = 0
    nxl = 0
    nyl = 0
    nt = 0
    if (held /= 4) return
    nx = size(x)
    ny = size(y)
    nz1 = size(z, 1)
    nz2 = size(z, 2)
    if (nx > 0) px = c_loc(x)
    if (ny > 0) py = c_loc(y)
    if (nz1 * nz2 > 0) pz = c_loc(z)
    call text_out(xlabel, xl, nxl)
    call text_out(ylabel, yl, nyl)
    call text_out(title, t, nt)
  end subroutine fortran_map_read

  logical function allocated_()
    allocated_ = allocated(x) .and. allocated(y) .and. allocated(z)
  end function allocated_

  subroutine text_out(text, buffer, n)
    character(len=*), intent(in) :: text
    character(kind=c_char), intent(out) :: buffer(200)
    integer(c_ptrdiff_t), intent(out) :: n
    integer :: i
    n = len(text)
    do i = 1, min(len(text), 200)
      buffer(i) = text(i:i)
    end do
  end subroutine text_out

  integer(c_int) function fortran_read_map_r8(path, npath, message) &
      bind(C, name='fortran_read_map_r8')
    integer(c_ptrdiff_t), value :: npath
    character(kind=c_char), intent(in) :: path(npath)
    character(kind=c_char), intent(out) :: message(300)
    character(len=npath) :: file
    character(len=300) :: errmsg
    integer :: stat, i

    do i = 1, int(npath)
      file(i:i) = path(i)
    end do
    errmsg = ''
    call read_map(file, x8, y8, z8, title=title, stat=stat, errmsg=errmsg)
    do i = 1, 300
      message(i) = errmsg(i:i)
    end do
    fortran_read_map_r8 = stat
  end function fortran_read_map_r8

  ! Where the real(8) arrays lie (null when not allocated) and their sizes.
  subroutine fortran_map_read_r8(px, nx, py, ny, pz, nz1, nz2) bind(C, name='fortran_map_read_r8')
    type(c_ptr), intent(out) :: px, py, pz
    integer(c_ptrdiff_t), intent(out) :: nx, ny, nz1, nz2

    px = c_null_ptr
    py = c_null_ptr
    pz = c_null_ptr
    nx = 0
    ny = 0
    nz1 = 0
    nz2 = 0
    if (.not. (allocated(x8) .and. allocated(y8) .and. allocated(z8))) return
    nx = size(x8)
    ny = size(y8)
    nz1 = size(z8, 1)
    nz2 = size(z8, 2)
    if (nx > 0) px = c_loc(x8)
    if (ny > 0) py = c_loc(y8)
    if (nz1 * nz2 > 0) pz = c_loc(z8)
  end subroutine fortran_map_read_r8

end module read_map_calls
