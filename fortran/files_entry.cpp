// The C entry points behind the Fortran module mapplot_files (mapplot_files.f90):
// the PostScript map, the data export, the NetCDF map file and the map file
// reader, which need
// no window system. Each receives what its bind(C) interface passes
// (descriptors of the arrays, pointers to the integers, null for an integer
// left out, each text as its characters and length, -1 when left out, the
// PostScript map's named options as one struct, map_options.h) and calls
// the C++ routine of the same name on views of the caller's own storage
// (descriptors.h), with the caller's stat and errmsg (entry_support.h). The
// PostScript map and the data export hold SIGXFSZ back while they run
// (entry_support.h: FileSizeSignalHeld), so that a file beyond the file size
// limit is their fatal error. Nothing here may throw into Fortran.

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>

#include "fortran/descriptors.h"
#include "fortran/entry_support.h"
#include "fortran/map_options.h"
#include "mapdata/dat_map.h"
#include "mapdata/map_reader.h"
#include "mapnc/nc_map.h"
#include "mapps/ps_map.h"
#include "rtl/fatal.h"
#include "textfmt/fixed_text.h"

using CFI = CFI_cdesc_t;
using Length = std::ptrdiff_t;
using fortran_binding::MapOptionArguments;
using fortran_binding::MapOptions;
using fortran_binding::MatrixArgument;
using fortran_binding::optional_int;
using fortran_binding::optional_text;
using fortran_binding::NoFileReason;
using fortran_binding::no_file_reason;
using fortran_binding::run_with_status;
using fortran_binding::run_writing_file;
using fortran_binding::VectorArgument;

namespace {

template <class T>
using Vec = VectorArgument<T>;
template <class T>
using Mat = MatrixArgument<T>;

// Calls `form` with views of x and y (of P) and of z (through ZArgument),
// then the optional arguments as given.
template <class P, class ZArgument, class Form, class... Optional>
void call_form(int* stat, char* errmsg, Length nerrmsg, Form form, const CFI* x, const CFI* y,
               const CFI* z, Optional... optional) noexcept {
  run_writing_file(stat, errmsg, nerrmsg, [&] {
    const VectorArgument<P> xs(x), ys(y);
    const ZArgument zs(z);
    form(xs.view(), ys.view(), zs.view(), optional...);
  });
}

}  // namespace

NoFileReason fortran_binding::no_file_reason(const mapps::PsMapResult& result) {
  using Outcome = mapps::PsMapResult::Outcome;
  if (result.outcome == Outcome::kWritten || result.outcome == Outcome::kNoFile ||
      result.outcome == Outcome::kOnPage)
    return std::nullopt;
  return result.message;
}

// The positional overload of a routine, the one that takes every optional argument.
#define MAPPLOT_FORM(routine) [](auto... a) { routine(a...); }

extern "C" {

// --- PostScript map ---

// After stat and errmsg, the map's named options as one struct
// (map_options.h: MapOptions<P> reads each option in the kind it came in).
// A map that writes no file sets stat to kNoFileWritten.
#define MAPPLOT_PS_ENTRY(name, P, ZArgument)                                                   \
  void mapplot_##name(const CFI* x, const CFI* y, const CFI* z, const int* log,              \
                      const char* xlabel, Length nxlabel, const char* ylabel, Length nylabel, \
                      const char* title, Length ntitle, const char* file, Length nfile,       \
                      const char* device, Length ndevice, int* stat, char* errmsg,            \
                      Length nerrmsg, const MapOptionArguments* options) noexcept {           \
    run_writing_file(stat, errmsg, nerrmsg, [&] {                                             \
      const VectorArgument<P> xs(x), ys(y);                                                   \
      const ZArgument zs(z);                                                                  \
      const MapOptions<P> named(*options);                                                    \
      return no_file_reason(mapps::name(                                                      \
          xs.view(), ys.view(), zs.view(),                                                    \
          named.into(mapps::PsMapOptions{.log = optional_int(log),                            \
                                         .xlabel = optional_text(xlabel, nxlabel),            \
                                         .ylabel = optional_text(ylabel, nylabel),            \
                                         .title = optional_text(title, ntitle),               \
                                         .file = optional_text(file, nfile),                  \
                                         .device = optional_text(device, ndevice)})));        \
    });                                                                                       \
  }

MAPPLOT_PS_ENTRY(ps_map, float, Vec<float>)
MAPPLOT_PS_ENTRY(ps_map_r8, double, Vec<double>)
MAPPLOT_PS_ENTRY(ps_map_2d, float, Mat<float>)
MAPPLOT_PS_ENTRY(ps_map_2d_r8, double, Mat<double>)

// --- A page of panels ---

// type(map_page): the page it stands for, null while none is open.
struct MapPage {
  mapps::Page* handle;
};

// Opens a page into `page` (closing one that is open first); a device that
// cannot be opened leaves it closed, and with stat kNoFileWritten.
void mapplot_page_open(MapPage* page, const char* file, Length nfile, const char* device,
                       Length ndevice, const int* panels, int* stat, char* errmsg,
                       Length nerrmsg, const MapOptionArguments* options) noexcept {
  run_writing_file(stat, errmsg, nerrmsg, [&]() -> NoFileReason {
    if (page->handle != nullptr) {
      std::unique_ptr<mapps::Page> open(std::exchange(page->handle, nullptr));
      open->close();
    }
    const MapOptions<float> named(*options);
    const mapps::PsMapOptions o = named.into(mapps::PsMapOptions{});
    auto opened = std::make_unique<mapps::Page>(optional_text(file, nfile),
                                                optional_text(device, ndevice),
                                                std::array<int, 2>{panels[0], panels[1]}, o.pixels);
    if (!opened->is_open()) return opened->opened().message;
    page->handle = opened.release();
    return std::nullopt;
  });
}

// Writes and closes the page; one that is not open stays as it is.
void mapplot_page_close(MapPage* page, int* stat, char* errmsg, Length nerrmsg) noexcept {
  run_writing_file(stat, errmsg, nerrmsg, [&]() -> NoFileReason {
    if (page->handle == nullptr) return std::nullopt;
    const std::unique_ptr<mapps::Page> open(std::exchange(page->handle, nullptr));
    return no_file_reason(open->close());
  });
}

// --- Data export ---

#define MAPPLOT_FILE_ENTRY(space, name, P, ZArgument)                                          \
  void mapplot_##name(const CFI* x, const CFI* y, const CFI* z, const int* log,              \
                      const char* xlabel, Length nxlabel, const char* ylabel, Length nylabel, \
                      const char* title, Length ntitle, const char* file, Length nfile,       \
                      int* stat, char* errmsg, Length nerrmsg) noexcept {                     \
    call_form<P, ZArgument>(stat, errmsg, nerrmsg, MAPPLOT_FORM(space::name), x, y, z,        \
                            optional_int(log), optional_text(xlabel, nxlabel),                \
                            optional_text(ylabel, nylabel), optional_text(title, ntitle),     \
                            optional_text(file, nfile));                                      \
  }

MAPPLOT_FILE_ENTRY(mapdata, dat_map, float, Vec<float>)
MAPPLOT_FILE_ENTRY(mapdata, dat_map_r8, double, Vec<double>)
MAPPLOT_FILE_ENTRY(mapdata, dat_map_2d, float, Mat<float>)
MAPPLOT_FILE_ENTRY(mapdata, dat_map_2d_r8, double, Mat<double>)

// --- NetCDF map file ---

MAPPLOT_FILE_ENTRY(mapnc, nc_map, float, Vec<float>)
MAPPLOT_FILE_ENTRY(mapnc, nc_map_r8, double, Vec<double>)
MAPPLOT_FILE_ENTRY(mapnc, nc_map_2d, float, Mat<float>)
MAPPLOT_FILE_ENTRY(mapnc, nc_map_2d_r8, double, Mat<double>)

// --- Reading a map file ---

// read_map in steps, as Fortran allocates the arrays and texts: this one
// reads the file named (blanks around the name dropped, as the export does)
// and gives the counts and the texts' lengths, then mapplot_map_text and
// mapplot_take_map (real(4) arrays) or mapplot_take_map_r8 (real(8) ones)
// copy the contents into storage of those sizes. Returns the contents to
// take, or null after an error (which ends the program when stat is absent).
// Double precision values go into real(8) arrays only: into real(4) ones
// they would not be the values of the file.
static mapdata::MapData* read_map_file(const char* file, Length nfile, Length* nx, Length* ny,
                                       Length* nz, Length* nxlabel, Length* nylabel,
                                       Length* ntitle, int* stat, char* errmsg, Length nerrmsg,
                                       bool into_double) noexcept {
  std::unique_ptr<mapdata::MapData> map;
  run_with_status(stat, errmsg, nerrmsg, [&] {
    const std::string name(textfmt::strip(optional_text(file, nfile).value_or("")));
    rtl::refuse_nul_bytes(name, "File name");
    mapdata::MapReadResult result = mapnc::read_map(name);
    if (!result) rtl::fatal_error(result.error);
    if (result.map->double_precision && !into_double)
      rtl::fatal_error(name + ": the file holds double precision values: read it into real(8) arrays");
    map = std::make_unique<mapdata::MapData>(std::move(*result.map));
  });
  if (!map) return nullptr;
  const bool r8 = map->double_precision;
  *nx = static_cast<Length>(r8 ? map->x_r8.size() : map->x.size());
  *ny = static_cast<Length>(r8 ? map->y_r8.size() : map->y.size());
  *nz = static_cast<Length>(r8 ? map->z_r8.size() : map->z.size());
  *nxlabel = static_cast<Length>(map->xlabel.size());
  *nylabel = static_cast<Length>(map->ylabel.size());
  *ntitle = static_cast<Length>(map->title.size());
  return map.release();
}

mapdata::MapData* mapplot_read_map(const char* file, Length nfile, Length* nx, Length* ny,
                                   Length* nz, Length* nxlabel, Length* nylabel, Length* ntitle,
                                   int* stat, char* errmsg, Length nerrmsg) noexcept {
  return read_map_file(file, nfile, nx, ny, nz, nxlabel, nylabel, ntitle, stat, errmsg, nerrmsg,
                       false);
}

mapdata::MapData* mapplot_read_map_r8(const char* file, Length nfile, Length* nx, Length* ny,
                                      Length* nz, Length* nxlabel, Length* nylabel,
                                      Length* ntitle, int* stat, char* errmsg,
                                      Length nerrmsg) noexcept {
  return read_map_file(file, nfile, nx, ny, nz, nxlabel, nylabel, ntitle, stat, errmsg, nerrmsg,
                       true);
}

// Copies the x label (which = 1), the y label (2) or the title (3) into
// storage of its length.
void mapplot_map_text(const mapdata::MapData* map, int which, char* text) noexcept {
  const std::string& from = which == 1 ? map->xlabel : which == 2 ? map->ylabel : map->title;
  std::copy(from.begin(), from.end(), text);
}

// Copies the values into x(nx), y(ny), z(nz), then lets the contents go.
void mapplot_take_map(mapdata::MapData* map, float* x, float* y, float* z) noexcept {
  const std::unique_ptr<mapdata::MapData> taken(map);
  std::copy(taken->x.begin(), taken->x.end(), x);
  std::copy(taken->y.begin(), taken->y.end(), y);
  std::copy(taken->z.begin(), taken->z.end(), z);
}

// The same into real(8) arrays: double precision values as they are, single
// precision ones widened (exactly).
void mapplot_take_map_r8(mapdata::MapData* map, double* x, double* y, double* z) noexcept {
  const std::unique_ptr<mapdata::MapData> taken(map);
  if (taken->double_precision) {
    std::copy(taken->x_r8.begin(), taken->x_r8.end(), x);
    std::copy(taken->y_r8.begin(), taken->y_r8.end(), y);
    std::copy(taken->z_r8.begin(), taken->z_r8.end(), z);
  } else {
    std::copy(taken->x.begin(), taken->x.end(), x);
    std::copy(taken->y.begin(), taken->y.end(), y);
    std::copy(taken->z.begin(), taken->z.end(), z);
  }
}

// A fatal error the Fortran layer finds before any call (an argument of a
// type the routine does not take), for a call without stat: it ends the
// program as the C++ routines' fatal errors do, with `message` alone.
void mapplot_fatal_error(const char* message, Length nmessage) noexcept {
  run_with_status(nullptr, nullptr, -1,
                  [&] { rtl::fatal_error(std::string_view(message, nmessage)); });
}

}  // extern "C"
