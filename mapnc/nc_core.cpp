#include "mapnc/nc_core.h"

#include "textfmt/fixed_text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#ifndef MAPPLOT_VERSION
#error "MAPPLOT_VERSION is defined by the build"
#endif

namespace mapnc {
namespace {

int put_text(int ncid, int varid, const char* name, const std::string& text) {
  return nc_put_att_text(ncid, varid, name, text.size(), text.data());
}

// The first failing status of a sequence of NetCDF calls.
#define MAPNC_TRY(call)                   \
  do {                                    \
    if (const int s_ = (call); s_ != NC_NOERR) return s_; \
  } while (false)

int define_variable(int ncid, const char* name, nc_type type, int ndims, const int* dims,
                    const std::string& long_name, const char* axis, int& id) {
  MAPNC_TRY(nc_def_var(ncid, name, type, ndims, dims, &id));
  MAPNC_TRY(nc_def_var_chunking(ncid, id, NC_CONTIGUOUS, nullptr));
  // No fill value: nothing is filled before the values are written, and a
  // reader takes every value for what it is (none of them means "missing").
  MAPNC_TRY(nc_def_var_fill(ncid, id, NC_NOFILL, nullptr));
  MAPNC_TRY(put_text(ncid, id, "long_name", long_name));
  if (axis != nullptr) MAPNC_TRY(nc_put_att_text(ncid, id, "axis", 1, axis));
  return NC_NOERR;
}

}  // namespace

MapHeader map_header(nc_type type, std::optional<int> log_option, maparg::OptText xlabel,
                     maparg::OptText ylabel, maparg::OptText title) {
  using maparg::Reduce;
  MapHeader h;
  h.type = type;
  h.xlabel = textfmt::trim(maparg::text_field(xlabel, maparg::kDefaultXLabel, Reduce::leading));
  h.ylabel = textfmt::trim(maparg::text_field(ylabel, maparg::kDefaultYLabel, Reduce::leading));
  std::string tfield = maparg::text_field(title, maparg::kDefaultTitle, Reduce::none);
  if (maparg::truth(log_option)) tfield = maparg::log_title(tfield);
  h.title = textfmt::trim(tfield);
  return h;
}

std::string history_text() { return "Written by mapplot " MAPPLOT_VERSION " (nc_map)"; }

int define_map(int ncid, const MapHeader& h, MapVariables& v) {
  int dx = -1, dy = -1;
  MAPNC_TRY(nc_def_dim(ncid, "x", h.nx, &dx));
  MAPNC_TRY(nc_def_dim(ncid, "y", h.ny, &dy));
  MAPNC_TRY(define_variable(ncid, "x", h.type, 1, &dx, h.xlabel, "X", v.x));
  MAPNC_TRY(define_variable(ncid, "y", h.type, 1, &dy, h.ylabel, "Y", v.y));
  const int zdims[2] = {dy, dx};
  MAPNC_TRY(define_variable(ncid, "z", h.type, 2, zdims, h.title, nullptr, v.z));
  MAPNC_TRY(put_text(ncid, NC_GLOBAL, "title", h.title));
  MAPNC_TRY(put_text(ncid, NC_GLOBAL, "Conventions", "CF-1.8"));
  MAPNC_TRY(put_text(ncid, NC_GLOBAL, "history", history_text()));
  return nc_enddef(ncid);
}

int put_coordinates(int ncid, const MapVariables& v, const void* x, const void* y) {
  MAPNC_TRY(nc_put_var(ncid, v.x, x));
  return nc_put_var(ncid, v.y, y);
}

int put_rows(int ncid, const MapVariables& v, std::size_t nx, std::size_t first, std::size_t rows,
             const void* z) {
  const std::size_t start[2] = {first, 0}, count[2] = {rows, nx};
  return nc_put_vara(ncid, v.z, start, count, z);
}

// ---------------------------------------------------------------------------
// Reading

namespace {

mapdata::MapReadResult failure(std::string message) {
  mapdata::MapReadResult r;
  r.error = std::move(message);
  return r;
}

// A variable as the layout needs it: its type, rank and dimensions.
struct Variable {
  int id = -1;
  nc_type type = NC_NAT;
  int ndims = 0;
  std::array<int, NC_MAX_VAR_DIMS> dims{};
  bool chunked = false;
};

// A text attribute, or "" when there is none; false when it is there but no
// text, or longer than the file could hold.
bool text_attribute(int ncid, int varid, const char* name, std::uint64_t file_size,
                    std::string& text) {
  text.clear();
  nc_type type = NC_NAT;
  std::size_t length = 0;
  if (nc_inq_att(ncid, varid, name, &type, &length) != NC_NOERR) return true;
  if (type == NC_CHAR) {
    if (length > file_size) return false;
    text.resize(length);
    if (length > 0 && nc_get_att_text(ncid, varid, name, text.data()) != NC_NOERR) return false;
  } else if (type == NC_STRING && length == 1) {
    char* value = nullptr;
    if (nc_get_att_string(ncid, varid, name, &value) != NC_NOERR) return false;
    if (value != nullptr) text = value;
    nc_free_string(1, &value);
  } else {
    return false;
  }
  // A text ends at a NUL byte, as the C strings of other readers do.
  text.resize(std::strlen(text.c_str()));
  return true;
}

}  // namespace

mapdata::MapReadResult read_opened(int ncid, std::uint64_t file_size, const std::string& path,
                                   Reading reading) {
  const auto nc_failure = [&path](const char* what, int status) {
    return failure(path + ": " + what + ": " + nc_strerror(status));
  };
  Variable x, y, z;
  for (auto [name, v] : {std::pair{"x", &x}, {"y", &y}, {"z", &z}}) {
    if (const int s = nc_inq_varid(ncid, name, &v->id); s != NC_NOERR)
      return failure(path + ": no variable " + name + " (" + nc_strerror(s) + ")");
    if (const int s = nc_inq_varndims(ncid, v->id, &v->ndims); s != NC_NOERR)
      return nc_failure("cannot read the variables", s);
    if (v->ndims != (v == &z ? 2 : 1))
      return failure(path + ": variable " + name + " has " + std::to_string(v->ndims) +
                     " dimensions, not " + (v == &z ? "2" : "1"));
    if (const int s = nc_inq_var(ncid, v->id, nullptr, &v->type, nullptr, v->dims.data(), nullptr);
        s != NC_NOERR)
      return nc_failure("cannot read the variables", s);
  }
  if ((x.type != NC_FLOAT && x.type != NC_DOUBLE) || y.type != x.type || z.type != x.type)
    return failure(path + ": x, y and z are not all float or all double values");
  if (z.dims[0] != y.dims[0] || z.dims[1] != x.dims[0])
    return failure(path + ": z is not a variable over (y, x)");
  std::size_t nx = 0, ny = 0;
  if (const int s = nc_inq_dimlen(ncid, x.dims[0], &nx); s != NC_NOERR)
    return nc_failure("cannot read the dimensions", s);
  if (const int s = nc_inq_dimlen(ncid, y.dims[0], &ny); s != NC_NOERR)
    return nc_failure("cannot read the dimensions", s);
  // The values must fit in the file: its size bounds what is taken for them,
  // whatever lengths it declares. The data file's header counts in 32 bits,
  // and so do the lengths here.
  const std::uint64_t width = x.type == NC_FLOAT ? 4 : 8;
  constexpr std::uint64_t kMostCount = std::numeric_limits<std::int32_t>::max();
  const bool fits = nx <= kMostCount && ny <= kMostCount &&
                    (nx + ny + std::uint64_t{nx} * ny) <= file_size / width;
  if (!fits)
    return failure(path + ": the file declares " + std::to_string(nx) + " x " +
                   std::to_string(ny) + " values, more than its " + std::to_string(file_size) +
                   " bytes hold");

  // A chunked variable is read a chunk at a time: a chunk, too, must fit.
  for (Variable* v : {&x, &y, &z}) {
    int storage = NC_CONTIGUOUS;
    std::array<std::size_t, NC_MAX_VAR_DIMS> chunks{};
    if (const int s = nc_inq_var_chunking(ncid, v->id, &storage, chunks.data()); s != NC_NOERR)
      return nc_failure("cannot read the variables", s);
    if (storage != NC_CHUNKED) continue;
    v->chunked = true;
    std::uint64_t values = 1;
    for (int k = 0; k < v->ndims; ++k) {
      if (chunks[k] > file_size || (values *= std::max<std::uint64_t>(chunks[k], 1)) > file_size)
        return failure(path + ": a chunk of the values is larger than the file");
    }
  }

  mapdata::MapReadResult r;
  mapdata::MapData& d = r.map.emplace();
  d.format = mapdata::MapData::Format::netcdf;
  d.nx = static_cast<std::int32_t>(nx);
  d.ny = static_cast<std::int32_t>(ny);
  d.double_precision = x.type == NC_DOUBLE;
  // A trial reads the values only where reaching them takes the file's
  // index of chunks, and keeps none.
  const bool keep = reading == Reading::everything;
  const auto get = [&](const Variable& v, std::size_t n, auto& into) {
    if (!keep && !v.chunked) return NC_NOERR;
    into.resize(n);
    const int status = n == 0 ? NC_NOERR : nc_get_var(ncid, v.id, into.data());
    if (!keep) std::vector<typename std::decay_t<decltype(into)>::value_type>().swap(into);
    return status;
  };
  int s = NC_NOERR;
  if (d.double_precision) {
    if ((s = get(x, nx, d.x_r8)) == NC_NOERR && (s = get(y, ny, d.y_r8)) == NC_NOERR)
      s = get(z, nx * ny, d.z_r8);
  } else {
    if ((s = get(x, nx, d.x)) == NC_NOERR && (s = get(y, ny, d.y)) == NC_NOERR)
      s = get(z, nx * ny, d.z);
  }
  if (s != NC_NOERR) return nc_failure("cannot read the values", s);
  if (!text_attribute(ncid, x.id, "long_name", file_size, d.xlabel) ||
      !text_attribute(ncid, y.id, "long_name", file_size, d.ylabel) ||
      !text_attribute(ncid, NC_GLOBAL, "title", file_size, d.title))
    return failure(path + ": a long_name or the title is not a text");
  return r;
}

}  // namespace mapnc
