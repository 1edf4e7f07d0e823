// The data export of a distributed field: one file, written by every rank
// at once.
//
// The file is a sequence of lines in the order header, x, y, z (row by row,
// x index fastest), texts. Rank r formats the lines of its even share of
// the rows of z, rank 0 those before z as well and the last rank the texts
// after it, each with the data export's own line routines
// (mapdata/dat_records.h); an exclusive scan of the byte counts places each
// rank's bytes, which one collective write puts there.

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <string>
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

// `n` bytes as one MPI datatype: whole mebibytes and the rest, so that a
// part of any size goes in one call (whose counts are ints).
MPI_Datatype byte_run(std::int64_t n) {
  constexpr std::int64_t kChunk = std::int64_t{1} << 20;
  MPI_Datatype chunk, run;
  MPI_Type_contiguous(static_cast<int>(kChunk), MPI_BYTE, &chunk);
  int lengths[2] = {static_cast<int>(n / kChunk), static_cast<int>(n % kChunk)};
  MPI_Aint places[2] = {0, static_cast<MPI_Aint>(n / kChunk * kChunk)};
  MPI_Datatype types[2] = {chunk, MPI_BYTE};
  MPI_Type_create_struct(2, lengths, places, types, &run);
  MPI_Type_commit(&run);
  MPI_Type_free(&chunk);
  return run;
}

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

  // This rank's lines.
  std::string bytes;
  agree(comm, [&] {
    const detail::Rows rows = detail::row_share(layout, rank);
    // Each value line is a 15-column field and its line ending.
    bytes.reserve(static_cast<std::size_t>((rows.end - rows.first) * layout.nx * 17 +
                                           (rank == 0 ? (layout.nx + layout.ny) * 17 + 40 : 0)));
    textfmt::ListWriter out = mapdata::dat_writer([&bytes](std::string_view b) { bytes.append(b); });
    if (rank == 0) {
      mapdata::write_header(out, static_cast<std::int32_t>(layout.nx), static_cast<std::int32_t>(layout.ny));
      mapdata::write_values(out, VecView<float>(gx));
      mapdata::write_values(out, VecView<float>(gy));
    }
    mapdata::write_values(out, values);
    if (rank == size - 1) mapdata::write_texts(out, texts);
  });
  // What the lines were formatted from (which `values` views) is no longer needed.
  std::vector<float>().swap(moved);
  std::vector<float>().swap(logs);
  const auto count = static_cast<std::int64_t>(bytes.size());
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
  // Each rank's part is one contiguous run of the file: every rank writes
  // its own (an aggregator a rank), instead of one rank taking in and
  // writing everyone's bytes, which is what the collective write does by
  // default on a single machine.
  MPI_Info hints;
  MPI_Info_create(&hints);
  const std::string aggregators = std::to_string(size);
  MPI_Info_set(hints, "cb_nodes", aggregators.c_str());         // ROMIO
  MPI_Info_set(hints, "num_aggregators", aggregators.c_str());  // OMPIO
  const int opened = MPI_File_open(comm, temporary.c_str(), MPI_MODE_WRONLY, hints, &fh);
  MPI_Info_free(&hints);
  int any_failed = opened != MPI_SUCCESS;
  MPI_Allreduce(MPI_IN_PLACE, &any_failed, 1, MPI_INT, MPI_MAX, comm);
  int written = MPI_SUCCESS, closed = MPI_SUCCESS;
  MPI_Count put = 0;
  if (!any_failed) {
    MPI_Datatype run = byte_run(count);
    MPI_Status status;
    written = MPI_File_write_at_all(fh, at, bytes.data(), 1, run, &status);
    if (written == MPI_SUCCESS) MPI_Get_elements_x(&status, MPI_BYTE, &put);
    MPI_Type_free(&run);
  }
  if (fh != MPI_FILE_NULL) closed = MPI_File_close(&fh);
  std::string().swap(bytes);
  agree(comm, [&] {
    const std::string file = "File " + texts.file + ": ";
    if (opened != MPI_SUCCESS) rtl::fatal_error(file + "cannot open: " + mpi_error_text(opened));
    if (written != MPI_SUCCESS) rtl::fatal_error(file + "cannot write: " + mpi_error_text(written));
    if (!any_failed && put != count)
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
