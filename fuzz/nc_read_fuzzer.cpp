// The map file reader on NetCDF files of arbitrary bytes: the input follows
// a NetCDF signature (NetCDF-4 / HDF5, or one of the classic formats, chosen
// by the first byte), so every input reaches NetCDF's reader.
//
// Invariants: it never crashes; an error is led by the path, short, and no
// map; a map read holds nx x, ny y and nx * ny z values, all in the
// precision it says, no more than the file's bytes can hold, and texts no
// longer than the file.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "mapnc/nc_map.h"

namespace {

using fuzz::show_text;

constexpr std::size_t kLongestError = 1000;

constexpr std::string_view kSignatures[] = {
    std::string_view("\x89HDF\r\n\x1a\n", 8), std::string_view("CDF\x01", 4),
    std::string_view("CDF\x02", 4), std::string_view("CDF\x05", 4)};

void check_result(const mapdata::MapReadResult& r, const std::string& path, std::size_t size) {
  const std::string input = "input of " + std::to_string(size) + " bytes";
  if (!r) {
    FUZZ_CHECK(r.error.starts_with(path + ": "), input + ": an error not led by the path: " +
                                                     show_text(r.error.substr(0, 200)));
    FUZZ_CHECK(r.error.size() < kLongestError,
               input + ": an error of " + std::to_string(r.error.size()) + " characters");
    return;
  }
  FUZZ_CHECK(r.error.empty(), input + ": a map and the error " + show_text(r.error));
  const mapdata::MapData& map = *r.map;
  FUZZ_CHECK(map.format == mapdata::MapData::Format::netcdf, input + ": not read as NetCDF");
  const std::size_t nx = static_cast<std::size_t>(map.nx), ny = static_cast<std::size_t>(map.ny);
  FUZZ_CHECK(map.nx >= 0 && map.ny >= 0, input + ": negative sizes");
  const bool r8 = map.double_precision;
  FUZZ_CHECK((r8 ? map.x_r8.size() : map.x.size()) == nx &&
                 (r8 ? map.y_r8.size() : map.y.size()) == ny &&
                 (r8 ? map.z_r8.size() : map.z.size()) == nx * ny,
             input + ": values of the wrong number");
  FUZZ_CHECK((r8 ? map.x.size() + map.y.size() + map.z.size()
                 : map.x_r8.size() + map.y_r8.size() + map.z_r8.size()) == 0,
             input + ": values of both precisions");
  FUZZ_CHECK((nx + ny + nx * ny) * (r8 ? 8 : 4) <= size, input + ": more values than bytes");
  for (const std::string* t : {&map.xlabel, &map.ylabel, &map.title})
    FUZZ_CHECK(t->size() <= size, input + ": a text longer than the file");
}

}  // namespace

// HDF5 asks malloc for what a hostile file's metadata says (hundreds of
// gigabytes) and refuses the file when it gets nothing, as it does outside
// the sanitizer: here too such a request gets nothing instead of ending the
// run.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view signature = kSignatures[data[0] % 4];
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string path = fuzz::scratch_folder() + "/read.nc";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(f != nullptr, "cannot write " + path);
  FUZZ_CHECK(std::fwrite(signature.data(), 1, signature.size(), f) == signature.size() &&
                 (rest.empty() || std::fwrite(rest.data(), 1, rest.size(), f) == rest.size()),
             "cannot write " + path);
  FUZZ_CHECK(std::fclose(f) == 0, "cannot write " + path);
  const mapdata::MapReadResult r = mapnc::read_map(path);
  std::remove(path.c_str());
  check_result(r, path, signature.size() + rest.size());
  return 0;
}
