! The module's files from several threads at once (OpenMP), run by
! threads_test.sh in an empty folder:
!   fortran_threads_program <rounds>
! First each writer's maps alone, one call at a time: alone<w>.ps (device
! ps), alone<w>.png (device png, in colour) and alone<w>.dat, of values and
! sizes of writer w's own. Then four writers at once, each writing the same
! three maps <rounds> times as w<w>r<r>.ps, .png and .dat (the data file
! read back with read_map), while a fifth
! thread fails in every round: log10 of a zero in the PostScript map and in
! the data export (stat 1, "log10: SING error"), an unknown device type and
! a file in a missing folder (stat 2, the warning's text). Every file of the
! writers must have the bytes of the one written alone (the creation date
! of a PostScript file aside), every stat and errmsg be the call's own.
! Prints one line for each fault and ends with exit code 1 after any,
! else prints "threads: <n> calls as alone".
module thread_calls
  use mapplot_files
  implicit none
  private
  public :: write_maps, failing_calls, same_file, writers

  integer, parameter :: writers = 4

contains

  ! Writer w's three maps into <stem>.ps, <stem>.png and <stem>.dat; the
  ! number of calls whose stat was not 0 or whose errmsg changed.
  integer function write_maps(w, stem) result(faults)
    integer, intent(in) :: w
    character(len=*), intent(in) :: stem
    real, allocatable :: x(:), y(:), z(:, :), xr(:), yr(:), zr(:, :)
    character(len=8) :: title
    character(len=:), allocatable :: title_read
    character(len=100) :: errmsg
    integer :: i, j, stat(4)

    allocate (x(30 + 7 * w), y(20 + 3 * w))
    allocate (z(size(x), size(y)))
    do i = 1, size(x)
      x(i) = real(i) / w
    end do
    do j = 1, size(y)
      y(j) = -real(j) * w
      z(:, j) = sin(x * 0.3 + y(j) * 0.1 * w) + w
    end do
    write (title, '(a, i0)') 'Writer ', w
    errmsg = 'untouched'
    call ps_map_2d(x, y, z, title=title, file=stem//'.ps', stat=stat(1), errmsg=errmsg)
    call ps_map_2d(x, y, z, title=title, file=stem//'.ps', device='png', palette='viridis', &
                   stat=stat(2), errmsg=errmsg)
    call dat_map_2d(x, y, z, title=title, file=stem//'.dat', stat=stat(3), errmsg=errmsg)
    call read_map(stem//'.dat', xr, yr, zr, title=title_read, stat=stat(4), errmsg=errmsg)
    faults = count(stat /= 0)
    if (errmsg /= 'untouched') faults = faults + 1
    if (stat(4) == 0) then
      if (any(shape(zr) /= shape(z)) .or. size(xr) /= size(x) .or. size(yr) /= size(y) .or. &
          title_read /= title) then
        print '(4a)', ' FAIL: ', stem, '.dat read back as ', title_read
        faults = faults + 1
      end if
    end if
    if (faults /= 0) print '(3a, 4i3, 2a)', ' FAIL: ', stem, ': stat', stat, ', errmsg ', trim(errmsg)
  end function write_maps

  ! The calls of the failing thread: each must give its own stat and errmsg
  ! and write no file; the number of those that did not.
  integer function failing_calls() result(faults)
    real :: x(3), y(2), z(3, 2)
    character(len=100) :: errmsg
    character(len=*), parameter :: no_folder = 'Cannot open output file for PostScript plot: '// &
                                               'no/such/folder/failed.ps: No such file or directory'
    integer :: stat

    x = [1., 2., 3.]
    y = [1., 2.]
    z = reshape([1., 2., 3., 4., 5., 0.], [3, 2])  ! a zero: no logarithm
    faults = 0
    errmsg = ''
    call ps_map_2d(x, y, z, log=1, file='failed.ps', stat=stat, errmsg=errmsg)
    call expect(stat, mapplot_fatal_error, errmsg, 'log10: SING error')
    call dat_map_2d(x, y, z, log=1, file='failed.dat', stat=stat, errmsg=errmsg)
    call expect(stat, mapplot_fatal_error, errmsg, 'log10: SING error')
    call ps_map_2d(x, y, z, device='xyz', stat=stat, errmsg=errmsg)
    call expect(stat, mapplot_no_file_written, errmsg, 'Unrecognized device type: xyz')
    call ps_map_2d(x, y, z, file='no/such/folder/failed.ps', stat=stat, errmsg=errmsg)
    call expect(stat, mapplot_no_file_written, errmsg, no_folder)

  contains

    subroutine expect(stat, wanted_stat, errmsg, wanted_errmsg)
      integer, intent(in) :: stat, wanted_stat
      character(len=*), intent(inout) :: errmsg
      character(len=*), intent(in) :: wanted_errmsg
      if (stat /= wanted_stat .or. errmsg /= wanted_errmsg) then
        print '(a, i0, 4a)', ' FAIL: failing call: stat ', stat, ', errmsg ', trim(errmsg), &
          ', wanted ', wanted_errmsg
        faults = faults + 1
      end if
      errmsg = ''
    end subroutine expect
  end function failing_calls

  ! Whether the files a and b hold the same bytes, a PostScript file's
  ! creation date aside.
  logical function same_file(a, b)
    character(len=*), intent(in) :: a, b
    character(len=:), allocatable :: bytes_a, bytes_b
    same_file = undated(a, bytes_a)
    if (.not. same_file) return
    same_file = undated(b, bytes_b)
    if (.not. same_file) return
    same_file = bytes_a == bytes_b .and. len(bytes_a) == len(bytes_b)
    if (.not. same_file) print '(4a)', ' FAIL: ', b, ' differs from ', a
  end function same_file

  ! The bytes of a file without its line "%%CreationDate: ..."; false when
  ! it cannot be read.
  logical function undated(name, bytes)
    character(len=*), intent(in) :: name
    character(len=:), allocatable, intent(out) :: bytes
    character(len=*), parameter :: date = '%%CreationDate'
    integer :: unit, size, iostat, from, to

    undated = .false.
    open (newunit=unit, file=name, access='stream', form='unformatted', action='read', &
          status='old', iostat=iostat)
    if (iostat /= 0) then
      print '(3a)', ' FAIL: ', name, ' cannot be opened'
      return
    end if
    inquire (unit=unit, size=size)
    allocate (character(len=size) :: bytes)
    if (size > 0) read (unit, iostat=iostat) bytes
    close (unit)
    if (iostat /= 0 .or. size <= 0) then
      print '(3a)', ' FAIL: ', name, ' cannot be read or is empty'
      return
    end if
    from = index(bytes, date)
    if (from > 0) then
      to = from + index(bytes(from:), achar(10)) - 1
      bytes = bytes(:from - 1)//bytes(to + 1:)
    end if
    undated = .true.
  end function undated

end module thread_calls

program threads_program
  use omp_lib, only: omp_get_thread_num, omp_get_num_threads
  use thread_calls, only: write_maps, failing_calls, same_file, writers
  implicit none
  character(len=16) :: argument
  character(len=16) :: alone, stem
  character(len=*), parameter :: endings(3) = ['.ps ', '.png', '.dat']
  integer :: rounds, w, r, k, faults, threads

  call get_command_argument(1, argument)
  read (argument, *) rounds
  faults = 0
  do w = 1, writers
    write (alone, '(a, i0)') 'alone', w
    faults = faults + write_maps(w, trim(alone))
  end do

  threads = 0
  !$omp parallel num_threads(writers + 1) default(none) private(w, r, stem) &
  !$omp   shared(rounds, threads) reduction(+:faults)
  !$omp single
  threads = omp_get_num_threads()
  !$omp end single
  w = omp_get_thread_num()
  do r = 1, rounds
    if (w == 0) then
      faults = faults + failing_calls()
    else
      write (stem, '(a, i0, a, i0)') 'w', w, 'r', r
      faults = faults + write_maps(w, trim(stem))
    end if
  end do
  !$omp end parallel
  if (threads /= writers + 1) then
    print '(a, i0, a)', ' FAIL: ', threads, ' threads'
    faults = faults + 1
  end if

  do w = 1, writers
    write (alone, '(a, i0)') 'alone', w
    do r = 1, rounds
      write (stem, '(a, i0, a, i0)') 'w', w, 'r', r
      do k = 1, size(endings)
        if (.not. same_file(trim(alone)//trim(endings(k)), trim(stem)//trim(endings(k)))) &
          faults = faults + 1
      end do
    end do
  end do
  if (faults /= 0) then
    print '(a, i0, a)', ' threads: ', faults, ' faults'
    error stop 1
  end if
  print '(a, i0, a)', ' threads: ', writers * rounds * 4 + rounds * 4, ' calls as alone'
end program threads_program
