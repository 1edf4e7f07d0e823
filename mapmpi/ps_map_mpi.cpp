// The PostScript map of a distributed field: rank 0 draws it.
//
// Every rank converts its block as the one-process forms convert (single
// precision, flat), the coordinates are learned collectively, and rank 0
// receives every cell straight into its place in the global grid (a
// subarray datatype a rank, no copy in between), then draws the grid with
// the one-process routine: the file is that routine's, byte for byte. Its
// result reaches every rank.
//
// On a device of pixels (png, tpng) rank 0 receives no more than the cells
// the map's pixels show, one a pixel: the range of the values is reduced
// over the ranks, and as rank 0 draws the image the columns and rows its
// pixels sample go to every rank, which sends back its cells among them.
// Options that read every cell (log, contours, nan, under and over colours,
// unevenly spaced coordinates, a page) have the whole grid gathered.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "maparg/convert.h"
#include "mapps/ps_map_sampled.h"
#include "mapmpi/collective.h"
#include "mapmpi/mpi_map.h"
#include "rtl/fatal.h"

namespace mapmpi {
namespace {

using detail::agree;

constexpr const char* kRoutine = "ps_map";

// The global z on rank 0 (empty elsewhere), x index fastest.
std::vector<float> gathered_grid(MPI_Comm comm, const detail::Layout& l, VecView<float> block) {
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

constexpr int kCellsTag = 28;

// The cells (columns[k], rows[l]) that lie in block b, rows outer: the
// places in the sample (from 0) and in the block's values.
template <typename F>
void cells_in_block(const detail::Block& b, const std::vector<std::uint64_t>& columns,
                    const std::vector<std::uint64_t>& rows, F&& each) {
  for (std::size_t l = 0; l < rows.size(); ++l) {
    const auto j = static_cast<Index>(rows[l]);
    if (j < b.j0 || j >= b.j0 + b.ny) continue;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      const auto i = static_cast<Index>(columns[k]);
      if (i < b.i0 || i >= b.i0 + b.nx) continue;
      each(l * columns.size() + k, (j - b.j0) * b.nx + (i - b.i0));
    }
  }
}

// Rank 0's side: the sampled cells from every rank's block. Collective with
// serve_cells on the others.
std::vector<float> fetch_cells(MPI_Comm comm, const detail::Layout& l, VecView<float> block,
                               const std::vector<std::size_t>& columns,
                               const std::vector<std::size_t>& rows) {
  std::int64_t counts[2] = {static_cast<std::int64_t>(columns.size()),
                            static_cast<std::int64_t>(rows.size())};
  MPI_Bcast(counts, 2, MPI_INT64_T, 0, comm);
  std::vector<std::uint64_t> c(columns.begin(), columns.end()), r(rows.begin(), rows.end());
  MPI_Bcast(c.data(), static_cast<int>(c.size()), MPI_UINT64_T, 0, comm);
  MPI_Bcast(r.data(), static_cast<int>(r.size()), MPI_UINT64_T, 0, comm);
  std::vector<float> sample(c.size() * r.size());
  std::vector<float> received;
  for (int rank = 0; rank < l.size; ++rank) {
    const detail::Block& b = l.blocks[static_cast<std::size_t>(rank)];
    if (b.empty()) continue;
    if (rank == 0) {
      cells_in_block(b, c, r, [&](std::size_t at, Index k) { sample[at] = block.element(k); });
      continue;
    }
    std::size_t n = 0;
    cells_in_block(b, c, r, [&](std::size_t, Index) { ++n; });
    if (n == 0) continue;
    received.resize(n);
    MPI_Recv(received.data(), static_cast<int>(n), MPI_FLOAT, rank, kCellsTag, comm,
             MPI_STATUS_IGNORE);
    std::size_t next = 0;
    cells_in_block(b, c, r, [&](std::size_t at, Index) { sample[at] = received[next++]; });
  }
  return sample;
}

// Rank 0 has drawn its image, or will draw none: the others stop serving.
void end_serving(MPI_Comm comm) {
  std::int64_t counts[2] = {-1, -1};
  MPI_Bcast(counts, 2, MPI_INT64_T, 0, comm);
}

// Every rank but 0: sends rank 0 its cells of each sample it asks for,
// until it asks for none.
void serve_cells(MPI_Comm comm, const detail::Layout& l, VecView<float> block) {
  for (;;) {
    std::int64_t counts[2];
    MPI_Bcast(counts, 2, MPI_INT64_T, 0, comm);
    if (counts[0] < 0) return;
    std::vector<std::uint64_t> c(static_cast<std::size_t>(counts[0])),
        r(static_cast<std::size_t>(counts[1]));
    MPI_Bcast(c.data(), static_cast<int>(c.size()), MPI_UINT64_T, 0, comm);
    MPI_Bcast(r.data(), static_cast<int>(r.size()), MPI_UINT64_T, 0, comm);
    std::vector<float> mine;
    cells_in_block(l.mine(), c, r, [&](std::size_t, Index k) { mine.push_back(block.element(k)); });
    if (!mine.empty())
      MPI_Send(mine.data(), static_cast<int>(mine.size()), MPI_FLOAT, 0, kCellsTag, comm);
  }
}

// The map drawn by rank 0 from the cells its pixels show.
mapps::PsMapResult draw_sampled(MPI_Comm comm, const detail::Layout& layout,
                                const std::vector<float>& gx, const std::vector<float>& gy,
                                VecView<float> z, const mapps::PsMapOptions& o) {
  // The range of the finite values, over every rank.
  float range[2] = {1.0e38f, -1.0e38f};  // -lowest, highest
  int any = 0;
  for (Index k = 0; k < z.size(); ++k) {
    const float v = z.element(k);
    if (!std::isfinite(v)) continue;
    any = 1;
    range[0] = std::min(range[0], v);
    range[1] = std::max(range[1], v);
  }
  range[0] = -range[0];
  float global[2];
  int any_global = 0;
  MPI_Allreduce(range, global, 2, MPI_FLOAT, MPI_MAX, comm);
  MPI_Allreduce(&any, &any_global, 1, MPI_INT, MPI_LOR, comm);
  mapps::detail::SampledField field;
  field.nx = layout.nx;
  field.ny = layout.ny;
  field.lo = -global[0];
  field.hi = global[1];
  field.any_finite = any_global != 0;
  field.cells = [&](const std::vector<std::size_t>& columns, const std::vector<std::size_t>& rows) {
    return fetch_cells(comm, layout, z, columns, rows);
  };
  mapps::PsMapResult result;
  agree(comm, [&] {
    if (layout.rank != 0) {
      serve_cells(comm, layout, z);
      return;
    }
    // The others are released however the drawing ends.
    struct Release {
      MPI_Comm comm;
      ~Release() { end_serving(comm); }
    } release{comm};
    result = mapps::detail::ps_map_sampled(gx, gy, field, o);
  });
  return result;
}

// The map of the blocks, each already single precision (z of any layout).
mapps::PsMapResult draw(MPI_Comm comm, Offset offset, const std::vector<float>& x,
                        const std::vector<float>& y, VecView<float> z,
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
  int sampled = 0;
  agree(comm, [&] {
    if (layout.rank == 0) sampled = mapps::detail::samples_cells(gx, gy, o) ? 1 : 0;
  });
  MPI_Bcast(&sampled, 1, MPI_INT, 0, comm);

  mapps::PsMapResult result;
  if (sampled != 0) {
    result = draw_sampled(comm, layout, gx, gy, z, o);
  } else {
    std::vector<float> flat;
    if (!z.contiguous()) flat = maparg::to_vector<float>(z);
    const std::vector<float> grid =
        gathered_grid(comm, layout, z.contiguous() ? z : VecView<float>(flat));
    agree(comm, [&] {
      if (layout.rank == 0) result = mapps::ps_map(gx, gy, grid, o);
    });
  }
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
  // A single-precision vector is read where it is; any other z converted.
  constexpr bool in_place = std::is_same_v<Z, VecView<float>>;
  agree(comm, [&] {
    xs = maparg::to_vector<float>(x);
    ys = maparg::to_vector<float>(y);
    if constexpr (in_place)
      return;
    else if constexpr (requires { z.extent2(); })
      zs = maparg::pack<float>(z);
    else
      zs = maparg::to_vector<float>(z);
  });
  if constexpr (in_place)
    return draw(comm, offset, xs, ys, z, o);
  else
    return draw(comm, offset, xs, ys, VecView<float>(zs), o);
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
