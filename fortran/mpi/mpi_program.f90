! The distributed forms of mapplot_mpi against its one-process forms, for a
! table of block layouts, forms and files, under whatever number of ranks
! mpirun starts: the data file and the PostScript map byte for byte (the
! creation date aside), the NetCDF file value for value; and errors on one
! rank (a value without a logarithm, blocks that do not tile the grid, an
! argument refused) returned in stat on every rank, no file written. Exit
! status 0 when every case passes on every rank.
!
! With the argument "end", one rank's error is instead made without stat,
! for a test that counts the reports and looks at the status.
program mpi_program
  use mpi_f08
  use mapplot_mpi
  use, intrinsic :: iso_fortran_env, only: int64
  implicit none

  integer, parameter :: flat = 1, flat_r8 = 2, matrix = 3, matrix_r8 = 4
  integer, parameter :: along_x = 1, along_y = 2, along_y_reversed = 3, both = 4, &
                        even_ranks_empty = 5
  integer, parameter :: data_file = 1, netcdf_file = 2, postscript = 3
  ! How one rank spoils its call: nothing, a zero under log (the last rank
  ! or rank 0), its block one cell further along x or y, log as a real.
  integer, parameter :: none = 0, zero_last = 1, zero_first = 2, shift_x = 3, shift_y = 4, &
                        real_log = 5

  type :: test_case
    character(len=16) :: name
    integer :: layout, nx, ny, form, routine, log
    character(len=8) :: device
    character(len=24) :: error
    integer :: spoil
  end type test_case

  type(test_case), parameter :: cases(*) = [ &
    test_case('x', along_x, 7, 5, flat, data_file, 0, '', '', none), &
    test_case('y', along_y, 7, 5, flat_r8, data_file, 0, '', '', none), &
    test_case('y_moved', along_y_reversed, 6, 9, matrix, data_file, -1, '', '', none), &
    test_case('both', both, 9, 6, matrix_r8, data_file, 0, '', '', none), &
    test_case('empty_ranks', even_ranks_empty, 8, 3, flat, data_file, 1, '', '', none), &
    test_case('nc_x', along_x, 7, 5, flat, netcdf_file, 0, '', '', none), &
    test_case('nc_y_moved', along_y_reversed, 6, 9, matrix, netcdf_file, 0, '', '', none), &
    test_case('nc_both', both, 9, 6, matrix_r8, netcdf_file, -1, '', '', none), &
    test_case('nc_empty_ranks', even_ranks_empty, 8, 3, flat_r8, netcdf_file, 0, '', '', none), &
    test_case('map_x', along_x, 7, 5, flat, postscript, 0, 'ps', '', none), &
    test_case('map_both', both, 40, 30, matrix_r8, postscript, -1, 'png', '', none), &
    test_case('map_empty', even_ranks_empty, 9, 8, matrix, postscript, 0, 'ps', '', none), &
    test_case('map_y_moved', along_y_reversed, 6, 11, flat_r8, postscript, 0, 'pdf', '', none), &
    ! Errors on one rank, returned on all.
    test_case('log_of_zero', both, 6, 4, flat, data_file, -1, '', 'log10: SING error', zero_last), &
    test_case('nc_log_of_zero', along_y_reversed, 6, 4, matrix, netcdf_file, -1, '', &
              'log10: SING error', zero_first), &
    test_case('map_log_of_zero', both, 6, 4, flat_r8, postscript, -1, 'ps', 'log10: SING error', &
              zero_last), &
    test_case('overlap', along_x, 7, 5, flat_r8, data_file, 0, '', 'do not tile the grid', &
              shift_x), &
    test_case('map_overlap', along_y, 7, 5, matrix, postscript, 0, 'ps', &
              'do not tile the grid', shift_y), &
    test_case('refused', along_x, 7, 5, matrix_r8, data_file, 0, '', 'Argument log must be', &
              real_log)]

  integer :: rank, ranks, k, failures
  character(len=16) :: folder, argument

  call MPI_Init()
  call MPI_Comm_rank(MPI_COMM_WORLD, rank)
  call MPI_Comm_size(MPI_COMM_WORLD, ranks)
  call get_command_argument(1, argument)
  failures = 0
  ! A folder of its own for each run that ctest may start at the same time.
  write (folder, '(a, i0)') trim(merge('end_  ', 'ranks_', argument == 'end')), ranks
  if (rank == 0) call execute_command_line('mkdir -p ' // trim(folder))
  call MPI_Barrier(MPI_COMM_WORLD)

  if (argument == 'end') then
    call end_every_rank()
  else
    do k = 1, ubound(cases, 1)
      call run_case(cases(k))
    end do
    ! Nothing left behind but the files themselves.
    if (rank == 0) then
      call execute_command_line('test -z "$(ls -A ' // trim(folder) // &
                                ' | grep -e ''\.tmp'' -e ''^\.'')"', exitstat=k)
      if (k /= 0) call fail(cases(1), 'a temporary file left behind')
    end if
    call MPI_Allreduce(MPI_IN_PLACE, failures, 1, MPI_INTEGER, MPI_SUM, MPI_COMM_WORLD)
    if (rank == 0) print '(a, " under ", i0, " ranks")', merge('passed', 'FAILED', failures == 0), &
                         ranks
  end if
  call MPI_Finalize()
  if (failures /= 0) stop 1

contains

  ! One case: the one-process file of the whole grid on rank 0, then the
  ! distributed call, then the file against it.
  subroutine run_case(c)
    type(test_case), intent(in) :: c
    integer :: offset(2), nx, ny, stat
    real(8), allocatable :: x(:), y(:), z(:)
    character(len=:), allocatable :: file, expected
    real(8), allocatable :: ex(:), ey(:), ez(:, :)
    character(len=:), allocatable :: labels
    character(len=200) :: errmsg
    logical :: exists

    expected = ''
    select case (c%routine)
    case (data_file)
      file = trim(folder) // '/' // trim(c%name) // '.dat'
    case (netcdf_file)
      file = trim(folder) // '/' // trim(c%name) // '.nc'
    case default
      file = trim(folder) // '/' // trim(c%name) // '.' // trim(c%device)
    end select
    if (rank == 0 .and. len_trim(c%error) == 0) then
      call grid_part(c, [1, 1], c%nx, c%ny, x, y, z)
      call render(c, .false., [1, 1], c%nx, c%ny, x, y, z, file, stat, errmsg)
      if (stat /= 0) then
        call fail(c, 'one-process call: ' // trim(errmsg))
      else if (c%routine == netcdf_file) then
        call read_back(c, file, ex, ey, ez, labels)
      else
        expected = contents(file)
      end if
    end if
    if (rank == 0) call remove(file)
    call MPI_Barrier(MPI_COMM_WORLD)

    call block_of(c%layout, rank, ranks, c%nx, c%ny, offset, nx, ny)
    if (c%spoil == shift_x .and. rank == ranks - 1) offset(1) = offset(1) + 1
    if (c%spoil == shift_y .and. rank == ranks - 1) offset(2) = offset(2) + 1
    call grid_part(c, offset, nx, ny, x, y, z)
    if (c%spoil == zero_last .and. rank == ranks - 1 .and. nx * ny > 0) z(nx * ny) = 0
    if (c%spoil == zero_first .and. rank == 0 .and. nx * ny > 0) z(nx * ny) = 0
    errmsg = ''
    call render(c, .true., offset, nx, ny, x, y, z, file, stat, errmsg)
    if (len_trim(c%error) == 0 .and. stat /= 0) call fail(c, 'stat /= 0: ' // trim(errmsg))
    if (len_trim(c%error) /= 0) then
      if (stat /= mapplot_fatal_error) call fail(c, 'stat not mapplot_fatal_error')
      if (index(errmsg, trim(c%error)) == 0) call fail(c, 'errmsg "' // trim(errmsg) // '"')
    end if
    call MPI_Barrier(MPI_COMM_WORLD)

    if (rank /= 0) return
    inquire (file=file, exist=exists)
    if (len_trim(c%error) /= 0) then
      if (exists) call fail(c, 'a file written after the error')
    else if (.not. exists) then
      call fail(c, 'no file written')
    else if (c%routine == netcdf_file) then
      call compare_netcdf(c, file, ex, ey, ez, labels)
    else if (contents(file) /= expected) then
      call fail(c, 'differs from the one-process file')
    end if
  end subroutine run_case

  ! The case's form of its routine on a block (distributed: every rank's
  ! own, at offset) or on the whole grid (the one-process call); x, y and z
  ! as doubles, z flat with the x index fastest.
  subroutine render(c, distributed, offset, nx, ny, x, y, z, file, stat, errmsg)
    type(test_case), intent(in) :: c
    logical, intent(in) :: distributed
    integer, intent(in) :: offset(2), nx, ny
    real(8), intent(in) :: x(:), y(:), z(:)
    character(len=*), intent(in) :: file
    integer, intent(out) :: stat
    character(len=*), intent(inout) :: errmsg
    real(4), allocatable :: xs(:), ys(:), zs(:), zm(:, :)
    real(8), allocatable :: zdm(:, :)
    class(*), allocatable :: log
    character(len=:), allocatable :: device
    integer :: j

    allocate (xs(size(x)), ys(size(y)), zs(size(z)))
    xs(:) = real(x, 4)
    ys(:) = real(y, 4)
    zs(:) = real(z, 4)
    allocate (zm(nx, ny), zdm(nx, ny))
    do j = 1, ny
      zm(:, j) = zs((j - 1) * nx + 1:j * nx)
      zdm(:, j) = z((j - 1) * nx + 1:j * nx)
    end do
    device = trim(c%device)
    allocate (log, source=c%log)
    if (distributed .and. c%spoil == real_log .and. rank == ranks - 1) then
      deallocate (log)
      allocate (log, source=1.5)
    end if

    select case (c%routine)
    case (data_file)
      if (distributed) then
        select case (c%form)
        case (flat)
          call dat_map(xs, ys, zs, MPI_COMM_WORLD, offset, log, xlabel=' east', title='t', &
                       file=file, stat=stat, errmsg=errmsg)
        case (flat_r8)
          call data_export(x, y, z, MPI_COMM_WORLD, offset, log, ylabel='', file=file, &
                           stat=stat, errmsg=errmsg)
        case (matrix)
          call dat_map_2d(xs, ys, zm, MPI_COMM_WORLD, offset, log, file=file, stat=stat, &
                          errmsg=errmsg)
        case (matrix_r8)
          call data_export(x, y, zdm, MPI_COMM_WORLD, offset, log=log, title=repeat('t', 80), &
                           file=file, stat=stat, errmsg=errmsg)
        end select
      else
        select case (c%form)
        case (flat)
          call dat_map(xs, ys, zs, log, xlabel=' east', title='t', file=file, stat=stat, &
                       errmsg=errmsg)
        case (flat_r8)
          call data_export(x, y, z, log, ylabel='', file=file, stat=stat, errmsg=errmsg)
        case (matrix)
          call dat_map_2d(xs, ys, zm, log, file=file, stat=stat, errmsg=errmsg)
        case (matrix_r8)
          call data_export(x, y, zdm, log=log, title=repeat('t', 80), file=file, stat=stat, &
                           errmsg=errmsg)
        end select
      end if
    case (netcdf_file)
      if (distributed) then
        select case (c%form)
        case (flat)
          call nc_map(xs, ys, zs, MPI_COMM_WORLD, offset, log, xlabel=' lon', file=file, &
                      stat=stat, errmsg=errmsg)
        case (flat_r8)
          call nc_map_r8(x, y, z, MPI_COMM_WORLD, offset, log, file=file, stat=stat, &
                         errmsg=errmsg)
        case (matrix)
          call netcdf_export(xs, ys, zm, MPI_COMM_WORLD, offset, log, ylabel='lat', &
                             file=file, stat=stat, errmsg=errmsg)
        case (matrix_r8)
          call nc_map_2d_r8(x, y, zdm, MPI_COMM_WORLD, offset, log, title='both', file=file, &
                            stat=stat, errmsg=errmsg)
        end select
      else
        select case (c%form)
        case (flat)
          call nc_map(xs, ys, zs, log, xlabel=' lon', file=file, stat=stat, errmsg=errmsg)
        case (flat_r8)
          call nc_map_r8(x, y, z, log, file=file, stat=stat, errmsg=errmsg)
        case (matrix)
          call netcdf_export(xs, ys, zm, log, ylabel='lat', file=file, stat=stat, errmsg=errmsg)
        case (matrix_r8)
          call nc_map_2d_r8(x, y, zdm, log, title='both', file=file, stat=stat, errmsg=errmsg)
        end select
      end if
    case (postscript)
      if (distributed) then
        select case (c%form)
        case (flat)
          call ps_map(xs, ys, zs, MPI_COMM_WORLD, offset, log, file=file, device=device, &
                      stat=stat, errmsg=errmsg)
        case (flat_r8)
          call postscript_map(x, y, z, MPI_COMM_WORLD, offset, log, title='pdf', file=file, &
                              device=device, stat=stat, errmsg=errmsg, zmin=0.5)
        case (matrix)
          call ps_map_2d(xs, ys, zm, MPI_COMM_WORLD, offset, log, file=file, device=device, &
                         stat=stat, errmsg=errmsg, zcentre=0.0, zlabel='z')
        case (matrix_r8)
          call ps_map_2d_r8(x, y, zdm, MPI_COMM_WORLD, offset, log, file=file, device=device, &
                            stat=stat, errmsg=errmsg, palette='viridis')
        end select
      else
        select case (c%form)
        case (flat)
          call ps_map(xs, ys, zs, log, file=file, device=device, stat=stat, errmsg=errmsg)
        case (flat_r8)
          call postscript_map(x, y, z, log, title='pdf', file=file, device=device, stat=stat, &
                              errmsg=errmsg, zmin=0.5)
        case (matrix)
          call ps_map_2d(xs, ys, zm, log, file=file, device=device, stat=stat, errmsg=errmsg, &
                         zcentre=0.0, zlabel='z')
        case (matrix_r8)
          call ps_map_2d_r8(x, y, zdm, log, file=file, device=device, stat=stat, &
                            errmsg=errmsg, palette='viridis')
        end select
      end if
    end select
  end subroutine render

  ! Rank r's block among n ranks of an nx x ny grid: its offset (from 1) and
  ! its extents.
  recursive subroutine block_of(layout, r, n, nx, ny, offset, mx, my)
    integer, intent(in) :: layout, r, n, nx, ny
    integer, intent(out) :: offset(2), mx, my
    integer :: upper, lower, split
    select case (layout)
    case (along_x)
      offset(1) = part(nx, r, n) + 1
      offset(2) = 1
      mx = part(nx, r + 1, n) - part(nx, r, n)
      my = ny
    case (along_y)
      offset(1) = 1
      offset(2) = part(ny, r, n) + 1
      mx = nx
      my = part(ny, r + 1, n) - part(ny, r, n)
    case (along_y_reversed)
      call block_of(along_y, n - 1 - r, n, nx, ny, offset, mx, my)
    case (both)
      ! The upper rows split along x among the first half of the ranks
      ! (rounded up), the lower rows among the others.
      upper = (n + 1) / 2
      lower = n - upper
      split = merge(ny, ny / 2, lower == 0)
      if (r < upper) then
        call block_of(along_x, r, upper, nx, split, offset, mx, my)
      else
        call block_of(along_x, r - upper, lower, nx, ny - split, offset, mx, my)
        offset(2) = split + 1
      end if
    case (even_ranks_empty)
      ! Even ranks (rank 0 among them) hold nothing; one rank holds all.
      if (n == 1) then
        call block_of(along_x, 0, 1, nx, ny, offset, mx, my)
      else if (mod(r, 2) == 0) then
        offset = 99
        mx = 0
        my = 0
      else
        call block_of(along_x, r / 2, n / 2, nx, ny, offset, mx, my)
      end if
    end select
  end subroutine block_of

  integer function part(n, k, parts)
    integer, intent(in) :: n, k, parts
    part = n * k / parts
  end function part

  ! The block of the global field at offset: coordinates and values of many
  ! sizes, positive where the case takes logarithms. Each value is made by
  ! exact steps alone, so that a block's values are the whole grid's bit for
  ! bit however the compiler vectorises the loops (exp and ** of a real
  ! differ in the last place between the vector and the scalar forms).
  subroutine grid_part(c, offset, nx, ny, x, y, z)
    type(test_case), intent(in) :: c
    integer, intent(in) :: offset(2), nx, ny
    real(8), allocatable, intent(out) :: x(:), y(:), z(:)
    integer :: i, j, gi, gj
    allocate (x(nx), y(ny), z(nx * ny))
    do i = 1, nx
      x(i) = 0.5d0 * (offset(1) + i - 2) - 1
    end do
    do j = 1, ny
      y(j) = 1.5d0**(offset(2) + j - 2)
    end do
    do j = 1, ny
      do i = 1, nx
        gi = offset(1) + i - 2
        gj = offset(2) + j - 2
        z(i + (j - 1) * nx) = (mod(7 * gi + 3 * gj, 11) + 1) * 0.37d0 * 8d0**(mod(gi, 5) - mod(gj, 3))
        if (c%log == 0 .and. mod(gi + gj, 3) == 0) z(i + (j - 1) * nx) = -z(i + (j - 1) * nx)
      end do
    end do
  end subroutine grid_part

  ! A file's bytes, the creation date of a PostScript or PDF file (the one
  ! thing that differs between two drawings of one map) blanked.
  function contents(file) result(bytes)
    character(len=*), intent(in) :: file
    character(len=:), allocatable :: bytes
    integer :: unit, n, at, line_end
    open (newunit=unit, file=file, access='stream', form='unformatted', status='old', action='read')
    inquire (unit=unit, size=n)
    allocate (character(len=n) :: bytes)
    if (n > 0) read (unit) bytes
    close (unit)
    at = index(bytes, 'CreationDate')
    if (at == 0) return
    line_end = index(bytes(at:), new_line('a'))
    if (line_end == 0) line_end = n - at + 2
    bytes(at:at + line_end - 2) = repeat(' ', line_end - 1)
  end function contents

  ! A NetCDF file's values (real(8) arrays hold a real(4) file's exactly)
  ! and texts; a real(4) form's file read into real(4) arrays, which a file
  ! of double precision values refuses.
  subroutine read_back(c, file, x, y, z, labels)
    type(test_case), intent(in) :: c
    character(len=*), intent(in) :: file
    real(8), allocatable, intent(out) :: x(:), y(:), z(:, :)
    character(len=:), allocatable, intent(out) :: labels
    real(4), allocatable :: xs(:), ys(:), zs(:, :)
    character(len=:), allocatable :: xlabel, ylabel, title
    character(len=200) :: errmsg
    integer :: stat
    if (c%form == flat_r8 .or. c%form == matrix_r8) then
      call read_map(file, x, y, z, xlabel, ylabel, title, stat=stat, errmsg=errmsg)
    else
      call read_map(file, xs, ys, zs, xlabel, ylabel, title, stat=stat, errmsg=errmsg)
      if (stat == 0) then
        x = xs
        y = ys
        z = zs
      end if
    end if
    if (stat /= 0) then
      call fail(c, 'read back: ' // trim(errmsg))
      allocate (x(0), y(0), z(0, 0))
      labels = ''
      return
    end if
    labels = xlabel // '|' // ylabel // '|' // title
  end subroutine read_back

  subroutine compare_netcdf(c, file, ex, ey, ez, labels)
    type(test_case), intent(in) :: c
    character(len=*), intent(in) :: file
    real(8), intent(in) :: ex(:), ey(:), ez(:, :)
    character(len=*), intent(in) :: labels
    real(8), allocatable :: x(:), y(:), z(:, :)
    character(len=:), allocatable :: got
    call read_back(c, file, x, y, z, got)
    if (got /= labels) call fail(c, 'texts "' // got // '", not "' // labels // '"')
    if (size(x) /= size(ex) .or. size(y) /= size(ey) .or. size(z) /= size(ez)) then
      call fail(c, 'the dimensions differ from the one-process file')
    else if (any(differ(x, ex)) .or. any(differ(y, ey)) .or. any(differ(z, ez))) then
      call fail(c, 'the values differ from the one-process file')
    end if
  end subroutine compare_netcdf

  ! Whether two values differ in any bit.
  elemental logical function differ(a, b)
    real(8), intent(in) :: a, b
    differ = transfer(a, 0_int64) /= transfer(b, 0_int64)
  end function differ

  subroutine remove(file)
    character(len=*), intent(in) :: file
    integer :: unit, iostat
    open (newunit=unit, file=file, status='old', iostat=iostat)
    if (iostat == 0) close (unit, status='delete')
  end subroutine remove

  subroutine fail(c, why)
    type(test_case), intent(in) :: c
    character(len=*), intent(in) :: why
    failures = failures + 1
    write (*, '("rank ", i0, " of ", i0, ", case ", a, ": ", a)') rank, ranks, trim(c%name), why
  end subroutine fail

  ! One rank's value without a logarithm, without stat: every rank ends.
  subroutine end_every_rank()
    type(test_case) :: c
    integer :: offset(2), nx, ny
    real(8), allocatable :: x(:), y(:), z(:)
    c = test_case('end', along_x, 6, 4, flat_r8, data_file, -1, '', '', none)
    call block_of(along_x, rank, ranks, 6, 4, offset, nx, ny)
    call grid_part(c, offset, nx, ny, x, y, z)
    if (rank == ranks - 1) z(nx * ny) = -1
    call dat_map_r8(x, y, z, MPI_COMM_WORLD, offset, log=-1, file=trim(folder) // '/end.dat')
    print '(a, i0)', 'not ended: rank ', rank
  end subroutine end_every_rank

end program mpi_program
