#pragma once
// The NetCDF map file's layout, written into and read from a NetCDF file that
// is already open: these functions only take its ncid, so that they compile
// against any build of the NetCDF library (the serial one, or one that opens
// files for several processes at once) and leave creating, opening, closing
// and renaming the file to the layer that owns it (nc_file.h).
//
// The layout (NetCDF-4, CF conventions):
//   dimensions  x = nx, y = ny
//   variables   x(x), y(y)  coordinate variables, long_name = the labels,
//                           axis = "X" / "Y"
//               z(y, x)     the map, x fastest: z(j, i) is the value at
//                           (x(i), y(j)); long_name = the title
//   attributes  title, Conventions = "CF-1.8", history = "Written by
//               mapplot <version> (nc_map)"
// x, y and z are all float (NC_FLOAT) or all double (NC_DOUBLE), stored as
// given, bit for bit, contiguous and uncompressed. No variable has a fill
// value (no _FillValue, and no filling): every value is one the caller gave,
// NaN and infinities included, and a reader masks none of them.

#include <netcdf.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "maparg/text_fields.h"
#include "mapdata/map_reader.h"

namespace mapnc {

// What the file says besides the values.
struct MapHeader {
  std::size_t nx = 0;
  std::size_t ny = 0;
  nc_type type = NC_FLOAT;  // NC_FLOAT or NC_DOUBLE
  std::string xlabel, ylabel, title;
};

// The variables of a map file.
struct MapVariables {
  int x = -1, y = -1, z = -1;
};

// The texts of a call's arguments as the file holds them (80-character
// fields as the data export takes them, trailing blanks not kept; the log
// title under the log option), with `type`; nx and ny are left at 0.
MapHeader map_header(nc_type type, std::optional<int> log_option, maparg::OptText xlabel,
                     maparg::OptText ylabel, maparg::OptText title);

// The history attribute of the files written by this version.
std::string history_text();

// Defines the dimensions, variables and attributes of `h` in the file `ncid`
// (in define mode) and leaves define mode. A NetCDF status (NC_NOERR).
int define_map(int ncid, const MapHeader& h, MapVariables& v);

// Writes x (nx values) and y (ny values), in the variables' type.
int put_coordinates(int ncid, const MapVariables& v, const void* x, const void* y);

// Writes rows first .. first + rows - 1 of z (rows of nx values each, x
// fastest) from `z`, in the variables' type.
int put_rows(int ncid, const MapVariables& v, std::size_t nx, std::size_t first, std::size_t rows,
             const void* z);

// Reads the map of the open file `ncid`, whose size is `file_size` bytes;
// errors begin with `path`. Every length the file declares is checked
// against its size before storage is taken for it, so a file cannot make the
// reader take more memory or time than its own size allows. The values come
// as stored: a float file fills x, y and z, a double one x_r8, y_r8 and z_r8.
// A trial reads everything but the values of contiguous variables (reading
// those is a plain read of the bytes where they lie) and keeps no values: it
// finds whether the library gets through the file.
enum class Reading { everything, trial };
mapdata::MapReadResult read_opened(int ncid, std::uint64_t file_size, const std::string& path,
                                   Reading reading = Reading::everything);

}  // namespace mapnc
