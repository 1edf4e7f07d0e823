// The data export of a distributed field: one file, written by every rank
// at once.
//
// The file is a sequence of lines in the order header, x, y, z (row by row,
// x index fastest), texts. Rank r formats the lines of its even share of
// the rows of z, rank 0 those before z as well and the last rank the texts
// after it, each with the data export's own line routines
// (mapdata/dat_records.h). Every value's line has the same length, so an
// exclusive scan of the byte counts places each rank's run before its value
// lines are formatted; each rank then formats them a piece at a time and
// writes every piece at its place (MPI-IO, each rank into its own run of the
// shared file), never holding its whole text.

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "maparg/convert.h"
#include "maparg/request.h"
#include "mapdata/dat_records.h"
#include "mapmpi/collective.h"
#include "mapmpi/mpi_map.h"
#include "rtl/fatal.h"
#include "rtl/safe_file.h"

namespace mapmpi {
namespace {

using detail::agree;

constexpr const char* kRoutine = "dat_map";

std::string mpi_error_text(int code) {
  char text[MPI_MAX_ERROR_STRING];
  int length = 0;
  if (MPI_Error_string(code, text, &length) != MPI_SUCCESS) return "MPI error " + std::to_string(code);
  return std::string(text, static_cast<std::size_t>(length));
}

// The value lines formatted and written at a time: about 1 MiB.
constexpr Index kPieceLines = 65536;

// One rank's run of the file, written piece by piece from `at` on (each
// piece's length an int, as MPI's counts are); after a failure it writes
// nothing more and keeps the error.
class RunWriter {
 public:
  RunWriter(MPI_File fh, std::int64_t at) : fh_(fh), at_(at) {}
  void write(std::string_view bytes) {
    while (!bytes.empty() && ok()) {
      const int n = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX / 2));
      MPI_Status status;
      error_ = MPI_File_write_at(fh_, at_, bytes.data(), n, MPI_BYTE, &status);
      int done = 0;
      if (ok()) MPI_Get_count(&status, MPI_BYTE, &done);
      at_ += done;
      if (ok() && done != n) short_ = true;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  bool ok() const { return error_ == MPI_SUCCESS && !short_; }
  int error() const { return error_; }
  std::int64_t written() const { return at_; }

 private:
  MPI_File fh_;
  std::int64_t at_;
  int error_ = MPI_SUCCESS;
  bool short_ = false;
};

}  // namespace

void dat_map(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y, VecView<float> z,
             const mapdata::DatMapOptions& o) {
  const int rank = detail::rank_of(comm);
  const int size = detail::size_of(comm);

  mapdata::DatTexts texts;
  agree(comm, [&] { texts = mapdata::dat_texts(o.log, o.xlabel, o.ylabel, o.title, o.file); });
  // Rank 0's texts, on every rank.
  texts.xlabel = detail::broadcast_text(comm, texts.xlabel);
  texts.ylabel = detail::broadcast_text(comm, texts.ylabel);
  texts.title = detail::broadcast_text(comm, texts.title);
  texts.file = detail::broadcast_text(comm, texts.file);
  int log = texts.log;
  MPI_Bcast(&log, 1, MPI_INT, 0, comm);
  texts.log = log != 0;
  const detail::Layout layout = detail::learn_layout(comm, kRoutine, offset, x.size(), y.size(), z.size());
  const std::vector<float> gx = detail::global_axis<float>(comm, kRoutine, layout, 0, x);
  const std::vector<float> gy = detail::global_axis<float>(comm, kRoutine, layout, 1, y);

  // Every logarithm is taken before the file is opened, on every rank.
  std::vector<float> logs;
  VecView<float> values = z;
  agree(comm, [&] {
    if (texts.log) {
      logs = maparg::checked_logs(z);
      values = VecView<float>(logs);
    }
  });
  std::vector<float> moved;
  values = detail::share_of_values<float>(comm, kRoutine, layout, values, moved);

  // This rank's lines: rank 0's before the values and the last rank's texts
  // formatted now, the value lines (each mapdata::kValueLineBytes) as they
  // are written, so that the exclusive scan of the byte counts can place
  // every rank's run before any value is formatted.
  std::string head, tail;
  agree(comm, [&] {
    textfmt::ListWriter to_head = mapdata::dat_writer([&head](std::string_view b) { head.append(b); });
    if (rank == 0) {
      mapdata::write_header(to_head, static_cast<std::int32_t>(layout.nx), static_cast<std::int32_t>(layout.ny));
      mapdata::write_values(to_head, VecView<float>(gx));
      mapdata::write_values(to_head, VecView<float>(gy));
    }
    textfmt::ListWriter to_tail = mapdata::dat_writer([&tail](std::string_view b) { tail.append(b); });
    if (rank == size - 1) mapdata::write_texts(to_tail, texts);
  });
  const auto count = static_cast<std::int64_t>(head.size()) +
                     static_cast<std::int64_t>(values.size()) * mapdata::kValueLineBytes +
                     static_cast<std::int64_t>(tail.size());
  std::int64_t at = 0;
  MPI_Exscan(&count, &at, 1, MPI_INT64_T, MPI_SUM, comm);
  if (rank == 0) at = 0;  // the scan leaves rank 0's result undefined

  // The temporary file beside the target, reserved by rank 0 and opened by all.
  std::unique_ptr<rtl::PendingFile> pending;
  std::string temporary;
  agree(comm, [&] {
    if (rank != 0) return;
    pending = std::make_unique<rtl::PendingFile>(texts.file);
    ::close(pending->take_descriptor());
    temporary = pending->temporary();
  });
  temporary = detail::broadcast_text(comm, temporary);

  MPI_File fh = MPI_FILE_NULL;
  const int opened = MPI_File_open(comm, temporary.c_str(), MPI_MODE_WRONLY, MPI_INFO_NULL, &fh);
  int any_failed = opened != MPI_SUCCESS;
  MPI_Allreduce(MPI_IN_PLACE, &any_failed, 1, MPI_INT, MPI_MAX, comm);
  int written = MPI_SUCCESS, closed = MPI_SUCCESS;
  std::int64_t put = 0;
  if (!any_failed) {
    RunWriter run(fh, at);
    run.write(head);
    agree(comm, [&] {
      // The value lines a piece at a time, each written at its place while
      // the next is formatted into the same storage: the rank never holds
      // its whole text (over four times its block).
      std::string piece;
      piece.reserve(static_cast<std::size_t>(kPieceLines * mapdata::kValueLineBytes));
      textfmt::ListWriter out = mapdata::dat_writer([&piece](std::string_view b) { piece.append(b); });
      for (Index k = 0; k < values.size() && run.ok(); k += kPieceLines) {
        mapdata::write_values(out, values.part(k, std::min(kPieceLines, values.size() - k)));
        run.write(piece);
        piece.clear();
      }
    });
    run.write(tail);
    written = run.error();
    put = run.written() - at;
  }
  if (fh != MPI_FILE_NULL) closed = MPI_File_close(&fh);
  agree(comm, [&] {
    const std::string file = "File " + texts.file + ": ";
    if (opened != MPI_SUCCESS) rtl::fatal_error(file + "cannot open: " + mpi_error_text(opened));
    if (written != MPI_SUCCESS) rtl::fatal_error(file + "cannot write: " + mpi_error_text(written));
    if (!any_failed && written == MPI_SUCCESS && put != count)
      rtl::fatal_error(file + "cannot write: " + std::to_string(put) + " of " +
                       std::to_string(count) + " bytes written");
    if (closed != MPI_SUCCESS) rtl::fatal_error(file + "cannot close: " + mpi_error_text(closed));
  });
  // A rank whose open failed while others' succeeded: the error above.
  if (any_failed) detail::fail_everywhere(comm, "File " + texts.file + ": cannot open");

  agree(comm, [&] {
    if (rank == 0) pending->commit();
  });
  if (rank == 0) maparg::console_line(" Output in ", texts.file);
}

namespace {

// The forms: converted to single precision and a flat block on each rank;
// only an absent title becomes the form's default.
mapdata::DatMapOptions with_title(const mapdata::DatMapOptions& o, std::string_view title) {
  mapdata::DatMapOptions c = o;
  if (!c.title) c.title = title;
  return c;
}

}  // namespace

void dat_map_r8(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
                VecView<double> z, const mapdata::DatMapOptions& o) {
  std::vector<float> fx, fy, fz;
  agree(comm, [&] {
    fx = maparg::to_vector<float>(x);
    fy = maparg::to_vector<float>(y);
    fz = maparg::to_vector<float>(z);
  });
  dat_map(comm, offset, fx, fy, fz, with_title(o, mapdata::kDefaultTitleR8));
}

void dat_map_2d(MPI_Comm comm, Offset offset, VecView<float> x, VecView<float> y,
                MatView<float> z, const mapdata::DatMapOptions& o) {
  std::vector<float> fz;
  agree(comm, [&] { fz = maparg::pack<float>(z); });
  dat_map(comm, offset, x, y, fz, with_title(o, maparg::kDefaultTitle));
}

void dat_map_2d_r8(MPI_Comm comm, Offset offset, VecView<double> x, VecView<double> y,
                   MatView<double> z, const mapdata::DatMapOptions& o) {
  std::vector<float> fx, fy, fz;
  agree(comm, [&] {
    fx = maparg::to_vector<float>(x);
    fy = maparg::to_vector<float>(y);
    fz = maparg::pack<float>(z);
  });
  dat_map(comm, offset, fx, fy, fz, with_title(o, maparg::kDefaultTitle));
}

}  // namespace mapmpi
