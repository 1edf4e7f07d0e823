#pragma once
// What the renderings of a distributed field do alike on every rank: agree
// on failure, learn the block layout and the global coordinates, move values
// to the rank that formats them.

#include <mpi.h>

#include <functional>
#include <string>
#include <vector>

#include "mapmpi/mpi_map.h"

namespace mapmpi::detail {

// Runs `work` (which makes no collective call) on this rank, then every rank
// learns whether any rank's work failed: if so, every rank fails with the
// error of the lowest failing rank (mpi_map.h says how), the failing rank
// with its own exception. Collective.
void agree(MPI_Comm comm, const std::function<void()>& work);

// The fatal error `message`, known alike on every rank (which all call
// this): reported as agree does, without communication.
[[noreturn]] void fail_everywhere(MPI_Comm comm, const std::string& message);

// `text` of rank `root` on every rank. Collective.
std::string broadcast_text(MPI_Comm comm, std::string text, int root = 0);

int rank_of(MPI_Comm comm);
int size_of(MPI_Comm comm);

// One rank's block: its first cell and its extents; empty when it holds no cell.
struct Block {
  Index i0 = 0, j0 = 0, nx = 0, ny = 0;
  bool empty() const { return nx == 0 || ny == 0; }
};

// The blocks of every rank and the global grid they tile.
struct Layout {
  int rank = 0;
  int size = 1;
  Index nx = 0, ny = 0;
  std::vector<Block> blocks;  // by rank
  const Block& mine() const { return blocks[static_cast<std::size_t>(rank)]; }
};

// Learns every rank's block (x, y and z of this rank's call: their lengths)
// and checks that the blocks tile the grid; otherwise the fatal error
// "<routine>: ..." on every rank, naming the rank. Collective.
Layout learn_layout(MPI_Comm comm, const char* routine, Offset offset, Index nx_part,
                    Index ny_part, Index nz_part);

// The global x (axis 0) or y (axis 1) from every rank's part; blocks that
// share columns (rows) must give them the same values, else the fatal error
// on every rank. Collective.
// Single or double precision.
template <class T>
std::vector<T> global_axis(MPI_Comm comm, const char* routine, const Layout& layout, int axis,
                           VecView<T> part);

// The rows first_row .. end_row - 1 of rank r's share: an even share of the
// grid's rows, in rank order.
struct Rows {
  Index first = 0, end = 0;
};
Rows row_share(const Layout& layout, int r);

// This rank's share of rows of the global z, x index fastest, gathered from
// the blocks holding them (`values` is this rank's block, x index fastest).
// Where every block already is its rank's share, that is `values` itself,
// without a copy; `storage` holds what the result views otherwise.
template <class T>
VecView<T> share_of_values(MPI_Comm comm, const char* routine, const Layout& layout,
                           VecView<T> values, std::vector<T>& storage);

// The MPI datatype of float or double.
template <class T>
MPI_Datatype mpi_type() {
  return sizeof(T) == sizeof(float) ? MPI_FLOAT : MPI_DOUBLE;
}

}  // namespace mapmpi::detail
