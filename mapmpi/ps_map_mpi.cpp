// The PostScript map of a distributed field: rank 0 draws it.
//
// Every rank converts its block as the one-process forms convert (single
// precision, flat), the coordinates are learned collectively, and rank 0
// receives every cell straight into its place in the global grid (a
// subarray datatype a rank, no copy in between), then draws the grid with
// the one-process routine: the file is that routine's, byte for byte. Its
// result reaches every rank.

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "maparg/convert.h"
#include "mapmpi/collective.h"
#include "mapmpi/mpi_map.h"
#include "rtl/fatal.h"

namespace mapmpi {
namespace {

using detail::agree;

constexpr const char* kRoutine = "ps_map";

// The global z on rank 0 (empty elsewhere), x index fastest.
std::vector<float> gathered_grid(MPI_Comm comm, const detail::Layout& l, const std::vector<float>& block) {
  constexpr int kTag = 27;
  std::vector<float> grid;
  agree(comm, [&] {
    if (l.rank == 0) grid.resize(static_cast<std::size_t>(l.nx * l.ny));
  });
  if (l.rank != 0) {
    if (!l.mine().empty())
      MPI_Send(block.data(), static_cast<int>(block.size()), MPI_FLOAT, 0, kTag, comm);
    return grid;
  }
  std::vector<MPI_Request> requests;
  std::vector<MPI_Datatype> types;
  for (int r = 0; r < l.size; ++r) {
    const detail::Block& b = l.blocks[static_cast<std::size_t>(r)];
    if (b.empty()) continue;
    if (r == 0) {
      for (Index j = 0; j < b.ny; ++j)
        std::copy_n(block.data() + j * b.nx, b.nx, grid.data() + (b.j0 + j) * l.nx + b.i0);
      continue;
    }
    const int sizes[2] = {static_cast<int>(l.ny), static_cast<int>(l.nx)};
    const int parts[2] = {static_cast<int>(b.ny), static_cast<int>(b.nx)};
    const int starts[2] = {static_cast<int>(b.j0), static_cast<int>(b.i0)};
    MPI_Datatype type;
    MPI_Type_create_subarray(2, sizes, parts, starts, MPI_ORDER_C, MPI_FLOAT, &type);
    MPI_Type_commit(&type);
    types.push_back(type);
    requests.emplace_back();
    MPI_Irecv(grid.data(), 1, type, r, kTag, comm, &requests.back());
  }
  MPI_Waitall(static_cast<int>(requests.size()), requests.data(), MPI_STATUSES_IGNORE);
  for (MPI_Datatype& t : types) MPI_Type_free(&t);
  return grid;
}

// The map of the blocks, each already single precision and flat.
mapps::PsMapResult draw(MPI_Comm comm, Offset offset, const std::vector<float>& x,
                        const std::vector<float>& y, const std::vector<float>& z,
                        const mapps::PsMapOptions& o) {
  const detail::Layout layout = detail::learn_layout(comm, kRoutine, offset, static_cast<Index>(x.size()),
                                                     static_cast<Index>(y.size()), static_cast<Index>(z.size()));
  for (int r = 0; r < layout.size; ++r) {
    const detail::Block& b = layout.blocks[static_cast<std::size_t>(r)];
    if (b.nx > INT_MAX / std::max<Index>(1, b.ny))
      detail::fail_everywhere(comm, "ps_map: rank " + std::to_string(r) +
                                        "'s block is more than one message can send");
  }
  const std::vector<float> gx = detail::global_axis<float>(comm, kRoutine, layout, 0, x);
  const std::vector<float> gy = detail::global_axis<float>(comm, kRoutine, layout, 1, y);
  const std::vector<float> grid = gathered_grid(comm, layout, z);

  mapps::PsMapResult result;
  agree(comm, [&] {
    if (layout.rank == 0) result = mapps::ps_map(gx, gy, grid, o);
  });
  int fields[2] = {static_cast<int>(result.outcome), result.error};
  MPI_Bcast(fields, 2, MPI_INT, 0, comm);
  result.outcome = static_cast<mapps::PsMapResult::Outcome>(fields[0]);
  result.error = fields[1];
  result.file = detail::broadcast_text(comm, result.file);
  result.kind = detail::broadcast_text(comm, result.kind);
  result.message = detail::broadcast_text(comm, result.message);
  return result;
}

// Any form: the block in single precision and flat, as the one-process
// forms take it, then drawn.
template <typename X, typename Z>
mapps::PsMapResult draw_form(MPI_Comm comm, Offset offset, VecView<X> x, VecView<X> y,
                             const Z& z, const mapps::PsMapOptions& o) {
  std::vector<float> xs, ys, zs;
  agree(comm, [&] {
    xs = maparg::to_vector<float>(x);
    ys = maparg::to_vector<float>(y);
    if constexpr (requires { z.extent2(); })
      zs = maparg::pack<float>(z);
    else
      zs = maparg::to_vector<float>(z);
  });
  return draw(comm, offset, xs, ys, zs, o);
}

}  // namespace

mapps::PsMapResult ps_map(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y,
                          VecView<float> z, const mapps::PsMapOptions& o) {
  return draw_form(comm, offset, x, y, z, o);
}

mapps::PsMapResult ps_map_r8(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
                             VecView<double> z, const mapps::PsMapOptions& o) {
  return draw_form(comm, offset, x, y, z, o);
}

mapps::PsMapResult ps_map_2d(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y,
                             MatView<float> z, const mapps::PsMapOptions& o) {
  return draw_form(comm, offset, x, y, z, o);
}

mapps::PsMapResult ps_map_2d_r8(MPI_Comm comm, Offset offset, VecView<double> x,
                                VecView<double> y, MatView<double> z,
                                const mapps::PsMapOptions& o) {
  return draw_form(comm, offset, x, y, z, o);
}

}  // namespace mapmpi
