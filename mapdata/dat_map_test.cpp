#include "mapdata/dat_map.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <string>
#include <vector>

#include "mapdata/test_support.h"
#include "rtl/fatal.h"
#include "rtl/testing/unprivileged.h"

namespace mapdata {
namespace {

using maparg::MatView;
using maparg::VecView;
using testing::HasSubstr;
using testing::Not;
using namespace testing_support;

using DatMap = InTempFolder;
using DatMapDeathTest = InTempFolder;

template <class F>
std::string console_of(F&& write) {
  testing::internal::CaptureStdout();
  write();
  return testing::internal::GetCapturedStdout();
}

// "abc...zab..." of n characters: a text whose cut shows where it happened.
std::string letters(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

const std::string kEmptyMapFile =
    "           0           0           1\r\n x\r\n y\r\n Representation of z=z(x,y)\r\n";

TEST_F(DatMap, WritesHeaderValuesAndTextsByteForByte) {
  const float x[] = {1.0f, 0.5f};
  const float y[] = {0.0f};
  const float z[] = {1.0e10f, 1.0f};
  EXPECT_EQ(console_of([&] { dat_map(x, y, z); }), "  Output in Map.dat\n");
  EXPECT_EQ(read_all("Map.dat"),
            "           2           1           1\r\n"
            "   1.000000    \r\n"
            "  0.5000000    \r\n"
            "  0.0000000E+00\r\n"
            "  1.0000000E+10\r\n"
            "   1.000000    \r\n"
            " x\r\n y\r\n Representation of z=z(x,y)\r\n");

  const std::vector<float> axis(121, 2.0f), grid(121 * 121, 2.0f);
  dat_map(axis, axis, grid);
  const auto lines = lines_of("Map.dat");
  ASSERT_EQ(lines.size(), 4u + 121 + 121 + 121 * 121);
  EXPECT_EQ(lines[0], "         121         121           1");
  EXPECT_EQ(lines.back(), " Representation of z=z(x,y)");
}

TEST_F(DatMap, EmptyAndMismatchedSizes) {
  EXPECT_EQ(console_of([] { dat_map(VecView<float>(), VecView<float>(), VecView<float>()); }),
            "  Output in Map.dat\n");
  EXPECT_EQ(read_all("Map.dat"), kEmptyMapFile);

  const float x[] = {1, 2, 3}, y[] = {4, 5}, z[] = {6, 7, 8, 9, 10};
  EXPECT_EQ(console_of([&] { dat_map(x, y, z); }),
            "  Warning: incompatible array sizes !!!\n  Output in Map.dat\n");
  const auto lines = lines_of("Map.dat");
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[0], "           3           2           1");
  EXPECT_EQ(lines[6], "   6.000000    ");
  EXPECT_EQ(lines[10], "   10.00000    ");
  EXPECT_EQ(lines[11], " x");
}

TEST_F(DatMap, SizesBeyondThirtyTwoBits) {
  // 65536 * 65536 wraps to 0 in 32 bits and would hide the mismatch.
  const float v = 1.0f;
  const VecView<float> wide(&v, 65536, /*stride=*/0);
  EXPECT_EQ(console_of([&] { dat_map(wide, wide, VecView<float>()); }),
            "  Warning: incompatible array sizes !!!\n  Output in Map.dat\n");
  EXPECT_EQ(lines_of("Map.dat").size(), 4u + 2 * 65536);
}

TEST_F(DatMap, ElementOrderWhateverTheBoundsAndStrides) {
  std::vector<float> storage(121);
  for (int k = 0; k < 121; ++k) storage[k] = static_cast<float>(k - 60);
  const VecView<float> x(storage.data(), 121, 1, -60);
  const VecView<float> y(storage.data(), 3, /*stride=*/60);
  ASSERT_EQ(x(-60), -60.0f);
  dat_map(x, y, std::vector<float>(363, 0.0f));
  const auto lines = lines_of("Map.dat");
  EXPECT_EQ(lines[1], "  -60.00000    ");
  EXPECT_EQ(lines[121], "   60.00000    ");
  EXPECT_EQ(lines[122], "  -60.00000    ");
  EXPECT_EQ(lines[123], "  0.0000000E+00");
  EXPECT_EQ(lines[124], "   60.00000    ");
}

TEST_F(DatMap, LogOptionTakesLogarithmsAndWrapsTheTitle) {
  const float x[] = {1}, y[] = {1, 2};
  float z[] = {10.0f, 1000.0f};
  dat_map(x, y, z, -1);
  auto lines = lines_of("Map.dat");
  EXPECT_EQ(lines[4], "   1.000000    ");
  EXPECT_EQ(lines[5], "   3.000000    ");
  EXPECT_EQ(lines[7], " y");
  EXPECT_EQ(lines.back(), " log(Representation of z=z(x,y))");
  EXPECT_EQ(z[0], 10.0f);  // the caller's values stay as they were
  EXPECT_EQ(z[1], 1000.0f);

  const std::string t74 = letters(74), t76 = letters(76);
  dat_map(x, y, z, 1, std::nullopt, std::nullopt, "  " + t74 + "  ");
  lines = lines_of("Map.dat");
  EXPECT_EQ(lines.back(), " log(" + t74 + ")");
  EXPECT_EQ(lines.back().size(), 80u);
  // 80 characters without the ")": the last one goes on a line of its own.
  dat_map(x, y, z, 1, std::nullopt, std::nullopt, t76);
  lines = lines_of("Map.dat");
  EXPECT_EQ(lines[lines.size() - 2], " log(" + t76.substr(0, 75));
  EXPECT_EQ(lines.back(), " " + t76.substr(75));

  dat_map(x, y, z, 2);  // only the lowest bit counts: off
  lines = lines_of("Map.dat");
  EXPECT_EQ(lines[4], "   10.00000    ");
  EXPECT_EQ(lines.back(), " Representation of z=z(x,y)");
}

TEST_F(DatMap, TextFieldsAndFileName) {
  const float v[] = {1};
  EXPECT_EQ(console_of([&] { dat_map(v, v, v, std::nullopt, "   Re(c)", "", "   T", "  out.dat  "); }),
            "  Output in out.dat\n");
  EXPECT_EQ(entries(), std::vector<std::string>{"out.dat"});
  auto lines = lines_of("out.dat");
  EXPECT_EQ(lines[4], " Re(c)");
  EXPECT_EQ(lines[5], " ");  // present but empty: not the default
  EXPECT_EQ(lines[6], "    T");

  // Cut to 80 characters; an 80-character text takes a second line.
  const std::string long_text = letters(100);
  dat_map(v, v, v, std::nullopt, long_text, "   ", long_text);
  lines = lines_of("Map.dat");
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[4], " " + long_text.substr(0, 79));
  EXPECT_EQ(lines[4].size(), 80u);
  EXPECT_EQ(lines[5], " " + long_text.substr(79, 1));
  EXPECT_EQ(lines[6], " ");
  EXPECT_EQ(lines[7], " " + long_text.substr(0, 79));
  EXPECT_EQ(lines[8], " " + long_text.substr(79, 1));
}

// A path longer than the 80-character fields, in every form and for any
// length: the file is written under the whole path (blanks around it still
// dropped), and " Output in " names it on one console line.
TEST_F(DatMap, FileNamesOfAnyLengthAreUsedWhole) {
  const std::vector<float> xs{1, 2}, ys{3}, zs{4, 5};
  const std::vector<double> xd{1, 2}, yd{3}, zd{4, 5};
  const std::vector<std::function<void(const DatMapOptions&)>> forms = {
      [&](const DatMapOptions& o) { dat_map(xs, ys, zs, o); },
      [&](const DatMapOptions& o) { dat_map_r8(xd, yd, zd, o); },
      [&](const DatMapOptions& o) { dat_map_2d(xs, ys, MatView<float>(zs.data(), 2, 1), o); },
      [&](const DatMapOptions& o) { dat_map_2d_r8(xd, yd, MatView<double>(zd.data(), 2, 1), o); },
  };
  for (const std::size_t length : {115u, 300u}) {
    for (const auto& form : forms) {
      const std::string path = rtl::testing::long_path(length, ".dat");
      SCOPED_TRACE(path);
      EXPECT_EQ(console_of([&] { form({.title = "T", .file = "  " + path + "  "}); }),
                "  Output in " + path + "\n");
      EXPECT_EQ(rtl::testing::files_under("."), std::vector<std::string>{path});
      EXPECT_EQ(lines_of(path).back(), " T");
      fs::remove(path);
    }
  }
  // As long as a folder entry may be: the temporary file beside it fits too.
  const std::string longest(NAME_MAX, 'm');
  EXPECT_EQ(console_of([&] { dat_map(xs, ys, zs, {.file = longest}); }),
            "  Output in " + longest + "\n");
  EXPECT_EQ(rtl::testing::files_under("."), std::vector<std::string>{longest});
}

// Paths near PATH_MAX that the system takes are written, with a short name
// and with the longest: the temporary file beside the target (whose own
// path may pass PATH_MAX) is made and renamed through its folder, and none
// stays.
TEST_F(DatMap, PathsJustBelowPathMaxAreWritten) {
  const std::vector<float> xs{1, 2}, ys{3}, zs{4, 5};
  for (const std::size_t length : {std::size_t{PATH_MAX - 6}, std::size_t{PATH_MAX - 1}}) {
    for (const std::string& name : {std::string("m.dat"), std::string(NAME_MAX, 'n')}) {
      SCOPED_TRACE(std::to_string(length) + " " + std::to_string(name.size()));
      // Folders of at most 200 bytes each, the path exactly `length` bytes.
      std::string folder = "deep" + std::to_string(length) + "_" + std::to_string(name.size());
      while (folder.size() + 1 + name.size() < length) {
        const std::size_t part = std::min<std::size_t>(200, length - folder.size() - 2 - name.size());
        folder += "/" + std::string(std::max<std::size_t>(part, 1), 'd');
      }
      ASSERT_EQ(folder.size() + 1 + name.size(), length);
      fs::create_directories(folder);
      const std::string path = folder + "/" + name;
      EXPECT_EQ(console_of([&] { dat_map(xs, ys, zs, {.title = "T", .file = path}); }),
                "  Output in " + path + "\n");
      EXPECT_EQ(rtl::testing::entries_of(folder), std::vector<std::string>{name});
      EXPECT_EQ(lines_of(path).back(), " T");
      // Written again: the earlier file is replaced, still without a temporary left.
      console_of([&] { dat_map(xs, ys, zs, {.title = "U", .file = path}); });
      EXPECT_EQ(rtl::testing::entries_of(folder), std::vector<std::string>{name});
      EXPECT_EQ(lines_of(path).back(), " U");
    }
  }
}

// Files that are no regular file: a named pipe that nobody reads is refused
// at once, as are a socket and a block device; a pipe with a reader and a
// character device get the contents; a reader that goes away midway is a
// write error, the program going on.
TEST_F(DatMap, PipesAndDevicesTakeTheContentsOrAreRefusedAtOnce) {
  const std::vector<float> xs(6000, 1.5f), ys{3}, zs(6000, 2.5f);  // more than a pipe holds
  console_of([&] { dat_map(xs, ys, zs, {.file = "regular.dat"}); });
  const std::string expected = read_all("regular.dat");
  ASSERT_GT(expected.size(), std::size_t{1} << 17);
  ASSERT_EQ(mkfifo("fifo.dat", 0600), 0);
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, "socket.dat");
  ASSERT_EQ(bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  struct Case {
    std::string file;
    std::size_t reads;    // bytes the reader takes before it closes; 0: no reader
    std::string failure;  // empty: written
  };
  const Case cases[] = {
      {"fifo.dat", 0, "File fifo.dat: cannot open: no process reads the pipe"},
      {"fifo.dat", expected.size(), ""},
      {"fifo.dat", 1000, "File fifo.dat: cannot write: Broken pipe"},
      {"/dev/null", 0, ""},
      {"socket.dat", 0, "File socket.dat: cannot open: not a regular file"},
      {"/dev/loop0", 0, "File /dev/loop0: cannot open: not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " " + std::to_string(c.reads));
    struct stat st {};
    if (c.file == "/dev/loop0" && (stat("/dev/loop0", &st) != 0 || !S_ISBLK(st.st_mode))) continue;
    std::string arrived;
    std::thread reader;
    if (c.reads > 0) {
      // Open before the writer comes, so that the writer finds its reader.
      const int fd = open(c.file.c_str(), O_RDONLY | O_NONBLOCK);
      ASSERT_GE(fd, 0);
      fcntl(fd, F_SETFL, 0);
      reader = std::thread([fd, &arrived, size = c.reads] {
        char block[4096];
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (arrived.size() < size && std::chrono::steady_clock::now() < until) {
          const ssize_t n = read(fd, block, std::min(sizeof block, size - arrived.size()));
          if (n > 0) arrived.append(block, static_cast<std::size_t>(n));
          else std::this_thread::sleep_for(std::chrono::milliseconds(1));  // no writer yet
        }
        close(fd);
      });
    }
    const auto start = std::chrono::steady_clock::now();
    std::string failure, console;
    int error = 0;
    console = console_of([&] {
      try {
        rtl::ScopedHooks to_caller({.fatal_errors = rtl::FatalErrors::kToCaller});
        dat_map(xs, ys, zs, {.file = c.file});
      } catch (const rtl::FatalError& e) {
        failure = e.what();
        error = e.error();
      }
    });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    if (reader.joinable()) reader.join();
    EXPECT_EQ(failure, c.failure);
    if (c.failure.empty()) {
      EXPECT_EQ(console, "  Output in " + c.file + "\n");
      if (c.reads > 0) { EXPECT_EQ(arrived, expected); }
    } else {
      EXPECT_EQ(error, c.reads > 0 ? EPIPE : ENXIO);
    }
    EXPECT_EQ(rtl::testing::entries_of("."),
              (std::vector<std::string>{"fifo.dat", "regular.dat", "socket.dat"}));
  }
  close(sock);
}

TEST_F(DatMapDeathTest, ANulByteInTheFileNameIsRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const float v[] = {1};
  const double w[] = {1};
  const std::string name("a\0b.dat", 7);
  EXPECT_EXIT(dat_map(v, v, v, {.file = name}), testing::ExitedWithCode(rtl::kFatalExitCode),
              "File name holds a NUL byte: a\\\\0b\\.dat");
  EXPECT_EXIT(dat_map_2d_r8(w, w, MatView<double>(w, 1, 1), {.file = name}),
              testing::ExitedWithCode(rtl::kFatalExitCode),
              "File name holds a NUL byte: a\\\\0b\\.dat");
  EXPECT_EQ(entries(), std::vector<std::string>{});
}

TEST_F(DatMap, LineBreaksInTextsBecomeBlanks) {
  const float v[] = {1};
  dat_map(v, v, v, std::nullopt, "\r\n  Re(c)\r", "a\rb\nc", " \n T\r\n");
  auto lines = lines_of("Map.dat");
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[4], " Re(c)");
  EXPECT_EQ(lines[5], " a b c");
  EXPECT_EQ(lines[6], "    T");

  // Blanks before the label loses its leading blanks and is cut to 80: the
  // line feed in front costs none of its 80 letters.
  const std::string label = "\n" + letters(85);
  dat_map(v, v, v, std::nullopt, label, "\r", "\r\n");
  lines = lines_of("Map.dat");
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[4], " " + letters(79));
  EXPECT_EQ(lines[5], " b");
  EXPECT_EQ(lines[6], " ");
  EXPECT_EQ(lines[7], " ");

  dat_map(v, v, v, 1, std::nullopt, std::nullopt, "\n\rT\n");
  EXPECT_EQ(lines_of("Map.dat").back(), " log(T)");
}

TEST_F(DatMap, EveryFormMakesLineBreaksBlanksAlike) {
  const std::vector<double> xd = {2.0}, yd = {3.0}, zd = {5.0};
  const std::vector<float> xf = {2.0f}, yf = {3.0f}, zf = {5.0f};
  const std::string label = "\n  " + letters(85), title = "\r\n" + letters(80) + "\r\n";
  dat_map(xf, yf, zf, 0, label, label, title, "a.dat");
  const std::string expected = read_all("a.dat");
  // The y label's two lines and the title's: "  " and 78 letters, cut where
  // the record ends.
  EXPECT_EQ(expected.substr(expected.size() - 2 * 86),
            " " + letters(79) + "\r\n b\r\n   " + letters(77) + "\r\n z\r\n");
  dat_map_r8(xd, yd, zd, 0, label, label, title, "b.dat");
  EXPECT_EQ(read_all("b.dat"), expected);
  dat_map_2d(xf, yf, MatView<float>(zf.data(), 1, 1), 0, label, label, title, "c.dat");
  EXPECT_EQ(read_all("c.dat"), expected);
  dat_map_2d_r8(xd, yd, MatView<double>(zd.data(), 1, 1), 0, label, label, title, "d.dat");
  EXPECT_EQ(read_all("d.dat"), expected);
}

TEST_F(DatMap, ReplacesALongerEarlierFileCompletely) {
  write_all("Map.dat", std::string(5000, '#') + "\r\n");
  dat_map(VecView<float>(), VecView<float>(), VecView<float>());
  EXPECT_EQ(read_all("Map.dat"), kEmptyMapFile);
  EXPECT_EQ(entries(), std::vector<std::string>{"Map.dat"});
}

TEST_F(DatMap, DoublePrecisionFormsTitleAndRounding) {
  dat_map_r8(VecView<double>(), VecView<double>(), VecView<double>());
  EXPECT_EQ(lines_of("Map.dat").back(), " Representation of y=y(x)");
  dat_map_r8(VecView<double>(), VecView<double>(), VecView<double>(), 1);
  EXPECT_EQ(lines_of("Map.dat").back(), " log(Representation of y=y(x))");

  const double x[] = {0.1}, y[] = {1.0};
  const double z[] = {1.0e300, -1.0e300};  // beyond single precision
  dat_map_r8(x, y, z);
  const auto lines = lines_of("Map.dat");
  EXPECT_EQ(lines[1], "  0.1000000    ");
  EXPECT_EQ(lines[3], " Infinity      ");
  EXPECT_EQ(lines[4], " -Infinity     ");
}

TEST_F(DatMap, MatrixFormsFlattenFirstIndexFastest) {
  const float x[] = {1, 2}, y[] = {1, 2, 3};
  const float m[] = {11, 21, 12, 22, 13, 23};
  EXPECT_EQ(console_of([&] { dat_map_2d(x, y, MatView<float>(m, 2, 3)); }), "  Output in Map.dat\n");
  auto lines = lines_of("Map.dat");
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.begin() + 12),
            (std::vector<std::string>{"   11.00000    ", "   21.00000    ", "   12.00000    ",
                                      "   22.00000    ", "   13.00000    ", "   23.00000    "}));

  dat_map_2d(VecView<float>(), VecView<float>(), MatView<float>(m, 5, 0));
  EXPECT_EQ(read_all("Map.dat"), kEmptyMapFile);

  // Bounds -60..60, stored second index fastest: element (-59, -60) is 121 on.
  std::vector<double> axis(121, 0.5), grid(121 * 121);
  for (std::size_t k = 0; k < grid.size(); ++k) grid[k] = static_cast<double>(k);
  const MatView<double> z(grid.data(), 121, 121, /*stride1=*/121, /*stride2=*/1, -60, -60);
  dat_map_2d_r8(VecView<double>(axis.data(), 121, 1, -60), axis, z);
  lines = lines_of("Map.dat");
  EXPECT_EQ(lines[243], "  0.0000000E+00");
  EXPECT_EQ(lines[244], "   121.0000    ");
  EXPECT_EQ(lines[245], "   242.0000    ");
}

// Options by name write what the same options by position write.
TEST_F(DatMap, OptionsByNameAreThePositionalOptions) {
  const std::vector<double> xd = {-1.5, 0.25}, yd = {3.0}, zd = {1.0e-3, 7.0};
  const std::vector<float> xf = {-1.5f, 0.25f}, yf = {3.0f}, zf = {1.0e-3f, 7.0f};
  const MatView<float> mf(zf.data(), 2, 1);
  const MatView<double> md(zd.data(), 2, 1);
  dat_map(xf, yf, zf, std::nullopt, std::nullopt, "", std::nullopt, "a.dat");
  dat_map(xf, yf, zf, {.ylabel = "", .file = "b.dat"});
  EXPECT_EQ(read_all("b.dat"), read_all("a.dat"));
  dat_map_r8(xd, yd, zd, 1, "E", std::nullopt, std::nullopt, "c.dat");
  dat_map_r8(xd, yd, zd, {.log = 1, .xlabel = "E", .file = "d.dat"});
  EXPECT_EQ(read_all("d.dat"), read_all("c.dat"));
  dat_map_2d(xf, yf, mf, std::nullopt, std::nullopt, std::nullopt, "T", "e.dat");
  dat_map_2d(xf, yf, mf, {.title = "T", .file = "f.dat"});
  EXPECT_EQ(read_all("f.dat"), read_all("e.dat"));
  dat_map_2d_r8(xd, yd, md, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "g.dat");
  dat_map_2d_r8(xd, yd, md, {.file = "h.dat"});
  EXPECT_EQ(read_all("h.dat"), read_all("g.dat"));
}

TEST_F(DatMap, EveryFormWritesWhatTheBaseFormWrites) {
  const std::vector<double> xd = {-1.5, 0.25}, yd = {3.0}, zd = {1.0e-3, 7.0};
  const std::vector<float> xf = {-1.5f, 0.25f}, yf = {3.0f}, zf = {1.0e-3f, 7.0f};
  const std::string label = letters(90);
  const auto base = console_of([&] { dat_map(xf, yf, zf, 1, "  Re(c)", label, "  T", " a.dat "); });
  const std::string expected = read_all("a.dat");
  EXPECT_EQ(console_of([&] { dat_map_r8(xd, yd, zd, 1, "  Re(c)", label, "  T", " b.dat "); }),
            "  Output in b.dat\n");
  EXPECT_EQ(read_all("b.dat"), expected);
  dat_map_2d(xf, yf, MatView<float>(zf.data(), 2, 1), 1, "  Re(c)", label, "  T", "c.dat");
  EXPECT_EQ(read_all("c.dat"), expected);
  dat_map_2d_r8(xd, yd, MatView<double>(zd.data(), 2, 1), 1, "  Re(c)", label, "  T", "d.dat");
  EXPECT_EQ(read_all("d.dat"), expected);
  EXPECT_EQ(base, "  Output in a.dat\n");
}

// data_export is the form of its arrays' precision and shape, the options in
// their places: double precision with a flat z gives dat_map_r8's default title.
TEST_F(DatMap, OneNameForTheFourForms) {
  const std::vector<double> xd = {-1.5, 0.25}, yd = {3.0}, zd = {1.0e-3, 7.0};
  const std::vector<float> xf = {-1.5f, 0.25f}, yf = {3.0f}, zf = {1.0e-3f, 7.0f};
  const MatView<float> mf(zf.data(), 2, 1);
  const MatView<double> md(zd.data(), 2, 1);
  const auto file_of = [](auto write) {
    write();
    return read_all("Map.dat");
  };
  EXPECT_EQ(file_of([&] { data_export(xf, yf, zf, {.log = 1, .xlabel = "a", .ylabel = "b"}); }),
            file_of([&] { dat_map(xf, yf, zf, 1, "a", "b"); }));
  EXPECT_EQ(file_of([&] { data_export(xd, yd, zd); }), file_of([&] { dat_map_r8(xd, yd, zd); }));
  EXPECT_EQ(lines_of("Map.dat").back(), " Representation of y=y(x)");
  EXPECT_EQ(file_of([&] { data_export(xf, yf, mf, {.title = "c"}); }),
            file_of([&] { dat_map_2d(xf, yf, mf, {.title = "c"}); }));
  data_export(xd, yd, md, {.ylabel = "b", .file = "a.dat"});
  dat_map_2d_r8(xd, yd, md, {.ylabel = "b", .file = "b.dat"});
  EXPECT_EQ(read_all("a.dat"), read_all("b.dat"));
}

TEST_F(DatMapDeathTest, LogarithmWithoutValueEndsBeforeTheFileIsTouched) {
  write_all("Map.dat", "earlier");
  const float x[] = {1, 2}, y[] = {1};
  const float zero[] = {5, 0.0f, 3}, negative[] = {-5};
  EXPECT_EXIT(
      {
        console_to_stderr();
        dat_map(x, y, zero, 1);
      },
      testing::ExitedWithCode(rtl::kFatalExitCode),
      AllOf(HasSubstr("  Warning: incompatible array sizes !!!\nlog10: SING error"),
            Not(HasSubstr("Output in"))));
  EXPECT_EXIT(dat_map(x, y, negative, 1), testing::ExitedWithCode(rtl::kFatalExitCode),
              "log10: DOMAIN error");
  EXPECT_EQ(read_all("Map.dat"), "earlier");
  EXPECT_EQ(entries(), std::vector<std::string>{"Map.dat"});
}

TEST_F(DatMapDeathTest, FilesThatCannotBeWrittenAreFatalAndNameTheReason) {
  write_all("Map.dat", "earlier");
  const float v[] = {1};
  const auto fails_with = [](const std::string& message) {
    return AllOf(HasSubstr(message), Not(HasSubstr("Output in")));
  };
  const auto write_to = [&](const char* name) {
    console_to_stderr();
    dat_map(v, v, v, std::nullopt, std::nullopt, std::nullopt, std::nullopt, name);
  };
  EXPECT_EXIT(write_to("/dev/full"), testing::ExitedWithCode(rtl::kFatalExitCode),
              fails_with("File /dev/full: cannot write: No space left on device"));
  EXPECT_EXIT(write_to("no/such/folder/Map.dat"), testing::ExitedWithCode(rtl::kFatalExitCode),
              fails_with("File no/such/folder/Map.dat: cannot create: No such file or directory"));
  EXPECT_EXIT(write_to("    "), testing::ExitedWithCode(rtl::kFatalExitCode),
              fails_with("File name is blank"));
  EXPECT_EQ(read_all("Map.dat"), "earlier");
  EXPECT_EQ(entries(), std::vector<std::string>{"Map.dat"});
}

// What a user meets: a map file that may not be written is refused as an
// open would refuse it, a private one stays private, and storage that runs
// out ends the program with its report; an earlier file stays as it was.
TEST_F(DatMapDeathTest, TheEarlierFilesRightsAreKeptAndExhaustedStorageIsReported) {
  const float v[] = {1};
  write_all("private.dat", "earlier");
  chmod("private.dat", 0600);
  dat_map(v, v, v, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "private.dat");
  struct stat st {};
  stat("private.dat", &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  write_all("Map.dat", "earlier");
#ifndef __SANITIZE_ADDRESS__  // AddressSanitizer ends a program on a huge allocation itself
  const double one = 1.0;
  const maparg::MatView<double> huge(&one, 1'000'000, 1'000'000, 0, 0);  // one element, 10^12 times
  EXPECT_EXIT(
      {
        rlimit limit {};
        limit.rlim_cur = limit.rlim_max = rlim_t{16} << 30;
        setrlimit(RLIMIT_AS, &limit);
        dat_map_2d_r8(VecView<double>(&one, 1'000'000, 0), VecView<double>(&one, 1'000'000, 0), huge);
      },
      testing::ExitedWithCode(rtl::kFatalExitCode), "Out of memory");
#endif

  const std::string why = rtl::testing::why_not_unprivileged();
  if (!why.empty()) GTEST_SKIP() << "write-protected file not tried: " << why;
  chmod(dir_.c_str(), 0777);  // the folder may be written, the file not
  chmod("Map.dat", 0444);
  EXPECT_EXIT(
      {
        if (!rtl::testing::become_unprivileged()) std::abort();
        console_to_stderr();
        dat_map(v, v, v);
      },
      testing::ExitedWithCode(rtl::kFatalExitCode),
      AllOf(HasSubstr("File Map.dat: cannot open: Permission denied"), Not(HasSubstr("Output in"))));
  EXPECT_EQ(read_all("Map.dat"), "earlier");
  EXPECT_EQ(entries(), (std::vector<std::string>{"Map.dat", "private.dat"}));
}

// Work stopped by the interruption check at each of the points where it is
// checked: the earlier file stays and no temporary file is left.
TEST_F(DatMap, WorkStoppedAtAnyCheckLeavesTheEarlierFile) {
  struct Stopped {};
  int checks = 0;
  int stop_at = 0;  // 0: never
  rtl::change_hooks([&](rtl::Hooks& h) { h.interruption_check = [&] {
    if (++checks == stop_at) throw Stopped{};
  }; });
  const std::vector<float> x(5000, 1.0f), y(3, 2.0f), z(15000, 3.0f);
  console_of([&] { dat_map(x, y, z, -1); });
  const int every_check = checks;
  EXPECT_EQ(every_check, 4 + 2 + 1 + 4);  // the logarithms, then x, y and z written
  for (stop_at = 1; stop_at <= every_check; ++stop_at) {
    write_all("Map.dat", "earlier");
    checks = 0;
    EXPECT_EQ(console_of([&] { EXPECT_THROW(dat_map(x, y, z, -1), Stopped); }), "");
    EXPECT_EQ(read_all("Map.dat"), "earlier") << stop_at;
    EXPECT_EQ(entries(), std::vector<std::string>{"Map.dat"}) << stop_at;
  }
  rtl::change_hooks([&](rtl::Hooks& h) { h.interruption_check = {}; });
}

TEST_F(DatMapDeathTest, VectorsTooLongForTheHeaderAreFatal) {
  const float v = 1.0f;
  const VecView<float> huge(&v, std::int64_t{3'000'000'000}, /*stride=*/0);
  EXPECT_EXIT(dat_map(huge, VecView<float>(), VecView<float>()),
              testing::ExitedWithCode(rtl::kFatalExitCode),
              "x has 3000000000 elements, more than the data file header can count");
  EXPECT_TRUE(entries().empty());
}

// Data files written by four threads at once, several rounds each, are the
// files the same calls write alone. A fifth thread that takes its fatal
// errors back gets each one with its errno and file, while the others write:
// only its own calls end, and no temporary file is left.
TEST_F(DatMap, FilesOfThreadsAtOnceAreTheFilesWrittenAlone) {
  std::vector<float> x(300), y(200), z(300 * 200);
  for (std::size_t k = 0; k < z.size(); ++k) z[k] = 0.37f * static_cast<float>(k % 997) + 1.0f;
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(i) * 0.1f;
  for (std::size_t j = 0; j < y.size(); ++j) y[j] = static_cast<float>(j) * -0.3f;
  const auto write = [&](const std::string& file, int t) {
    dat_map(x, y, z, {.log = t % 2, .title = "thread " + std::to_string(t), .file = file});
  };
  std::vector<std::string> alone;
  for (int t = 0; t < 4; ++t) {
    write("alone.dat", t);
    alone.push_back(read_all("alone.dat"));
  }
  std::mutex mutex;
  std::vector<std::string> faults, expected = {"alone.dat"}, caught;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      const rtl::ScopedHooks own_lines({.console_listener = [](std::string_view) {}});
      for (int r = 0; r < 4; ++r) {
        const std::string file = "t" + std::to_string(t) + "r" + std::to_string(r) + ".dat";
        write(file, t);
        const bool same = read_all(file) == alone[static_cast<std::size_t>(t)];
        const std::lock_guard<std::mutex> lock(mutex);
        expected.push_back(file);
        if (!same) faults.push_back(file);
      }
    });
  threads.emplace_back([&] {
    const rtl::ScopedHooks to_caller({.fatal_errors = rtl::FatalErrors::kToCaller});
    std::vector<float> zero = z;
    zero[4321] = 0.0f;
    for (int r = 0; r < 4; ++r) {
      for (const auto& [file, values] : {std::pair{"no/such/folder.dat", &z}, {"zero.dat", &zero}}) {
        try {
          dat_map(x, y, *values, {.log = 1, .file = file});
        } catch (const rtl::FatalError& e) {
          const std::lock_guard<std::mutex> lock(mutex);
          caught.push_back(std::string(e.what()) + " " + std::to_string(e.error()) + " " + e.file());
        }
      }
    }
  });
  for (auto& t : threads) t.join();
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(faults, std::vector<std::string>{});
  const std::string missing = "File no/such/folder.dat: cannot create: No such file or directory " +
                              std::to_string(ENOENT) + " no/such/folder.dat";
  EXPECT_EQ(caught, (std::vector<std::string>{missing, "log10: SING error 0 ", missing,
                                               "log10: SING error 0 ", missing,
                                               "log10: SING error 0 ", missing,
                                               "log10: SING error 0 "}));
  EXPECT_EQ(rtl::testing::entries_of("."), expected);
}

}  // namespace
}  // namespace mapdata
