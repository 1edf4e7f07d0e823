#include "mapmpi/collective.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>

#include "rtl/console.h"
#include "rtl/fatal.h"
#include "rtl/hooks.h"

namespace mapmpi::detail {
namespace {

bool to_caller() {
  return rtl::current_hook(&rtl::Hooks::fatal_errors) == rtl::FatalErrors::kToCaller;
}

// The fatal error `e`, known on every rank: rank 0 reports it as its hooks
// say; any other rank raises it where the caller takes errors back, and
// otherwise ends without a second report of the same message.
[[noreturn]] void raise_on_this_rank(const rtl::FatalError& e, bool rank0) {
  if (rank0 || to_caller()) rtl::raise_fatal(e);
  if (auto exit = rtl::current_hook(&rtl::Hooks::fatal_exit)) exit(rtl::kFatalExitCode);
  rtl::end_process(rtl::kFatalExitCode);
}

}  // namespace

std::string broadcast_text(MPI_Comm comm, std::string text, int root) {
  std::int64_t n = static_cast<std::int64_t>(text.size());
  MPI_Bcast(&n, 1, MPI_INT64_T, root, comm);
  text.resize(static_cast<std::size_t>(n));
  // In pieces that an int counts.
  for (std::int64_t at = 0; at < n; at += INT_MAX)
    MPI_Bcast(text.data() + at, static_cast<int>(std::min<std::int64_t>(n - at, INT_MAX)), MPI_CHAR,
              root, comm);
  return text;
}

int rank_of(MPI_Comm comm) {
  int r = 0;
  MPI_Comm_rank(comm, &r);
  return r;
}

int size_of(MPI_Comm comm) {
  int s = 1;
  MPI_Comm_size(comm, &s);
  return s;
}

void agree(MPI_Comm comm, const std::function<void()>& work) {
  const int rank = rank_of(comm);
  const int size = size_of(comm);
  std::optional<rtl::FatalError> error;
  std::exception_ptr own;  // an exception that is no fatal error (work stopped on request)
  {
    // Errors come back here, so that the other ranks hear of them.
    rtl::ScopedHooks back({.fatal_errors = rtl::FatalErrors::kToCaller});
    try {
      work();
    } catch (const rtl::FatalError& e) {
      error = e;
    } catch (...) {
      try {
        rtl::fatal_if_out_of_memory();
      } catch (const rtl::FatalError& e) {
        error = e;
      } catch (const std::exception& e) {
        own = std::current_exception();
        error = rtl::FatalError(e.what());
      } catch (...) {
        own = std::current_exception();
        error = rtl::FatalError("Unknown exception");
      }
    }
  }
  int first = error ? rank : size;
  MPI_Allreduce(MPI_IN_PLACE, &first, 1, MPI_INT, MPI_MIN, comm);
  if (first == size) return;
  // The failing rank's message, errno and file, on every rank.
  std::int64_t code = error && rank == first ? error->error() : 0;
  MPI_Bcast(&code, 1, MPI_INT64_T, first, comm);
  const std::string message = broadcast_text(comm, rank == first ? error->what() : "", first);
  const std::string file = broadcast_text(comm, rank == first ? error->file() : "", first);
  if (own && rank == first) std::rethrow_exception(own);
  raise_on_this_rank(rtl::FatalError(message, static_cast<int>(code), file), rank == 0);
}

void fail_everywhere(MPI_Comm comm, const std::string& message) {
  raise_on_this_rank(rtl::FatalError(message), rank_of(comm) == 0);
}

Layout learn_layout(MPI_Comm comm, const char* routine, Offset offset, Index nx_part,
                    Index ny_part, Index nz_part) {
  Layout l;
  l.rank = rank_of(comm);
  l.size = size_of(comm);
  const std::int64_t mine[5] = {offset.i0, offset.j0, nx_part, ny_part, nz_part};
  std::vector<std::int64_t> all(5 * static_cast<std::size_t>(l.size));
  MPI_Allgather(mine, 5, MPI_INT64_T, all.data(), 5, MPI_INT64_T, comm);

  const std::string who = std::string(routine) + ": rank ";
  l.blocks.resize(static_cast<std::size_t>(l.size));
  for (int r = 0; r < l.size; ++r) {
    const std::int64_t* b = &all[5 * static_cast<std::size_t>(r)];
    Block& k = l.blocks[static_cast<std::size_t>(r)];
    k = {b[0], b[1], b[2], b[3]};
    if (k.nx > INT32_MAX || k.ny > INT32_MAX)
      fail_everywhere(comm, who + std::to_string(r) + "'s block is longer than the file header can count");
    if (b[4] != b[2] * b[3])
      fail_everywhere(comm, who + std::to_string(r) + " passes " + std::to_string(b[4]) +
                      " values of z for a block of " + std::to_string(b[2]) + " x " +
                      std::to_string(b[3]));
    if (k.empty()) continue;
    // Bounded before believed: the header counts 32-bit sizes.
    if (k.i0 < 0 || k.j0 < 0 || k.i0 > INT32_MAX - k.nx || k.j0 > INT32_MAX - k.ny)
      fail_everywhere(comm, who + std::to_string(r) + "'s block at offset (" + std::to_string(k.i0) +
                      ", " + std::to_string(k.j0) + ") lies outside any grid the file can count");
    l.nx = std::max(l.nx, k.i0 + k.nx);
    l.ny = std::max(l.ny, k.j0 + k.ny);
  }
  // Tiling: no two blocks overlap, and together they hold nx * ny cells.
  std::int64_t cells = 0;
  for (int r = 0; r < l.size; ++r) {
    const Block& a = l.blocks[static_cast<std::size_t>(r)];
    if (a.empty()) continue;
    cells += a.nx * a.ny;
    if (cells > l.nx * l.ny) break;  // an overlap, or more cells than the grid has
    for (int s = 0; s < r; ++s) {
      const Block& b = l.blocks[static_cast<std::size_t>(s)];
      if (b.empty()) continue;
      if (a.i0 < b.i0 + b.nx && b.i0 < a.i0 + a.nx && a.j0 < b.j0 + b.ny && b.j0 < a.j0 + a.ny)
        fail_everywhere(comm, who + std::to_string(r) + "'s block overlaps rank " + std::to_string(s) +
                        "'s: the blocks do not tile the grid");
    }
  }
  if (cells != l.nx * l.ny)
    fail_everywhere(comm, std::string(routine) + ": the blocks hold " + std::to_string(cells) +
                    " cells of the " + std::to_string(l.nx) + " x " + std::to_string(l.ny) +
                    " grid: the blocks do not tile the grid");
  return l;
}

template <class T>
std::vector<T> global_axis(MPI_Comm comm, const char* routine, const Layout& l, int axis,
                           VecView<T> part) {
  std::vector<int> counts(static_cast<std::size_t>(l.size)), displs(counts.size());
  std::int64_t total = 0;
  for (int r = 0; r < l.size; ++r) {
    const Block& b = l.blocks[static_cast<std::size_t>(r)];
    const Index n = b.empty() ? 0 : (axis == 0 ? b.nx : b.ny);
    if (total > INT_MAX - n)
      fail_everywhere(comm, std::string(routine) + ": the ranks' coordinates are more than one call can gather");
    counts[static_cast<std::size_t>(r)] = static_cast<int>(n);
    displs[static_cast<std::size_t>(r)] = static_cast<int>(total);
    total += n;
  }
  std::vector<T> own;
  if (!l.mine().empty()) {
    own.resize(static_cast<std::size_t>(part.size()));
    for (Index k = 0; k < part.size(); ++k) own[static_cast<std::size_t>(k)] = part.element(k);
  }
  std::vector<T> parts(static_cast<std::size_t>(total));
  MPI_Allgatherv(own.data(), counts[static_cast<std::size_t>(l.rank)], mpi_type<T>(), parts.data(),
                 counts.data(), displs.data(), mpi_type<T>(), comm);

  std::vector<T> global(static_cast<std::size_t>(axis == 0 ? l.nx : l.ny));
  std::vector<int> from(global.size(), -1);  // the rank that gave each coordinate
  for (int r = 0; r < l.size; ++r) {
    const Block& b = l.blocks[static_cast<std::size_t>(r)];
    if (b.empty()) continue;
    const Index first = axis == 0 ? b.i0 : b.j0;
    const T* v = parts.data() + displs[static_cast<std::size_t>(r)];
    for (int k = 0; k < counts[static_cast<std::size_t>(r)]; ++k) {
      const auto g = static_cast<std::size_t>(first + k);
      if (from[g] >= 0 && std::memcmp(&global[g], &v[k], sizeof(T)) != 0)
        fail_everywhere(comm, std::string(routine) + ": ranks " + std::to_string(from[g]) + " and " +
                        std::to_string(r) + " pass different values of " + (axis == 0 ? "x" : "y") +
                        " at index " + std::to_string(g));
      global[g] = v[k];
      from[g] = r;
    }
  }
  return global;
}

Rows row_share(const Layout& l, int r) {
  return {l.ny * r / l.size, l.ny * (r + 1) / l.size};
}

template <class T>
VecView<T> share_of_values(MPI_Comm comm, const char* routine, const Layout& l,
                           VecView<T> values, std::vector<T>& storage) {
  // Every block its rank's share already (a split along y into even shares):
  // nothing moves.
  bool in_place = true;
  for (int r = 0; r < l.size && in_place; ++r) {
    const Block& b = l.blocks[static_cast<std::size_t>(r)];
    const Rows s = row_share(l, r);
    in_place = s.first == s.end ? b.empty()
                                : !b.empty() && b.i0 == 0 && b.nx == l.nx && b.j0 == s.first &&
                                      b.j0 + b.ny == s.end;
  }
  if (in_place) return values;

  const auto overlap = [&l](const Block& b, int r) -> Rows {
    if (b.empty()) return {0, 0};
    const Rows s = row_share(l, r);
    const Index first = std::max(b.j0, s.first), end = std::min(b.j0 + b.ny, s.end);
    return first < end ? Rows{first, end} : Rows{0, 0};
  };
  // Counts are ints: a rank that finds one too large tells every rank
  // before any value moves.
  bool too_many = false;
  const auto count = [&too_many](std::int64_t n) {
    too_many |= n > INT_MAX;
    return static_cast<int>(std::min<std::int64_t>(n, INT_MAX));
  };
  const std::size_t p = static_cast<std::size_t>(l.size);
  std::vector<int> send_counts(p), send_displs(p), recv_counts(p), recv_displs(p);
  std::int64_t sent = 0, received = 0;
  const Block& me = l.mine();
  for (int r = 0; r < l.size; ++r) {
    const Rows o = overlap(me, r);
    send_counts[static_cast<std::size_t>(r)] = count((o.end - o.first) * me.nx);
    send_displs[static_cast<std::size_t>(r)] = count(sent);
    sent += send_counts[static_cast<std::size_t>(r)];
    const Block& b = l.blocks[static_cast<std::size_t>(r)];
    const Rows in = overlap(b, l.rank);
    recv_counts[static_cast<std::size_t>(r)] = count((in.end - in.first) * b.nx);
    recv_displs[static_cast<std::size_t>(r)] = count(received);
    received += recv_counts[static_cast<std::size_t>(r)];
  }
  count(sent);
  count(received);
  int any = too_many;
  MPI_Allreduce(MPI_IN_PLACE, &any, 1, MPI_INT, MPI_MAX, comm);
  if (any)
    fail_everywhere(comm, std::string(routine) +
                              ": more values move to or from one rank than one call can send");

  std::vector<T> send(static_cast<std::size_t>(sent));
  std::size_t k = 0;
  for (int r = 0; r < l.size; ++r) {
    const Rows o = overlap(me, r);
    for (Index j = o.first; j < o.end; ++j)
      for (Index i = 0; i < me.nx; ++i) send[k++] = values.element((j - me.j0) * me.nx + i);
  }
  std::vector<T> recv(static_cast<std::size_t>(received));
  MPI_Alltoallv(send.data(), send_counts.data(), send_displs.data(), mpi_type<T>(), recv.data(),
                recv_counts.data(), recv_displs.data(), mpi_type<T>(), comm);
  std::vector<T>().swap(send);

  const Rows mine = row_share(l, l.rank);
  storage.assign(static_cast<std::size_t>((mine.end - mine.first) * l.nx), T(0));
  k = 0;
  for (int r = 0; r < l.size; ++r) {
    const Block& b = l.blocks[static_cast<std::size_t>(r)];
    const Rows in = overlap(b, l.rank);
    for (Index j = in.first; j < in.end; ++j)
      for (Index i = 0; i < b.nx; ++i)
        storage[static_cast<std::size_t>((j - mine.first) * l.nx + b.i0 + i)] = recv[k++];
  }
  return VecView<T>(storage);
}

template std::vector<float> global_axis(MPI_Comm, const char*, const Layout&, int, VecView<float>);
template std::vector<double> global_axis(MPI_Comm, const char*, const Layout&, int, VecView<double>);
template VecView<float> share_of_values(MPI_Comm, const char*, const Layout&, VecView<float>,
                                        std::vector<float>&);
template VecView<double> share_of_values(MPI_Comm, const char*, const Layout&, VecView<double>,
                                         std::vector<double>&);

}  // namespace mapmpi::detail
