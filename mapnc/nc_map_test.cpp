#include "mapnc/nc_map.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netcdf.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <climits>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "mapdata/dat_map.h"
#include "mapdata/test_support.h"
#include "mapnc/nc_core.h"
#include "rtl/fatal.h"
#include "rtl/testing/unprivileged.h"

namespace mapnc {
namespace {

using maparg::MatView;
using maparg::VecView;
using testing::HasSubstr;
using testing::Not;
using namespace mapdata::testing_support;

using NcMap = InTempFolder;
using NcMapDeathTest = InTempFolder;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <class F>
std::string console_of(F&& write) {
  testing::internal::CaptureStdout();
  write();
  return testing::internal::GetCapturedStdout();
}

template <class T>
std::vector<std::uint64_t> bits_of(const std::vector<T>& v) {
  std::vector<std::uint64_t> bits;
  for (const T value : v) {
    if constexpr (sizeof(T) == 4)
      bits.push_back(std::bit_cast<std::uint32_t>(value));
    else
      bits.push_back(std::bit_cast<std::uint64_t>(value));
  }
  return bits;
}

// A text attribute as the file holds it.
std::string attribute(int ncid, int varid, const char* name) {
  std::size_t n = 0;
  if (nc_inq_attlen(ncid, varid, name, &n) != NC_NOERR) return "<none>";
  std::string s(n, '\0');
  nc_get_att_text(ncid, varid, name, s.data());
  return s;
}

// Values that no text keeps exactly: NaN with a payload, both infinities,
// both zeros, the smallest subnormal, the default fill value of NetCDF
// (which a reader would mask were it the fill value), and neighbours.
template <class T>
std::vector<T> awkward_values(std::size_t n) {
  std::vector<T> v(n);
  for (std::size_t k = 0; k < n; ++k) v[k] = static_cast<T>(300.0 + 0.001 / static_cast<double>(k + 1));
  const T special[] = {std::numeric_limits<T>::quiet_NaN(),
                       -std::numeric_limits<T>::infinity(),
                       std::numeric_limits<T>::infinity(),
                       T(-0.0),
                       std::numeric_limits<T>::denorm_min(),
                       sizeof(T) == 4 ? T(NC_FILL_FLOAT) : T(NC_FILL_DOUBLE),
                       std::nextafter(T(1), T(2))};
  for (std::size_t k = 0; k < std::size(special) && k < n; ++k) v[k] = special[k];
  if (n > 8) {
    if constexpr (sizeof(T) == 4) v[8] = std::bit_cast<float>(std::uint32_t{0x7fc01234});
    else v[8] = std::bit_cast<double>(std::uint64_t{0x7ff8000000001234});
  }
  return v;
}

// Every form, with every option and without, writes its values bit for bit in
// its own precision and its texts as attributes, and read_map gives them
// back exactly; a data file still reads as it did.
TEST_F(NcMap, EveryFormRoundTripsBitForBitWithItsTexts) {
  const std::size_t nx = 7, ny = 5;
  const auto xf = awkward_values<float>(nx), yf = awkward_values<float>(ny);
  const auto zf = awkward_values<float>(nx * ny);
  const auto xd = awkward_values<double>(nx), yd = awkward_values<double>(ny);
  const auto zd = awkward_values<double>(nx * ny);
  // A strided view of every second element and a matrix seen transposed in
  // memory: the file holds the values in the caller's order all the same.
  std::vector<double> spread(2 * nx * ny), transposed(nx * ny);
  for (std::size_t k = 0; k < nx * ny; ++k) spread[2 * k] = zd[k];
  for (std::size_t i = 0; i < nx; ++i)
    for (std::size_t j = 0; j < ny; ++j) transposed[i * ny + j] = zd[j * nx + i];
  std::vector<double> positive(nx * ny);
  for (std::size_t k = 0; k < positive.size(); ++k) positive[k] = std::pow(10.0, double(k) - 10.0);
  std::vector<double> logs;
  for (double v : positive) logs.push_back(std::log10(v));

  struct Case {
    const char* what;
    std::function<void()> write;
    const char* file;
    bool r8;
    std::vector<double> z;  // as read back, widened from float when !r8
    std::string xlabel, ylabel, title;
  };
  const auto widen = [](const std::vector<float>& v) { return std::vector<double>(v.begin(), v.end()); };
  const std::string letters80(80, 'a'), long_title = "  Spectrum " + std::string(100, 'e');
  const Case cases[] = {
      {"nc_map defaults", [&] { nc_map(xf, yf, zf); }, "Map.nc", false, widen(zf), "x", "y",
       "Representation of z=z(x,y)"},
      {"nc_map_r8 defaults", [&] { nc_map_r8(xd, yd, zd); }, "Map.nc", true, zd, "x", "y",
       "Representation of y=y(x)"},
      {"nc_map_2d texts", [&] {
         nc_map_2d(xf, yf, MatView<float>(zf.data(), nx, ny),
                   {.xlabel = "   time / s", .ylabel = letters80 + "cut", .title = long_title,
                    .file = "  two d.nc "});
       }, "two d.nc", false, widen(zf), "time / s", letters80, long_title.substr(0, 80)},
      {"nc_map_2d_r8 transposed", [&] {
         nc_map_2d_r8(xd, yd, MatView<double>(transposed.data(), nx, ny, ny, 1), {.title = ""});
       }, "Map.nc", true, zd, "x", "y", ""},
      {"nc_map_r8 strided", [&] {
         netcdf_export(xd, yd, VecView<double>(spread.data(), nx * ny, 2), {.file = "s.nc"});
       }, "s.nc", true, zd, "x", "y", "Representation of y=y(x)"},
      {"log", [&] {
         netcdf_export(xd, yd, MatView<double>(positive.data(), nx, ny), {.log = -1, .title = "P"});
       }, "Map.nc", true, logs, "x", "y", "log(P)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(console_of(c.write), std::string("  Output in ") + c.file + "\n");
    const mapdata::MapReadResult r = read_map(c.file);
    ASSERT_TRUE(r) << r.error;
    const mapdata::MapData& d = *r.map;
    EXPECT_EQ(d.format, mapdata::MapData::Format::netcdf);
    EXPECT_EQ(d.double_precision, c.r8);
    EXPECT_EQ(d.nx, int(nx));
    EXPECT_EQ(d.ny, int(ny));
    if (c.r8) {
      EXPECT_EQ(bits_of(d.x_r8), bits_of(xd));
      EXPECT_EQ(bits_of(d.y_r8), bits_of(yd));
      EXPECT_EQ(bits_of(d.z_r8), bits_of(c.z));
      EXPECT_TRUE(d.x.empty() && d.z.empty());
    } else {
      EXPECT_EQ(bits_of(d.x), bits_of(xf));
      EXPECT_EQ(bits_of(d.y), bits_of(yf));
      EXPECT_EQ(bits_of(d.z), bits_of(zf));
      EXPECT_TRUE(d.x_r8.empty() && d.z_r8.empty());
    }
    EXPECT_EQ(d.xlabel, c.xlabel);
    EXPECT_EQ(d.ylabel, c.ylabel);
    EXPECT_EQ(d.title, c.title);

    // The attributes as any NetCDF reader sees them, and no fill value.
    int ncid = -1, z = -1, nvars = 0, no_fill = 0;
    ASSERT_EQ(nc_open(c.file, NC_NOWRITE, &ncid), NC_NOERR);
    int format = 0;
    nc_inq_format(ncid, &format);
    EXPECT_EQ(format, NC_FORMAT_NETCDF4);
    nc_inq_nvars(ncid, &nvars);
    EXPECT_EQ(nvars, 3);
    nc_inq_varid(ncid, "z", &z);
    EXPECT_EQ(attribute(ncid, NC_GLOBAL, "Conventions"), "CF-1.8");
    EXPECT_EQ(attribute(ncid, NC_GLOBAL, "history"), "Written by mapplot 1.0.0 (nc_map)");
    EXPECT_EQ(attribute(ncid, NC_GLOBAL, "title"), c.title);
    EXPECT_EQ(attribute(ncid, z, "long_name"), c.title);
    EXPECT_EQ(attribute(ncid, z, "_FillValue"), "<none>");
    nc_inq_var_fill(ncid, z, &no_fill, nullptr);
    EXPECT_EQ(no_fill, 1);
    nc_close(ncid);
  }
  EXPECT_EQ(entries(), (std::vector<std::string>{"Map.nc", "s.nc", "two d.nc"}));

  // A data file reads through read_map exactly as through its own reader.
  console_of([&] { mapdata::dat_map(xf, yf, zf, {.title = "text"}); });
  const mapdata::MapReadResult text = read_map("Map.dat"), own = mapdata::read_map_file("Map.dat");
  ASSERT_TRUE(text && own);
  EXPECT_EQ(text.map->format, mapdata::MapData::Format::data_file);
  EXPECT_EQ(bits_of(text.map->z), bits_of(own.map->z));
  EXPECT_EQ(text.map->title, "text");
  EXPECT_FALSE(text.map->double_precision);
}

// Calls that cannot give a file end the program with their reason, and leave
// every earlier file as it was and no temporary file behind.
TEST_F(NcMapDeathTest, FaultsAreFatalAndLeaveTheEarlierFile) {
  write_all("Map.nc", "earlier");
  const float v[] = {1, 2}, zero[] = {1, 0, 2, 3};
  const double one[] = {1};
  fs::create_directory("folder.nc");
  struct Case {
    std::function<void()> call;
    std::string message;
  };
  const Case cases[] = {
      {[&] { nc_map(v, v, v); }, "nc_map: z holds 2 values, not nx * ny = 2 * 2"},
      {[&] { nc_map_2d(v, v, MatView<float>(zero, 1, 4)); },
       "nc_map: z is a 1 x 4 matrix, not nx x ny = 2 x 2"},
      {[&] { nc_map_r8(VecView<double>(), one, VecView<double>()); },
       "nc_map: x and y must hold one value at least"},
      {[&] { nc_map(v, v, zero, -1); }, "log10: SING error"},
      {[&] { nc_map(v, v, zero, {.file = "   "}); }, "File name is blank"},
      {[&] { nc_map(v, v, zero, {.file = std::string_view("a\0b", 3)}); },
       "File name holds a NUL byte: a\\0b"},
      {[&] { nc_map(v, v, zero, {.file = "no/such/folder/Map.nc"}); },
       "File no/such/folder/Map.nc: cannot create: No such file or directory"},
      {[&] { nc_map(v, v, zero, {.file = "folder.nc"}); },
       "File folder.nc: cannot open: Is a directory"},
      {[&] { nc_map(v, v, zero, {.file = "/dev/full"}); },
       "File /dev/full: cannot write: No space left on device"},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(
        {
          console_to_stderr();
          c.call();
        },
        testing::ExitedWithCode(rtl::kFatalExitCode),
        testing::AllOf(HasSubstr(c.message), Not(HasSubstr("Output in"))))
        << c.message;
  }
  EXPECT_EQ(read_all("Map.nc"), "earlier");
  EXPECT_EQ(entries(), (std::vector<std::string>{"Map.nc", "folder.nc"}));

  // A caller that takes its errors back gets NetCDF's part of the report
  // with the file and errno, and writes again afterwards.
  {
    const rtl::ScopedHooks to_caller({.fatal_errors = rtl::FatalErrors::kToCaller});
    try {
      nc_map(v, v, zero, {.file = "no/such/folder/Map.nc"});
      ADD_FAILURE() << "no error";
    } catch (const rtl::FatalError& e) {
      EXPECT_EQ(e.error(), ENOENT);
      EXPECT_EQ(e.file(), "no/such/folder/Map.nc");
    }
  }

  // Write-protected file and folder, as an ordinary user.
  const std::string why = rtl::testing::why_not_unprivileged();
  if (!why.empty()) GTEST_SKIP() << "write-protected files not tried: " << why;
  chmod(dir_.c_str(), 0777);
  chmod("Map.nc", 0444);
  fs::create_directory("shut");
  write_all("shut/Map.nc", "earlier");
  chmod("shut/Map.nc", 0666);  // the file may be written, the folder not
  chmod("shut", 0555);
  for (const auto& [file, message] :
       {std::pair{"Map.nc", "File Map.nc: cannot open: Permission denied"},
        {"shut/Map.nc", "File shut/Map.nc: cannot create: Permission denied"}}) {
    EXPECT_EXIT(
        {
          if (!rtl::testing::become_unprivileged()) std::abort();
          nc_map(v, v, zero, {.file = file});
        },
        testing::ExitedWithCode(rtl::kFatalExitCode), HasSubstr(message));
    EXPECT_EQ(read_all(file), "earlier");
  }
  chmod("shut", 0755);
  EXPECT_EQ(rtl::testing::entries_of("shut"), std::vector<std::string>{"Map.nc"});
}

// Storage that runs out while the file is written: a file size limit, and a
// full file system where this process may mount a small one.
TEST_F(NcMapDeathTest, AFullDiskOrFileSizeLimitEndsWithTheReportAndKeepsTheEarlierFile) {
  const std::vector<double> x(300, 1.0), y(200, 2.0), z(300 * 200, 3.0);  // 480 kB of values
  write_all("Map.nc", "earlier");
  EXPECT_EXIT(
      {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 65536;
        setrlimit(RLIMIT_FSIZE, &limit);
        nc_map_r8(x, y, z);
      },
      testing::ExitedWithCode(rtl::kFatalExitCode),
      "File Map.nc: cannot write: File too large");
  EXPECT_EQ(read_all("Map.nc"), "earlier");
  EXPECT_EQ(entries(), std::vector<std::string>{"Map.nc"});

  fs::create_directory("small");
  if (mount("mapplot-test", "small", "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
  write_all("small/Map.nc", "earlier");
  EXPECT_EXIT(nc_map_r8(x, y, z, {.file = "small/Map.nc"}),
              testing::ExitedWithCode(rtl::kFatalExitCode),
              "File small/Map.nc: cannot write: No space left on device");
  EXPECT_EQ(read_all("small/Map.nc"), "earlier");
  EXPECT_EQ(rtl::testing::entries_of("small"), std::vector<std::string>{"Map.nc"});
  umount2("small", MNT_DETACH);
}

// A NetCDF file made here through the library, for the reader to refuse.
void make_file(const char* name, int mode, const std::function<void(int)>& define) {
  int ncid = -1;
  ASSERT_EQ(nc_create(name, mode | NC_CLOBBER, &ncid), NC_NOERR);
  nc_set_fill(ncid, NC_NOFILL, nullptr);
  define(ncid);
  ASSERT_EQ(nc_close(ncid), NC_NOERR);
}

int def(int ncid, const char* name, nc_type type, std::vector<int> dims) {
  int id = -1;
  nc_def_var(ncid, name, type, int(dims.size()), dims.data(), &id);
  return id;
}

// Files that are no map file as nc_map writes it are refused with what is
// wrong, quickly and without taking storage for what they declare; one that
// would keep NetCDF busy for ever is given up after its time.
TEST_F(NcMap, HostileFilesAreRefusedInBoundedMemoryAndTime) {
  const double v[] = {1, 2, 3, 4, 5, 6};
  console_of([&] { nc_map_r8(VecView<double>(v, 2), VecView<double>(v, 3), v); });
  const std::string good = read_all("Map.nc");
  const auto dims = [](int ncid, std::size_t nx, std::size_t ny) {
    int dx = -1, dy = -1;
    nc_def_dim(ncid, "x", nx, &dx);
    nc_def_dim(ncid, "y", ny, &dy);
    return std::pair{dx, dy};
  };
  // Huge declared dimensions, in both kinds of file, with nothing stored.
  for (const int mode : {NC_NETCDF4, NC_CLASSIC_MODEL | NC_64BIT_OFFSET}) {
    make_file(mode == NC_NETCDF4 ? "huge4.nc" : "huge3.nc", mode, [&](int ncid) {
      const auto [dx, dy] = dims(ncid, 1 << 20, 1 << 20);
      def(ncid, "x", NC_DOUBLE, {dx});
      def(ncid, "y", NC_DOUBLE, {dy});
      def(ncid, "z", NC_DOUBLE, {dy, dx});
    });
  }
  // The classic file is as long as its values would be: keep its header only.
  ASSERT_EQ(truncate("huge3.nc", 4096), 0);
  make_file("ints.nc", NC_NETCDF4, [&](int ncid) {
    const auto [dx, dy] = dims(ncid, 2, 3);
    def(ncid, "x", NC_INT, {dx});
    def(ncid, "y", NC_INT, {dy});
    def(ncid, "z", NC_INT, {dy, dx});
  });
  make_file("mixed.nc", NC_NETCDF4, [&](int ncid) {
    const auto [dx, dy] = dims(ncid, 2, 3);
    def(ncid, "x", NC_FLOAT, {dx});
    def(ncid, "y", NC_DOUBLE, {dy});
    def(ncid, "z", NC_DOUBLE, {dy, dx});
  });
  make_file("flat.nc", NC_NETCDF4, [&](int ncid) {
    const auto [dx, dy] = dims(ncid, 2, 3);
    def(ncid, "x", NC_DOUBLE, {dx});
    def(ncid, "y", NC_DOUBLE, {dy});
    def(ncid, "z", NC_DOUBLE, {dx});
  });
  make_file("swapped.nc", NC_NETCDF4, [&](int ncid) {
    const auto [dx, dy] = dims(ncid, 2, 3);
    def(ncid, "x", NC_DOUBLE, {dx});
    def(ncid, "y", NC_DOUBLE, {dy});
    def(ncid, "z", NC_DOUBLE, {dx, dy});
  });
  make_file("noz.nc", NC_NETCDF4, [&](int ncid) {
    const auto [dx, dy] = dims(ncid, 2, 3);
    def(ncid, "x", NC_DOUBLE, {dx});
    def(ncid, "y", NC_DOUBLE, {dy});
  });
  make_file("chunks.nc", NC_NETCDF4, [&](int ncid) {
    const auto [dx, dy] = dims(ncid, 2, 3);
    def(ncid, "x", NC_DOUBLE, {dx});
    def(ncid, "y", NC_DOUBLE, {dy});
    const int z = def(ncid, "z", NC_DOUBLE, {dy, dx});
    const std::size_t chunks[] = {3, 2};
    nc_def_var_chunking(ncid, z, NC_CHUNKED, chunks);
    nc_put_att_int(ncid, NC_GLOBAL, "title", NC_INT, 1, std::array{7}.data());
  });
  write_all("truncated.nc", good.substr(0, good.size() / 2));
  write_all("signature.nc", good.substr(0, 8));
  std::string scrambled = good;
  for (std::size_t k = 96; k < scrambled.size(); k += 7) scrambled[k] = char(scrambled[k] ^ 0x5a);
  write_all("scrambled.nc", scrambled);
  write_all("cdf.nc", std::string("CDF\x01\x7f\xff\xff\xff", 8) + std::string(100, '\xff'));
  // A dimension named by 4 GiB less 8 bytes, in a file of 40 bytes.
  write_all("name.nc", std::string("CDF\x01\0\0\0\0\0\0\0\x0a\0\0\0\x01\xff\xff\xff\xf8", 20) +
                           std::string(20, 'n'));
  // HDF5 metadata that sends the library round its global heap for ever.
  fs::copy_file(MAPNC_TEST_DATA "/endless_heap.nc", "endless.nc");

  struct Case {
    const char* file;
    std::string error;  // what the message holds after the file's name
  };
  const Case cases[] = {
      {"huge4.nc", "huge4.nc: the file declares 1048576 x 1048576 values, more than its"},
      {"huge3.nc", "huge3.nc: the file declares 1048576 x 1048576 values, more than its 4096 bytes hold"},
      {"ints.nc", "ints.nc: x, y and z are not all float or all double values"},
      {"mixed.nc", "mixed.nc: x, y and z are not all float or all double values"},
      {"flat.nc", "flat.nc: variable z has 1 dimensions, not 2"},
      {"swapped.nc", "swapped.nc: z is not a variable over (y, x)"},
      {"noz.nc", "noz.nc: no variable z (NetCDF: Variable not found)"},
      {"chunks.nc", "chunks.nc: a long_name or the title is not a text"},
      {"truncated.nc", "truncated.nc: not a readable NetCDF file: NetCDF: "},
      {"signature.nc", "signature.nc: not a readable NetCDF file: NetCDF: "},
      {"scrambled.nc", "scrambled.nc: "},
      {"cdf.nc", "cdf.nc: not a readable NetCDF file: "},
      {"name.nc", "name.nc: not a readable NetCDF file: its header declares more than its 40 bytes hold"},
      {"endless.nc", "endless.nc: not a readable NetCDF file: NetCDF did not get through it within 2 s"},
  };
  for (const Case& c : cases) {
    const auto started = std::chrono::steady_clock::now();
    const mapdata::MapReadResult r = read_map(c.file);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3)) << c.file;
    EXPECT_FALSE(r) << c.file;
    EXPECT_THAT(r.error, testing::StartsWith(c.error)) << c.file;
  }
}

// Work stopped at any of the points where it is checked leaves the earlier
// file and no temporary file; a long name is written whole.
TEST_F(NcMap, WorkStoppedAtAnyCheckLeavesTheEarlierFileAndLongNamesAreWritten) {
  struct Stopped {};
  int checks = 0, stop_at = 0;  // 0: never
  rtl::change_hooks([&](rtl::Hooks& h) { h.interruption_check = [&] {
    if (++checks == stop_at) throw Stopped{};
  }; });
  // 600 rows of 1000 doubles: several slabs of values.
  const std::vector<double> x(1000, 1.0), y(600, 2.0), z(600'000, 3.0);
  console_of([&] { nc_map_r8(x, y, z, -1); });
  const int every_check = checks;
  EXPECT_GT(every_check, 4);
  for (stop_at = 1; stop_at <= every_check; ++stop_at) {
    write_all("Map.nc", "earlier");
    checks = 0;
    EXPECT_EQ(console_of([&] { EXPECT_THROW(nc_map_r8(x, y, z, -1), Stopped); }), "");
    EXPECT_EQ(read_all("Map.nc"), "earlier") << stop_at;
    EXPECT_EQ(entries(), std::vector<std::string>{"Map.nc"}) << stop_at;
  }
  rtl::change_hooks([&](rtl::Hooks& h) { h.interruption_check = {}; });

  const std::string path = rtl::testing::long_path(300, ".nc");
  console_of([&] { nc_map_r8(x, y, z, {.file = path}); });
  const mapdata::MapReadResult r = read_map(path);
  ASSERT_TRUE(r) << r.error;
  EXPECT_EQ(r.map->z_r8, z);
}

// Files written by several threads at once are each complete and exact.
TEST_F(NcMap, FilesOfThreadsAtOnceAreExact) {
  std::vector<double> x(50), y(40), z(50 * 40);
  for (std::size_t k = 0; k < z.size(); ++k) z[k] = 1.0 / double(k + 3);
  std::vector<std::thread> threads;
  const rtl::ScopedHooks quiet({.console_listener = [](std::string_view) {}});
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      const rtl::ScopedHooks own({.console_listener = [](std::string_view) {}});
      for (int r = 0; r < 5; ++r) nc_map_r8(x, y, z, {.file = "t" + std::to_string(t) + ".nc"});
    });
  for (auto& t : threads) t.join();
  for (int t = 0; t < 4; ++t) {
    const mapdata::MapReadResult r = read_map("t" + std::to_string(t) + ".nc");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(bits_of(r.map->z_r8), bits_of(z));
  }
  EXPECT_EQ(entries().size(), 4u);
}

}  // namespace
}  // namespace mapnc
