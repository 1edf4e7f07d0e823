#include "mapdata/map_reader.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "mapdata/dat_map.h"
#include "mapdata/test_support.h"
#include "rtl/fatal.h"
#include "rtl/hooks.h"

namespace mapdata {
namespace {

using maparg::MatView;
using maparg::VecView;
using testing::HasSubstr;
using namespace testing_support;

using MapReader = InTempFolder;

// A random decimal of 7 significant digits between 1e-30 and 1e30 (or zero),
// as a double: its nearest single-precision value is written exactly.
double seven_digits(std::mt19937& gen) {
  if (gen() % 10 == 0) return 0.0;
  const int mantissa = 1000000 + static_cast<int>(gen() % 9000000);
  const int exponent = static_cast<int>(gen() % 61) - 36;
  const std::string text = (gen() % 2 ? "-" : "") + std::to_string(mantissa) + "e" + std::to_string(exponent);
  return std::strtod(text.c_str(), nullptr);
}

struct Grid {
  std::vector<double> x, y, z;
  std::vector<float> xf, yf, zf;
};

Grid random_grid(std::mt19937& gen, int nx, int ny) {
  Grid g;
  const auto fill = [&](std::vector<double>& d, std::vector<float>& f, int n) {
    for (int k = 0; k < n; ++k) {
      d.push_back(seven_digits(gen));
      f.push_back(static_cast<float>(d.back()));
    }
  };
  fill(g.x, g.xf, nx);
  fill(g.y, g.yf, ny);
  fill(g.z, g.zf, nx * ny);
  return g;
}

MapData read_ok(const std::string& path) {
  MapReadResult r = read_map_file(path);
  EXPECT_TRUE(r) << r.error;
  return r ? *r.map : MapData{};
}

TEST_F(MapReader, EveryFormReadsBackTheValuesWritten) {
  std::mt19937 gen(20240607);
  for (int round = 0; round < 6; ++round) {
    const int nx = 1 + static_cast<int>(gen() % 30), ny = 1 + static_cast<int>(gen() % 30);
    const Grid g = random_grid(gen, nx, ny);
    const MatView<float> mf(g.zf.data(), nx, ny);
    const MatView<double> md(g.z.data(), nx, ny);
    dat_map(g.xf, g.yf, g.zf, 0, "Re(c)", "Im(c)", "  grid", "flat.dat");
    dat_map_r8(g.x, g.y, g.z, 0, "Re(c)", "Im(c)", "  grid", "r8.dat");
    dat_map_2d(g.xf, g.yf, mf, 0, "Re(c)", "Im(c)", "  grid", "2d.dat");
    dat_map_2d_r8(g.x, g.y, md, 0, "Re(c)", "Im(c)", "  grid", "2d_r8.dat");
    for (const char* file : {"flat.dat", "r8.dat", "2d.dat", "2d_r8.dat"}) {
      SCOPED_TRACE(file);
      const MapData m = read_ok(file);
      EXPECT_EQ(m.nx, nx);
      EXPECT_EQ(m.ny, ny);
      EXPECT_EQ(m.x, g.xf);
      EXPECT_EQ(m.y, g.yf);
      EXPECT_EQ(m.z, g.zf);
      EXPECT_EQ(m.xlabel, "Re(c)");
      EXPECT_EQ(m.ylabel, "Im(c)");
      EXPECT_EQ(m.title, "  grid");
    }
  }
}

TEST_F(MapReader, CountsValueLinesAndTextsOfEightyCharacters) {
  std::string t80;
  for (int i = 0; i < 80; ++i) t80 += static_cast<char>('A' + i % 26);
  const std::string title = "  " + t80.substr(0, 78);
  const float x[] = {1, 2, 3}, y[] = {4, 5}, z[] = {-1.0e10f, 0.5f, 9999999.0f, 0.0f, 1.0e-30f};
  dat_map(x, y, z, 0, t80, "", title);
  MapData m = read_ok("Map.dat");
  EXPECT_EQ(m.z, std::vector<float>(std::begin(z), std::end(z)));
  EXPECT_EQ(m.xlabel, t80);
  EXPECT_EQ(m.ylabel, "");
  EXPECT_EQ(m.title, title);

  // " -1.0000000E+10" also reads as a label, and the 79-character x label and
  // the one-character y label as one 80-character y label: nx*ny decides.
  const float zz[] = {1, 2, 3, 4, 5, -1.0e10f};
  dat_map(x, y, zz, 0, t80.substr(0, 79), std::nullopt, "T");
  m = read_ok("Map.dat");
  EXPECT_EQ(m.z.size(), 6u);
  EXPECT_EQ(m.xlabel, t80.substr(0, 79));
  EXPECT_EQ(m.ylabel, "y");

  // Without nx*ny values the reading with the most values is taken: the
  // same texts, written again, give the same file.
  const float z5[] = {1, 2, 3, 4, -1.0e10f};
  dat_map(x, y, z5, 0, t80.substr(0, 79), std::nullopt, "T");
  m = read_ok("Map.dat");
  EXPECT_EQ(m.z, std::vector<float>(std::begin(z5), std::end(z5)));
  EXPECT_EQ(m.xlabel, t80.substr(0, 79));
  EXPECT_EQ(m.ylabel, "y");
  EXPECT_EQ(m.title, "T");
}

TEST_F(MapReader, OfTwoReadingsWithTheSameValuesTheLaterTextTakesTwoLines) {
  std::string t80;
  for (int i = 0; i < 80; ++i) t80 += static_cast<char>('A' + i % 26);
  const float x[] = {1, 2}, y[] = {3}, z[] = {4, 5};
  // 80 + 79 + 1 characters read exactly like 79 + 1 + 80: the second is taken.
  dat_map(x, y, z, 0, t80, t80.substr(0, 79), "T");
  const std::string written = read_all("Map.dat");
  const MapData m = read_ok("Map.dat");
  EXPECT_EQ(m.z, std::vector<float>({4, 5}));
  EXPECT_EQ(m.xlabel, t80.substr(0, 79));
  EXPECT_EQ(m.ylabel, "B");
  EXPECT_EQ(m.title, t80.substr(0, 79) + "T");
  dat_map(m.x, m.y, m.z, 0, m.xlabel, m.ylabel, m.title);
  EXPECT_EQ(read_all("Map.dat"), written);
}

TEST_F(MapReader, MalformedFilesAreReportedWithTheirLine) {
  const float v[] = {1.0f, 2.0f};
  dat_map(v, v, std::vector<float>(4, 0.5f));
  const std::string good = read_all("Map.dat");
  const auto error_of = [](const std::string& bytes) {
    const MapReadResult r = parse_map(bytes);
    EXPECT_FALSE(r);
    return r.error;
  };
  EXPECT_EQ(error_of(good.substr(0, good.size() - 5)),
            "line 12: ends without a line ending (the file is cut short): "
            "\" Representation of z=z(x\"");
  EXPECT_EQ(error_of(good.substr(0, good.find(" x\r\n"))),
            "the last lines are not the three text lines (x label, y label, title)");
  EXPECT_EQ(error_of(good.substr(0, 2 * 17 + 38)),
            "the file ends after 3 lines; its header announces 2 x lines, 2 y lines and three text "
            "lines");
  EXPECT_EQ(error_of("           2           2           2" + good.substr(36)),
            "line 1: not a header of nx, ny and 1: \"           2           2           2\"");
  std::string bad = good;
  bad.replace(38 + 3 * 17, 15, "   0.5OOOOOO   ");
  EXPECT_EQ(error_of(bad), "line 5: not a y value: \"   0.5OOOOOO   \"");
  bad = good;
  bad.replace(38 + 4 * 17, 15, "  0.5000000");
  EXPECT_EQ(error_of(bad), "line 6: not a value: \"  0.5000000\"");
  EXPECT_EQ(error_of("           0           0           1\n x\n y\n t\n"),
            "line 1: ends with a line feed alone: \"           0           0           1\"");
  EXPECT_EQ(error_of(""), "the file is empty");
  EXPECT_EQ(read_map_file("none.dat").error, "none.dat: cannot open: No such file or directory");
}

TEST_F(MapReader, ErrorsQuoteAShortExcerptWithOddBytesEscaped) {
  const float v[] = {1.0f, 2.0f};
  dat_map(v, v, std::vector<float>(4, 0.5f));
  const std::string good = read_all("Map.dat");
  std::string bad = good;
  bad.replace(38 + 3 * 17, 15, std::string("\t0.5\x01\x7f\xe9\\\0\"     ", 15));
  EXPECT_EQ(parse_map(bad).error, R"(line 5: not a y value: "\t0.5\x01\x7f\xe9\\\0\"     ")");

  // 80 characters, a value line's place: 40 of them are quoted.
  const std::string text = " " + std::string(79, 'w');
  bad = good;
  bad.replace(38 + 4 * 17, 15, text);
  EXPECT_EQ(parse_map(bad).error,
            "line 6: not a value: \" wwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwww...\"");

  // A line whose line feed does not come within 82 bytes ends the reading
  // there, however long it is.
  const std::string x40(40, 'x');
  const std::string header = "           2           2           1\r\n";
  EXPECT_EQ(parse_map(header + std::string(81, 'x') + "\r\n").error,
            "line 2: longer than 80 characters: \"" + x40 + "...\"");
  EXPECT_EQ(parse_map(header + std::string(80, 'x') + "\r\r\n").error,
            "line 2: longer than 80 characters: \"" + x40 + "...\"");
  EXPECT_EQ(parse_map(header + std::string(std::size_t{10} << 20, 'x')).error,
            "line 2: longer than 80 characters: \"" + x40 + "...\"");
  EXPECT_EQ(parse_map(header + std::string(81, 'x') + "\n").error,
            "line 2: ends with a line feed alone: \"" + x40 + "...\"");
  EXPECT_EQ(parse_map(header + "\r\n\r\n\r").error,
            R"(line 4: ends without a line ending (the file is cut short): "\r")");
}

TEST_F(MapReader, HeaderCountsAreNoMoreThanTheInputHolds) {
  const std::string texts = " x\r\n y\r\n t\r\n";
  EXPECT_EQ(parse_map("  2147483647  2147483647           1\r\n" + texts).error,
            "the file ends after 4 lines; its header announces 2147483647 x lines, 2147483647 y "
            "lines and three text lines");
  EXPECT_EQ(parse_map("          -1           0           1\r\n" + texts).error,
            "line 1: not a header of nx, ny and 1: \"          -1           0           1\"");
  EXPECT_EQ(parse_map(" 99999999999           0           1\r\n" + texts).error,
            "line 1: not a header of nx, ny and 1: \" 99999999999           0           1\"");
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// Lets this process's address space grow by `bytes` at most from now on.
void limit_growth(std::size_t bytes) {
  std::size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  rlimit limit{};
  getrlimit(RLIMIT_AS, &limit);
  limit.rlim_cur = pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + bytes;
  setrlimit(RLIMIT_AS, &limit);
}

// A pipe that a thread fills with `head` and then `line` over and over until
// its reading end is closed; path() opens that end once more. The thread
// allocates nothing, so a limit on memory set meanwhile leaves it alone.
class EndlessPipe {
 public:
  EndlessPipe(std::string head, const std::string& line) : head_(std::move(head)) {
    while (chunk_.size() < 60000) chunk_ += line;
    old_sigpipe_ = std::signal(SIGPIPE, SIG_IGN);  // the writer sees EPIPE instead
    if (pipe(fds_) != 0) ADD_FAILURE() << "no pipe";
    writer_ = std::thread([this] {
      if (write(fds_[1], head_.data(), head_.size()) < 0) return;
      while (write(fds_[1], chunk_.data(), chunk_.size()) > 0 || errno == EINTR) {
      }
    });
  }
  ~EndlessPipe() {
    close(fds_[0]);
    writer_.join();
    close(fds_[1]);
    std::signal(SIGPIPE, old_sigpipe_);
  }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fds_[0]); }

 private:
  std::string head_, chunk_;
  int fds_[2] = {-1, -1};
  std::thread writer_;
  void (*old_sigpipe_)(int) = nullptr;
};

TEST_F(MapReader, PipesDevicesAndFoldersGiveAResultOrAnError) {
  std::string nuls;
  for (int i = 0; i < 40; ++i) nuls += R"(\0)";
  EXPECT_EQ(read_map_file("/dev/zero").error,
            "/dev/zero: line 1: longer than 80 characters: \"" + nuls + "...\"");
  EXPECT_EQ(read_map_file("/dev/null").error, "/dev/null: the file is empty");
  EXPECT_EQ(read_map_file(".").error, ".: cannot read: Is a directory");
  {
    const EndlessPipe endless_line("           0           0           1\r\n", "abcd");
    EXPECT_EQ(read_map_file(endless_line.path()).error,
              endless_line.path() + ": line 2: longer than 80 characters: \"" +
                  "abcdabcdabcdabcdabcdabcdabcdabcdabcdabcd...\"");
  }

  // A named pipe, read as its writer writes: the same map as from the file.
  const float v[] = {0.25f, -8.0f, 1.0e-3f};
  dat_map(v, v, std::vector<float>(9, -1.0e10f), 0, "Re(c)", std::nullopt, "  T");
  ASSERT_EQ(mkfifo("fifo.dat", 0600), 0);
  std::thread writer([bytes = read_all("Map.dat")] { write_all("fifo.dat", bytes); });
  const MapReadResult piped = read_map_file("fifo.dat");
  writer.join();
  ASSERT_TRUE(piped) << piped.error;
  const MapData m = read_ok("Map.dat");
  EXPECT_EQ(piped.map->x, m.x);
  EXPECT_EQ(piped.map->y, m.y);
  EXPECT_EQ(piped.map->z, std::vector<float>(9, -1.0e10f));
  EXPECT_EQ(piped.map->xlabel, "Re(c)");
  EXPECT_EQ(piped.map->ylabel, "y");
  EXPECT_EQ(piped.map->title, "  T");
}

using MapReaderDeathTest = InTempFolder;

TEST_F(MapReaderDeathTest, MemoryRunningOutIsTheOutOfMemoryReport) {
  if (kAddressSanitizer) GTEST_SKIP() << "the address sanitizer needs an unlimited address space";
  // With 64 MiB to spare: the huge counts of a small file reserve nothing,
  // nor does a file of 8 GiB (sparse) whose second line is wrong; endless
  // value lines from a pipe run out of memory, which is the report of
  // exhausted storage: a FatalError with ENOMEM for a caller that takes its
  // errors back, else the program's end with "Out of memory".
  {
    std::ofstream("huge.dat") << "           0           0           1\r\n";
    fs::resize_file("huge.dat", std::uintmax_t{8} << 30);
  }
  EXPECT_EXIT(
      {
        const EndlessPipe values("           1           1           1\r\n", "   1.000000    \r\n");
        const EndlessPipe more("           1           1           1\r\n", "   1.000000    \r\n");
        limit_growth(std::size_t{64} << 20);
        std::fprintf(stderr, "[%s]\n",
                     parse_map("  2147483647  2147483647           1\r\n x\r\n y\r\n t\r\n").error.c_str());
        std::fprintf(stderr, "[%s]\n", read_map_file("huge.dat").error.c_str());
        try {
          rtl::ScopedHooks to_caller({.fatal_errors = rtl::FatalErrors::kToCaller});
          std::fprintf(stderr, "[%s]\n", read_map_file(values.path()).error.c_str());
        } catch (const rtl::FatalError& e) {
          std::fprintf(stderr, "[%s, errno %d]\n", e.what(), e.error());
        }
        std::fprintf(stderr, "[%s]\n", read_map_file(more.path()).error.c_str());
        std::exit(0);
      },
      testing::ExitedWithCode(rtl::kFatalExitCode),
      testing::ContainsRegex("^\\[the file ends after 4 lines; its header announces 2147483647 x "
                             "lines, 2147483647 y lines and three text lines\\]\n"
                             "\\[huge.dat: line 2: longer than 80 characters: \"(\\\\0){40}...\"\\]\n"
                             "\\[Out of memory, errno " + std::to_string(ENOMEM) + "\\]\n"
                             "Out of memory\n$"));
}

// A text of 0 to 90 bytes with blanks at either end, line breaks, NUL and
// bytes above 0x7f among printable ones; lengths near 80 come often.
std::string random_text(std::mt19937& gen) {
  static constexpr std::size_t kLengths[] = {0, 1, 2, 78, 79, 80, 81, 90};
  const std::size_t n = gen() % 2 ? kLengths[gen() % 8] : gen() % 91;
  std::string text;
  for (std::size_t i = 0; i < n; ++i) {
    switch (gen() % 12) {
      case 0: text += ' '; break;
      case 1: text += '\r'; break;
      case 2: text += '\n'; break;
      case 3: text += '\0'; break;
      case 4: text += static_cast<char>(0x80 + gen() % 0x80); break;
      default: text += static_cast<char>('!' + gen() % 94); break;
    }
  }
  if (gen() % 4 == 0) text.insert(0, "  ");
  if (gen() % 4 == 0) text += "  ";
  return text.substr(0, 90);
}

// A text of n > 0 bytes that keeps all of them: no blank or line break at
// its ends, the other bytes as in random_text.
std::string solid_text(std::mt19937& gen, std::size_t n) {
  std::string text = std::string(n, '#') + random_text(gen);
  text.erase(0, text.size() - n);
  text.front() = static_cast<char>('!' + gen() % 94);
  text.back() = static_cast<char>('!' + gen() % 94);
  return text;
}

TEST_F(MapReader, ReadThenWrittenAgainGivesTheSameBytes) {
  std::mt19937 gen(20240611);
  std::string failure;  // reported once the console is no longer captured
  testing::internal::CaptureStdout();
  for (int round = 0; round < 1500 && failure.empty(); ++round) {
    const int nx = static_cast<int>(gen() % 6), ny = static_cast<int>(gen() % 6);
    const Grid g = random_grid(gen, nx, ny);
    // Now and then the texts of 80, 79 and 1 characters that also read as 79, 1 and 80.
    if (round % 8 == 0)
      dat_map(g.xf, g.yf, g.zf, 0, solid_text(gen, 80), solid_text(gen, 79), solid_text(gen, 1), "a.dat");
    else
      dat_map(g.xf, g.yf, g.zf, 0, random_text(gen), random_text(gen), random_text(gen), "a.dat");
    const MapReadResult r = read_map_file("a.dat");
    if (!r) {
      failure = "round " + std::to_string(round) + ": " + r.error;
      break;
    }
    const MapData& m = *r.map;
    dat_map(m.x, m.y, m.z, 0, m.xlabel, m.ylabel, m.title, "b.dat");
    if (read_all("b.dat") != read_all("a.dat")) failure = "round " + std::to_string(round) + ": other bytes";
  }
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(failure, "");
}

TEST(MapReaderInput, AnyBytesGiveTheMapOrAShortPrintableError) {
  const std::string good =
      "           2           2           1\r\n   1.000000    \r\n -1.0000000E+10\r\n"
      "  0.5000000    \r\n  0.0000000E+00\r\n   2.000000    \r\n   3.000000    \r\n"
      "   4.000000    \r\n   5.000000    \r\n x\r\n y\r\n Representation of z=z(x,y)\r\n";
  ASSERT_TRUE(parse_map(good));
  std::mt19937 gen(99);
  const auto some_bytes = [&gen] {
    static constexpr char kBytes[] = {'\r', '\n', '\0', ' ', '1', '-', 'E', '.', 'x', '\xff'};
    std::string bytes;
    for (std::size_t n = gen() % 40; n > 0; --n) bytes += kBytes[gen() % sizeof kBytes];
    return bytes;
  };
  int read = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string bytes = good;
    for (int edits = 1 + static_cast<int>(gen() % 4); edits > 0; --edits) {
      const std::size_t at = gen() % (bytes.size() + 1), n = gen() % 40;
      switch (gen() % 5) {
        case 0: bytes.insert(at, some_bytes()); break;
        case 1: bytes.erase(at, n); break;
        case 2: bytes.insert(at, bytes.substr(at, n)); break;
        case 3: if (at < bytes.size()) bytes[at] = static_cast<char>(gen()); break;
        case 4: bytes.replace(0, 12, std::to_string(static_cast<std::int32_t>(gen()) >> (gen() % 32))); break;
      }
    }
    const MapReadResult r = parse_map(bytes);
    if (r) {
      ++read;
      EXPECT_EQ(r.map->x.size(), static_cast<std::size_t>(r.map->nx));
      EXPECT_EQ(r.map->y.size(), static_cast<std::size_t>(r.map->ny));
      continue;
    }
    EXPECT_LT(r.error.size(), 250u) << r.error;
    for (const char c : r.error) {
      ASSERT_TRUE(c >= ' ' && c < '\x7f') << r.error;
    }
  }
  EXPECT_GT(read, 100);
}

}  // namespace
}  // namespace mapdata
