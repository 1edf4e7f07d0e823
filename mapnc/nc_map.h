#pragma once
// The NetCDF map file: a map z = z(x, y) written exactly, in the caller's
// precision, as a NetCDF-4 file with the CF conventions (layout: nc_core.h),
// and read back by read_map, which reads data files (mapdata/dat_map.h) too.
//
// The options are the data export's: the log option (lowest bit set: the
// file holds log10 of the values and the title becomes "log(<title>)"), the
// x label, the y label, the title (80-character fields, as the data export
// takes them: absent gives the default, labels lose their leading blanks;
// trailing blanks are not kept) and the file name ("Map.nc" unless named,
// used whole, without its surrounding blanks). The labels are the long_name
// of x and y, the title the file's title and the long_name of z. Afterwards
// the console shows " Output in <file name>".
//
// The single-precision forms write float variables, the double ones double
// variables, each value bit for bit as given (NaN and infinities too: there
// is no fill value to mistake them for). The _r8 form with a flat z takes
// the data export's default title for it (mapdata::kDefaultTitleR8).
//
// Fatal, ending the program with nothing on disk changed: z not holding
// nx * ny values (a matrix z must be nx x ny), x or y empty, a value of zero
// or below under the log option ("log10: SING error", "log10: DOMAIN
// error"), a blank file name or one holding a NUL byte, a file that cannot be
// created or written (a full disk, a write-protected file or folder: the
// report names the file and the reason, as for the data file), and NetCDF
// refusing the contents ("File Map.nc: cannot write: NetCDF: <NetCDF's own
// message>"). NetCDF makes the file in memory; it is then written under a
// temporary name in the target's folder and renamed over any earlier file
// only once complete (rtl/safe_file.h: it keeps the earlier file's rights, a
// device or pipe gets the finished contents).
//
// The NetCDF library is not safe for threads: calls from several threads at
// once take their turn at it.

#include <optional>
#include <string>
#include <string_view>

#include "maparg/text_fields.h"
#include "maparg/views.h"
#include "mapdata/map_reader.h"

namespace mapnc {

inline constexpr std::string_view kDefaultFileName = "Map.nc";

// The base form: single-precision coordinates, z a flat vector (x fastest).
void nc_map(maparg::VecView<float> x, maparg::VecView<float> y, maparg::VecView<float> z,
            std::optional<int> log_option = std::nullopt, maparg::OptText xlabel = std::nullopt,
            maparg::OptText ylabel = std::nullopt, maparg::OptText title = std::nullopt,
            maparg::OptText file = std::nullopt);

// Double precision, z flat: double variables.
void nc_map_r8(maparg::VecView<double> x, maparg::VecView<double> y, maparg::VecView<double> z,
               std::optional<int> log_option = std::nullopt, maparg::OptText xlabel = std::nullopt,
               maparg::OptText ylabel = std::nullopt, maparg::OptText title = std::nullopt,
               maparg::OptText file = std::nullopt);

// Single precision, z a matrix whose element (i, j) is the value at (x(i), y(j)).
void nc_map_2d(maparg::VecView<float> x, maparg::VecView<float> y, maparg::MatView<float> z,
               std::optional<int> log_option = std::nullopt, maparg::OptText xlabel = std::nullopt,
               maparg::OptText ylabel = std::nullopt, maparg::OptText title = std::nullopt,
               maparg::OptText file = std::nullopt);

// Double precision, z a matrix: double variables.
void nc_map_2d_r8(maparg::VecView<double> x, maparg::VecView<double> y,
                  maparg::MatView<double> z, std::optional<int> log_option = std::nullopt,
                  maparg::OptText xlabel = std::nullopt, maparg::OptText ylabel = std::nullopt,
                  maparg::OptText title = std::nullopt, maparg::OptText file = std::nullopt);

// The optional arguments by name, each absent unless set:
//   mapnc::nc_map(x, y, z, {.title = "Spectrum", .file = "spectrum.nc"});
struct NcMapOptions {
  std::optional<int> log = std::nullopt;
  maparg::OptText xlabel = std::nullopt;
  maparg::OptText ylabel = std::nullopt;
  maparg::OptText title = std::nullopt;
  maparg::OptText file = std::nullopt;
};

inline void nc_map(maparg::VecView<float> x, maparg::VecView<float> y, maparg::VecView<float> z,
                   const NcMapOptions& o) {
  nc_map(x, y, z, o.log, o.xlabel, o.ylabel, o.title, o.file);
}
inline void nc_map_r8(maparg::VecView<double> x, maparg::VecView<double> y,
                      maparg::VecView<double> z, const NcMapOptions& o) {
  nc_map_r8(x, y, z, o.log, o.xlabel, o.ylabel, o.title, o.file);
}
inline void nc_map_2d(maparg::VecView<float> x, maparg::VecView<float> y,
                      maparg::MatView<float> z, const NcMapOptions& o) {
  nc_map_2d(x, y, z, o.log, o.xlabel, o.ylabel, o.title, o.file);
}
inline void nc_map_2d_r8(maparg::VecView<double> x, maparg::VecView<double> y,
                         maparg::MatView<double> z, const NcMapOptions& o) {
  nc_map_2d_r8(x, y, z, o.log, o.xlabel, o.ylabel, o.title, o.file);
}

// One name for the four forms, chosen by the precision of x, y and z and by
// z being flat or a matrix, as the Fortran module's netcdf_export:
//   mapnc::netcdf_export(x, y, z, {.title = "Spectrum", .file = "spectrum.nc"});
inline void netcdf_export(maparg::VecView<float> x, maparg::VecView<float> y,
                          maparg::VecView<float> z, const NcMapOptions& o = {}) {
  nc_map(x, y, z, o);
}
inline void netcdf_export(maparg::VecView<double> x, maparg::VecView<double> y,
                          maparg::VecView<double> z, const NcMapOptions& o = {}) {
  nc_map_r8(x, y, z, o);
}
inline void netcdf_export(maparg::VecView<float> x, maparg::VecView<float> y,
                          maparg::MatView<float> z, const NcMapOptions& o = {}) {
  nc_map_2d(x, y, z, o);
}
inline void netcdf_export(maparg::VecView<double> x, maparg::VecView<double> y,
                          maparg::MatView<double> z, const NcMapOptions& o = {}) {
  nc_map_2d_r8(x, y, z, o);
}

// Reads a map file of either kind, told apart by its first bytes: a NetCDF
// file (NetCDF-4 / HDF5, or the classic formats) through NetCDF, anything
// else (a pipe or device too) as a data file (mapdata::read_map_file, whose
// result it returns unchanged). A NetCDF file must hold x, y and z as
// nc_map writes them: float or double, all three alike, z over (y, x); it
// comes back with format netcdf, its values exactly as stored (a double file
// in x_r8, y_r8, z_r8), and its texts from the long_name of x and y and the
// title ("" where there is none). Any other NetCDF file (truncated, of other
// types or ranks, without these variables, declaring more values than its
// size holds) is an error naming the path and what is wrong, NetCDF's own
// message among it where NetCDF refused it.
mapdata::MapReadResult read_map(const std::string& path);

}  // namespace mapnc
