#pragma once
// The renderings of a field spread over the ranks of an MPI program.
//
// Each rank passes its own block: its part of x (nx_r values), its part of
// y (ny_r values), its z block (nx_r * ny_r values, x index fastest, or a
// matrix of nx_r x ny_r), the communicator and the block's offset (i0, j0)
// in the global grid, zero-based: the block holds the global cells
// i0 .. i0 + nx_r - 1 by j0 .. j0 + ny_r - 1. The blocks tile the grid: they
// do not overlap and together cover every cell of nx x ny, where nx and ny
// are the largest i0 + nx_r and j0 + ny_r. A rank may hold none (x, y or z
// empty); its offset is then not looked at. Blocks that share columns pass
// the same x values for them, blocks that share rows the same y values.
//
//   rank 0: offset {0, 0}     rank 1: offset {nx/2, 0}
//   rank 2: offset {0, ny/2}  rank 3: offset {nx/2, ny/2}
//
// Every rank of the communicator calls the routine, with the same options
// (those that count are rank 0's: the texts, the file name, the log option). The result is the file the
// one-process routine writes for the whole grid, byte for byte.
//
// Console lines come once, from rank 0. A fatal error on any rank (a layout
// that does not tile the grid, a value without a logarithm, a file that
// cannot be written) is one on every rank, with the message of the lowest
// rank that failed, and no rank is left waiting: where the caller takes
// errors back (rtl::Hooks::fatal_errors is kToCaller) every rank raises
// rtl::FatalError; otherwise rank 0 reports it and every rank ends with
// rtl::kFatalExitCode. Any earlier file stays as it was.

#include <mpi.h>

#include "maparg/views.h"
#include "mapdata/dat_map.h"
#include "mapps/ps_map.h"

namespace mapmpi {

using maparg::Index;
using maparg::MatView;
using maparg::VecView;

// A block's place in the global grid: its first cell, counted from 0.
struct Offset {
  Index i0 = 0;
  Index j0 = 0;
};

// The data export (mapdata/dat_map.h): each rank formats the lines of an
// even share of the grid's rows (values move between ranks first when the
// blocks are not those shares) and writes them at their place in the file,
// found by an exclusive scan of the ranks' byte counts, a piece at a time
// as it formats them (MPI-IO); rank 0 adds the header and the coordinates,
// the last rank the texts. The file is written under a temporary name and
// renamed over the target by rank 0 once every rank's part is on disk.
void dat_map(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y, VecView<float> z,
             const mapdata::DatMapOptions& o = {});
// Double precision, values rounded to single precision; the default title
// is mapdata::kDefaultTitleR8, as in the one-process form.
void dat_map_r8(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
                VecView<double> z, const mapdata::DatMapOptions& o = {});
// z a matrix of nx_r x ny_r whose element (i, j) is the value at (x(i), y(j)).
void dat_map_2d(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y,
                MatView<float> z, const mapdata::DatMapOptions& o = {});
void dat_map_2d_r8(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
                   MatView<double> z, const mapdata::DatMapOptions& o = {});

// One name for the four forms, as mapdata::data_export.
inline void data_export(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y,
                        VecView<float> z, const mapdata::DatMapOptions& o = {}) {
  dat_map(comm, offset, x, y, z, o);
}
inline void data_export(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
                        VecView<double> z, const mapdata::DatMapOptions& o = {}) {
  dat_map_r8(comm, offset, x, y, z, o);
}
inline void data_export(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y,
                        MatView<float> z, const mapdata::DatMapOptions& o = {}) {
  dat_map_2d(comm, offset, x, y, z, o);
}
inline void data_export(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
                        MatView<double> z, const mapdata::DatMapOptions& o = {}) {
  dat_map_2d_r8(comm, offset, x, y, z, o);
}

// The NetCDF map file (mapnc/nc_map.h: the same layout, values and
// attributes, in the caller's precision), written by every rank at once
// through the parallel build of NetCDF; the options are the data export's.
// Built where that build is found (MAPPLOT_MPI_NETCDF defined). A program
// that uses these links mapnc_mpi (which mapplot_mpi brings) for
// mapnc::nc_map and mapnc::read_map, never mapnc, which links the
// one-process NetCDF library: a process loads one of the two.
void nc_map(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y, VecView<float> z,
            const mapdata::DatMapOptions& o = {});
void nc_map_r8(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
               VecView<double> z, const mapdata::DatMapOptions& o = {});
void nc_map_2d(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y,
               MatView<float> z, const mapdata::DatMapOptions& o = {});
void nc_map_2d_r8(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
                  MatView<double> z, const mapdata::DatMapOptions& o = {});
inline void netcdf_export(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y,
                          VecView<float> z, const mapdata::DatMapOptions& o = {}) {
  nc_map(comm, offset, x, y, z, o);
}
inline void netcdf_export(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
                          VecView<double> z, const mapdata::DatMapOptions& o = {}) {
  nc_map_r8(comm, offset, x, y, z, o);
}
inline void netcdf_export(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y,
                          MatView<float> z, const mapdata::DatMapOptions& o = {}) {
  nc_map_2d(comm, offset, x, y, z, o);
}
inline void netcdf_export(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
                          MatView<double> z, const mapdata::DatMapOptions& o = {}) {
  nc_map_2d_r8(comm, offset, x, y, z, o);
}

// The PostScript map (mapps/ps_map.h), drawn by rank 0 from every cell of
// the grid, which it receives straight into place; every rank returns its
// result. The options are rank 0's.
mapps::PsMapResult ps_map(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y,
                          VecView<float> z, const mapps::PsMapOptions& o = {});
mapps::PsMapResult ps_map_r8(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
                             VecView<double> z, const mapps::PsMapOptions& o = {});
mapps::PsMapResult ps_map_2d(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y,
                             MatView<float> z, const mapps::PsMapOptions& o = {});
mapps::PsMapResult ps_map_2d_r8(MPI_Comm comm, Offset offset, VecView<double> x,
                                VecView<double> y, MatView<double> z,
                                const mapps::PsMapOptions& o = {});

inline mapps::PsMapResult postscript_map(MPI_Comm comm, Offset offset, VecView<float> x,
                                         VecView<float> y, VecView<float> z,
                                         const mapps::PsMapOptions& o = {}) {
  return ps_map(comm, offset, x, y, z, o);
}
inline mapps::PsMapResult postscript_map(MPI_Comm comm, Offset offset, VecView<double> x,
                                         VecView<double> y, VecView<double> z,
                                         const mapps::PsMapOptions& o = {}) {
  return ps_map_r8(comm, offset, x, y, z, o);
}
inline mapps::PsMapResult postscript_map(MPI_Comm comm, Offset offset, VecView<float> x,
                                         VecView<float> y, MatView<float> z,
                                         const mapps::PsMapOptions& o = {}) {
  return ps_map_2d(comm, offset, x, y, z, o);
}
inline mapps::PsMapResult postscript_map(MPI_Comm comm, Offset offset, VecView<double> x,
                                         VecView<double> y, MatView<double> z,
                                         const mapps::PsMapOptions& o = {}) {
  return ps_map_2d_r8(comm, offset, x, y, z, o);
}

}  // namespace mapmpi
