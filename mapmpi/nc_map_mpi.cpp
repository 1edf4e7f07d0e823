// The NetCDF map file of a distributed field, written by every rank at once
// through the NetCDF library's parallel (MPI) build, with the layout of the
// one-process file (mapnc/nc_core.h, from mapnc_mpi: mapnc built against
// that same library, so that a process never loads both builds).
//
// Rank 0 reserves the temporary file; every rank opens it with
// nc_create_par, defines the same layout, and writes the rows of its even
// share of the grid (values move there first unless the blocks already are
// those shares) in one collective write; rank 0 writes the coordinates.
// Rank 0 renames the file once every rank's part is in it.

#include <netcdf.h>
#include <netcdf_meta.h>
#include <netcdf_par.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#if !NC_HAS_PARALLEL4
#error "mapplot_mpi needs the parallel build of NetCDF (its netcdf.h first on the include path)"
#endif

#include "maparg/convert.h"
#include "maparg/request.h"
#include "mapmpi/collective.h"
#include "mapmpi/mpi_map.h"
#include "mapnc/nc_core.h"
#include "rtl/fatal.h"
#include "rtl/safe_file.h"
#include "textfmt/fixed_text.h"

namespace mapmpi {
namespace {

using detail::agree;

constexpr const char* kRoutine = "nc_map";
constexpr std::string_view kDefaultFileName = "Map.nc";

// A NetCDF status on this rank as the fatal error the one-process file gives.
void check(int status, const std::string& file, const char* step) {
  if (status == NC_NOERR) return;
  if (status == NC_ENOMEM) rtl::out_of_memory();
  rtl::raise_fatal(rtl::FatalError("File " + file + ": " + step + ": " + nc_strerror(status),
                                   status > 0 ? status : 0, file));
}

template <class T>
void write_map(MPI_Comm comm, Offset offset, VecView<T> x, VecView<T> y, VecView<T> z,
               const mapdata::DatMapOptions& o) {
  const int rank = detail::rank_of(comm);
  mapnc::MapHeader h;
  std::string name;
  agree(comm, [&] {
    h = mapnc::map_header(std::is_same_v<T, float> ? NC_FLOAT : NC_DOUBLE, o.log, o.xlabel,
                          o.ylabel, o.title);
    name = std::string(textfmt::strip(o.file.value_or(kDefaultFileName)));
    rtl::refuse_nul_bytes(name, "File name");
  });
  // Rank 0's texts on every rank: the layout each rank defines is the same.
  h.xlabel = detail::broadcast_text(comm, h.xlabel);
  h.ylabel = detail::broadcast_text(comm, h.ylabel);
  h.title = detail::broadcast_text(comm, h.title);
  name = detail::broadcast_text(comm, name);
  int log = maparg::truth(o.log);
  MPI_Bcast(&log, 1, MPI_INT, 0, comm);
  const detail::Layout layout = detail::learn_layout(comm, kRoutine, offset, x.size(), y.size(), z.size());
  if (layout.nx == 0 || layout.ny == 0)
    detail::fail_everywhere(comm, "nc_map: x and y must hold one value at least");
  h.nx = static_cast<std::size_t>(layout.nx);
  h.ny = static_cast<std::size_t>(layout.ny);
  const std::vector<T> gx = detail::global_axis<T>(comm, kRoutine, layout, 0, x);
  const std::vector<T> gy = detail::global_axis<T>(comm, kRoutine, layout, 1, y);

  // Every logarithm is taken before the file is created, on every rank.
  std::vector<T> logs;
  VecView<T> values = z;
  agree(comm, [&] {
    if (log) {
      logs = maparg::checked_logs(z);
      values = VecView<T>(logs);
    }
  });
  std::vector<T> moved, contiguous;
  values = detail::share_of_values<T>(comm, kRoutine, layout, values, moved);
  agree(comm, [&] { values = maparg::as_contiguous<T>(values, contiguous); });

  std::unique_ptr<rtl::PendingFile> pending;
  std::string temporary;
  agree(comm, [&] {
    if (rank != 0) return;
    pending = std::make_unique<rtl::PendingFile>(name);
    ::close(pending->take_descriptor());
    temporary = pending->temporary();
  });
  temporary = detail::broadcast_text(comm, temporary);

  // Every step collective, its status agreed on before the next.
  int id = -1;
  const int created = nc_create_par(temporary.c_str(), NC_NETCDF4 | NC_CLOBBER, comm, MPI_INFO_NULL, &id);
  agree(comm, [&] { check(created, name, "cannot create"); });
  const auto step = [&](int status) {
    int failed = status != NC_NOERR;
    MPI_Allreduce(MPI_IN_PLACE, &failed, 1, MPI_INT, MPI_MAX, comm);
    if (failed) nc_abort(id);
    agree(comm, [&] { check(status, name, "cannot write"); });
    if (failed) detail::fail_everywhere(comm, "File " + name + ": cannot write");
  };
  mapnc::MapVariables v;
  step(mapnc::define_map(id, h, v));
  int status = nc_var_par_access(id, v.z, NC_COLLECTIVE);
  if (status == NC_NOERR && rank == 0) status = mapnc::put_coordinates(id, v, gx.data(), gy.data());
  step(status);
  const detail::Rows rows = detail::row_share(layout, rank);
  step(mapnc::put_rows(id, v, h.nx, static_cast<std::size_t>(rows.first),
                       static_cast<std::size_t>(rows.end - rows.first), values.data()));
  const int closed = nc_close(id);
  agree(comm, [&] { check(closed, name, "cannot write"); });

  agree(comm, [&] {
    if (rank == 0) pending->commit();
  });
  if (rank == 0) maparg::console_line(" Output in ", name);
}

}  // namespace

void nc_map(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y, VecView<float> z,
            const mapdata::DatMapOptions& o) {
  write_map(comm, offset, x, y, z, o);
}

void nc_map_r8(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
               VecView<double> z, const mapdata::DatMapOptions& o) {
  mapdata::DatMapOptions c = o;
  if (!c.title) c.title = mapdata::kDefaultTitleR8;
  write_map(comm, offset, x, y, z, c);
}

void nc_map_2d(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y,
               MatView<float> z, const mapdata::DatMapOptions& o) {
  std::vector<float> flat;
  agree(comm, [&] { flat = maparg::pack<float>(z); });
  write_map(comm, offset, x, y, VecView<float>(flat), o);
}

void nc_map_2d_r8(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
                  MatView<double> z, const mapdata::DatMapOptions& o) {
  std::vector<double> flat;
  agree(comm, [&] { flat = maparg::pack<double>(z); });
  write_map(comm, offset, x, y, VecView<double>(flat), o);
}

}  // namespace mapmpi
