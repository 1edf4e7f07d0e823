// The PostScript map drawn through giza into real files.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <regex>
#include <thread>
#include <utility>
#include <string>
#include <vector>

#include "mapps/pgplot/pgplot.h"
#include "mapps/ps_map.h"
#include "mapps/test_support.h"
#include "rtl/console.h"
#include "rtl/fatal.h"
#include "rtl/testing/unprivileged.h"

namespace mapps {
namespace {

using testing_support::ends_with;
using testing_support::read_all;
using testing_support::starts_with;
using testing_support::write_all;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;
using maparg::MatView;

class PsMapFiles : public testing_support::InTempFolder {
 protected:
  void SetUp() override {
    InTempFolder::SetUp();
    rtl::change_hooks([this](rtl::Hooks& h) {
      h.console_listener = [this](std::string_view line) { lines.emplace_back(line); };
    });
    for (int i = 0; i < 121; ++i) {
      x.push_back(-2.0f + 0.025f * static_cast<float>(i));
      y.push_back(-1.5f + 0.025f * static_cast<float>(i));
    }
    for (int j = 0; j < 121; ++j)
      for (int i = 0; i < 121; ++i) z.push_back(std::sin(2 * x[i]) * std::cos(3 * y[j]) + 2);
  }
  void TearDown() override {
    rtl::change_hooks([](rtl::Hooks& h) { h.console_listener = {}; });
    InTempFolder::TearDown();
  }
  Strings lines;
  std::vector<float> x, y, z;
};

using PsMapFilesDeathTest = PsMapFiles;

// Ghostscript's messages on rendering `file` without output ("" when clean),
// or a note that it failed.
std::string ghostscript_messages(const std::string& file) {
  const std::string command =
      "gs -q -dNOPAUSE -dBATCH -sDEVICE=nullpage '" + file + "' > gs.out 2>&1";
  const int status = std::system(command.c_str());
  std::string messages = read_all("gs.out");
  std::remove("gs.out");
  if (status != 0) messages += "[gs exit status " + std::to_string(status) + "]";
  return messages;
}

TEST_F(PsMapFiles, DefaultMapIsPostScriptThatGhostscriptRenders) {
  ps_map(x, y, z);
  EXPECT_EQ(entries(), Strings{"Map.ps"});
  EXPECT_TRUE(starts_with(read_all("Map.ps"), "%!PS-Adobe"));
  EXPECT_EQ(ghostscript_messages("Map.ps"), "");
  EXPECT_EQ(lines, Strings{"  Output in Map.ps"});

  // A flat map still gives a complete file (PGPLOT's messages go to stderr).
  lines.clear();
  testing::internal::CaptureStderr();
  ps_map(x, y, std::vector<float>(z.size(), 1.0f), std::nullopt, "Time", "Place", "Flat",
         "flat.ps");
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(lines, (Strings{"  Array is flat!", "  Output in flat.ps"}));
  EXPECT_EQ(ghostscript_messages("flat.ps"), "");
}

// An infinite value draws the map of the finite values' extremes, with wedge,
// numbers and labels.
TEST_F(PsMapFiles, InfiniteValuesDrawTheMapOfTheFiniteRange) {
  const auto [low, high] = std::minmax_element(z.begin(), z.end());
  std::vector<float> infinite(z), extreme(z);
  infinite[500] = INFINITY;
  extreme[500] = *high;
  infinite[7000] = -INFINITY;
  extreme[7000] = *low;
  ps_map(x, y, infinite, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "inf.png", "png");
  ps_map(x, y, extreme, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "ends.png", "png");
  EXPECT_EQ(read_all("inf.png"), read_all("ends.png"));
  EXPECT_EQ(lines, (Strings{"  Output in inf.png", "  Output in ends.png"}));
}

TEST_F(PsMapFiles, DeviceTypesGiveFilesOfTheirKindsUnderTheEndingRule) {
  const Strings no_more = {};
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "png");
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "pdf");
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "svg");
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "out.eps", "cps");
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "plot", "png");
  EXPECT_EQ(lines, (Strings{"  Output in Map.png", "  Output in Map.pdf", "  Output in Map.svg",
                            "  Output in out.ecps", "  Output in plot"}));
  EXPECT_EQ(entries(), (Strings{"Map.pdf", "Map.png", "Map.svg", "out.ecps", "plot"}));
  EXPECT_TRUE(starts_with(read_all("Map.png"), "\x89PNG\r\n\x1a\n"));
  EXPECT_TRUE(starts_with(read_all("plot"), "\x89PNG\r\n\x1a\n"));
  EXPECT_TRUE(starts_with(read_all("Map.pdf"), "%PDF-"));
  EXPECT_NE(read_all("Map.svg").find("<svg"), std::string::npos);
  EXPECT_TRUE(starts_with(read_all("out.ecps"), "%!PS-Adobe"));
  EXPECT_EQ(ghostscript_messages("out.ecps"), "");

  // gif: named Map.gif, but no device draws it; PGPLOT says so and nothing is reported written.
  lines.clear();
  testing::internal::CaptureStderr();
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "gif");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "%PGPLOT, Unrecognized device type: gif\n");
  EXPECT_EQ(lines, no_more);
  EXPECT_EQ(entries(), (Strings{"Map.pdf", "Map.png", "Map.svg", "out.ecps", "plot"}));
}

// A name that already ends in its device type is the file written.
TEST_F(PsMapFiles, NamesEndingInTheirDeviceTypeAreWrittenAsTheyAre) {
  const struct {
    const char *file, *device, *written;
  } cases[] = {{"m.eps", "eps", "m.eps"}, {"m.vps", "vps", "m.vps"}, {"n.ps", "vps", "n.vps"}};
  Strings expected_lines, expected_entries;
  for (const auto& c : cases) {
    const PsMapResult r = ps_map(x, y, z, {.file = c.file, .device = c.device});
    EXPECT_EQ(r.file, c.written);
    expected_lines.push_back(std::string("  Output in ") + c.written);
    expected_entries.push_back(c.written);
    EXPECT_TRUE(starts_with(read_all(c.written), "%!PS-Adobe")) << c.written;
  }
  std::sort(expected_entries.begin(), expected_entries.end());
  EXPECT_EQ(lines, expected_lines);
  EXPECT_EQ(entries(), expected_entries);
}

// Each call returns the file it wrote, as its " Output in " line names it
// and of its device type's kind, or why it wrote none; a device type holding
// "/" is refused as an unknown one and writes nothing anywhere.
TEST_F(PsMapFiles, EachCallReturnsTheFileItWroteOrWhyNone) {
  using Outcome = PsMapResult::Outcome;
  const auto result = [](const PsMapResult& r) {
    return Strings{std::to_string(static_cast<int>(r.outcome)), r.file, r.kind,
                   std::to_string(r.error), r.message};
  };
  const auto to = [&](OptText file, OptText device) {
    return result(ps_map(x, y, z, {.file = file, .device = device}));
  };
  const auto written = [](std::string file, std::string kind) {
    return Strings{"0", std::move(file), std::move(kind), "0", ""};
  };
  const auto refused = [](Outcome o, std::string file, int error, std::string message) {
    return Strings{std::to_string(static_cast<int>(o)), std::move(file), "", std::to_string(error),
                   std::move(message)};
  };
  EXPECT_EQ(to(std::nullopt, "PNG"), written("Map.PNG", "PNG"));
  EXPECT_EQ(to(std::nullopt, "tpng"), written("Map.tpng", "PNG"));
  EXPECT_EQ(to("plot", " svg "), written("plot", "SVG"));
  EXPECT_EQ(to("a.ps", std::nullopt), written("a.ps", "PostScript"));
  EXPECT_EQ(to(std::nullopt, "vpdf"), written("Map.vpdf", "PDF"));
  EXPECT_EQ(to(std::nullopt, "null"), refused(Outcome::kNoFile, "", 0, ""));
  testing::internal::CaptureStderr();
  EXPECT_EQ(to(std::nullopt, "gif"),
            refused(Outcome::kDeviceRefused, "", 0, "Unrecognized device type: gif"));
  fs::create_directory("tmp");
  EXPECT_EQ(to(std::nullopt, "tmp/x/ps"),
            refused(Outcome::kDeviceRefused, "", 0, "Unrecognized device type: tmp/x/ps"));
  EXPECT_EQ(to("no/such/b.png", "png"),
            refused(Outcome::kNotOpened, "no/such/b.png", ENOENT,
                    "Cannot open output file for PNG plot: no/such/b.png: No such file or directory"));
  EXPECT_EQ(to("tmp", "png"),
            refused(Outcome::kNotOpened, "tmp", EISDIR,
                    "Cannot open output file for PNG plot: tmp: Is a directory"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "%PGPLOT, Unrecognized device type: gif\n"
            "%PGPLOT, Unrecognized device type: tmp/x/ps\n"
            "%PGPLOT, Cannot open output file for PNG plot: no/such/b.png: No such file or directory\n"
            "%PGPLOT, Cannot open output file for PNG plot: tmp: Is a directory\n");
  EXPECT_TRUE(fs::is_empty("tmp"));
  const std::vector<float> few(z.begin(), z.end() - 1), x1(1, 0.0f);
  EXPECT_EQ(result(ps_map(x, y, few)),
            refused(Outcome::kRefused, "", 0, "Warning: incompatible array sizes !!!"));
  EXPECT_EQ(result(ps_map(x1, y, few)),
            refused(Outcome::kRefused, "", 0,
                    "Warning: at least two x and two y values are needed !!!"));
  std::vector<float> xn(x.begin(), x.end());
  xn[3] = std::numeric_limits<float>::infinity();
  EXPECT_EQ(result(ps_map(xn, y, z)),
            refused(Outcome::kRefused, "", 0, "Warning: x and y values must be finite !!!"));
  const std::vector<double> xd(x.begin(), x.end()), yd(y.begin(), y.end()), zd(z.begin(), z.end());
  EXPECT_EQ(result(ps_map_2d_r8(xd, yd, MatView<double>(zd.data(), 121, 121),
                                {.file = "c.svg", .device = "svg"})),
            written("c.svg", "SVG"));
  EXPECT_EQ(lines.back(), "  Output in c.svg");
}

// A file's bytes without what differs between two drawings of the same map:
// the creation date of PostScript and PDF files, and the numbers cairo gives
// the images of SVG files from a counter of the whole process (renumbered in
// order of appearance).
std::string comparable(const std::string& bytes) {
  std::string out = std::regex_replace(bytes, std::regex("CreationDate[^\n]*"), "CreationDate");
  std::map<std::string, std::string> numbers;
  std::string renumbered;
  const std::regex id("(image|surface|pattern|source|mask|clip|glyph)([0-9]+)");
  auto rest = out.cbegin();
  for (std::sregex_iterator m(out.cbegin(), out.cend(), id), end; m != end; ++m) {
    renumbered.append(rest, (*m)[0].first);
    auto [at, fresh] = numbers.try_emplace((*m)[0].str(), std::to_string(numbers.size()));
    renumbered += (*m)[1].str() + "#" + at->second;
    rest = (*m)[0].second;
  }
  renumbered.append(rest, out.cend());
  return renumbered;
}

// Maps drawn by four threads at once, several rounds each, into files of
// their own are the files the same calls draw alone, and each call returns
// its own file. A fifth thread's fatal errors, taken back by its caller, end
// only its own calls: the other threads' files are whole and no temporary
// file is left.
TEST_F(PsMapFiles, MapsOfThreadsAtOnceAreTheMapsDrawnAlone) {
  const std::vector<std::string> devices = {"ps", "png", "svg", "pdf"};
  std::map<std::string, std::string> alone;
  for (const auto& d : devices) {
    ASSERT_TRUE(ps_map(x, y, z, {.file = "alone." + d, .device = d}).written());
    alone[d] = comparable(read_all("alone." + d));
  }
  constexpr int kThreads = 4, kRounds = 4;
  std::mutex mutex;
  Strings faults, expected = testing_support::entries_of(".");
  int fatal_errors_taken_back = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      // This thread's console records, apart from the fixture's.
      const rtl::ScopedHooks own_lines({.console_listener = [](std::string_view) {}});
      for (int r = 0; r < kRounds; ++r) {
        const std::string& d = devices[static_cast<std::size_t>(t + r) % devices.size()];
        const std::string file = "t" + std::to_string(t) + "r" + std::to_string(r) + "." + d;
        const PsMapResult result = ps_map(x, y, z, {.file = file, .device = d});
        const bool same = result.file == file && comparable(read_all(file)) == alone[d];
        const std::lock_guard<std::mutex> lock(mutex);
        expected.push_back(file);
        if (!same) faults.push_back(file);
      }
    });
  threads.emplace_back([&] {
    const rtl::ScopedHooks to_caller({.fatal_errors = rtl::FatalErrors::kToCaller});
    std::vector<float> zero = z;
    zero[77] = 0.0f;
    for (int r = 0; r < kRounds; ++r) {
      for (const char* file : {"log.ps", "log.png"}) {
        try {
          ps_map(x, y, zero, {.log = 1, .file = file, .device = std::string_view(file).substr(4)});
        } catch (const rtl::FatalError& e) {
          const std::lock_guard<std::mutex> lock(mutex);
          fatal_errors_taken_back += std::string(e.what()) == "log10: SING error";
        }
      }
    }
  });
  for (auto& t : threads) t.join();
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(faults, Strings{});
  EXPECT_EQ(fatal_errors_taken_back, 2 * kRounds);
  EXPECT_EQ(testing_support::entries_of("."), expected);
}

// A path longer than the 80-character fields, in every form and for any
// length: the file is written under the whole path, the ending rule works on
// the whole name, and " Output in " names it on one console line.
TEST_F(PsMapFiles, FileNamesOfAnyLengthAreUsedWhole) {
  const std::vector<float> xs{1, 2, 3}, ys{10, 20}, zs{1, 2, 3, 4, 5, 6};
  const std::vector<double> xd{1, 2, 3}, yd{10, 20}, zd{1, 2, 3, 4, 5, 6};
  using Form = std::function<void(const std::string& file, const char* device)>;
  const std::vector<std::pair<Form, const char*>> forms = {
      {[&](const std::string& f, const char* d) { ps_map(xs, ys, zs, {.file = f, .device = d}); },
       "ps"},
      {[&](const std::string& f, const char* d) { ps_map_r8(xd, yd, zd, {.file = f, .device = d}); },
       "png"},
      {[&](const std::string& f, const char* d) {
         ps_map_2d(xs, ys, MatView<float>(zs.data(), 3, 2), {.file = f, .device = d});
       },
       "svg"},
      {[&](const std::string& f, const char* d) {
         ps_map_2d_r8(xd, yd, MatView<double>(zd.data(), 3, 2), {.file = f, .device = d});
       },
       "pdf"},
  };
  for (const std::size_t length : {115u, 300u}) {
    for (const auto& [form, device] : forms) {
      const std::string asked = testing_support::long_path(length, ".ps");
      const std::string written = asked.substr(0, asked.size() - 2) + device;
      SCOPED_TRACE(written);
      lines.clear();
      form(asked, device);
      EXPECT_EQ(lines, Strings{"  Output in " + written});
      EXPECT_EQ(testing_support::files_under("."), Strings{written});
      EXPECT_GT(read_all(written).size(), 100u);
      fs::remove(written);
    }
  }
  // As long as a folder entry may be: the temporary file beside it fits too.
  const std::string longest = std::string(NAME_MAX - 3, 'm') + ".ps";
  ps_map(xs, ys, zs, {.file = longest});
  EXPECT_EQ(lines.back(), "  Output in " + longest);
  EXPECT_EQ(testing_support::files_under("."), Strings{longest});
}

TEST_F(PsMapFilesDeathTest, ANulByteInTheFileNameOrTheDeviceTypeIsRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string file("a\0b.ps", 6), device("png\0x", 5);
  const std::vector<float> xs{1, 2, 3}, ys{10, 20}, zs{1, 2, 3, 4, 5, 6};
  EXPECT_EXIT(ps_map(xs, ys, zs, {.file = file}), testing::ExitedWithCode(rtl::kFatalExitCode),
              "File name holds a NUL byte: a\\\\0b\\.ps");
  EXPECT_EXIT(ps_map_2d(xs, ys, MatView<float>(zs.data(), 3, 2), {.file = file, .device = "png"}),
              testing::ExitedWithCode(rtl::kFatalExitCode),
              "File name holds a NUL byte: a\\\\0b\\.ps");
  EXPECT_EXIT(ps_map(xs, ys, zs, {.device = device}), testing::ExitedWithCode(rtl::kFatalExitCode),
              "Device type holds a NUL byte: png\\\\0x");
  EXPECT_EQ(entries(), Strings{});
}

TEST_F(PsMapFiles, AnEarlierMapSurvivesCallsThatFail) {
  write_all("Map.ps", "earlier");
  const std::vector<float> too_few(z.begin(), z.end() - 1);
  ps_map(x, y, too_few);
  ps_map(std::vector<float>{1}, y, std::vector<float>(121, 1.0f));
  testing::internal::CaptureStderr();
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "no/such/Map.ps");
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(messages,
            "%PGPLOT, Cannot open output file for PostScript plot: no/such/Map.ps: "
            "No such file or directory\n");
  EXPECT_EQ(lines, (Strings{"  Warning: incompatible array sizes !!!",
                            "  Warning: at least two x and two y values are needed !!!"}));
  EXPECT_EQ(read_all("Map.ps"), "earlier");
  EXPECT_EQ(entries(), Strings{"Map.ps"});
}

// The earlier map's rights stay, links are followed, and a map that may not
// be written is left alone with PGPLOT's message.
TEST_F(PsMapFilesDeathTest, TheEarlierMapsRightsAndLinksAreKept) {
  write_all("Map.ps", "earlier");
  fs::permissions("Map.ps", fs::perms::owner_read | fs::perms::owner_write);
  ps_map(x, y, z);
  EXPECT_TRUE(starts_with(read_all("Map.ps"), "%!PS"));
  EXPECT_EQ(fs::status("Map.ps").permissions(), fs::perms::owner_read | fs::perms::owner_write);

  fs::create_directory("sub");
  fs::create_symlink("sub/real.ps", "link.ps");
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "link.ps");
  EXPECT_TRUE(fs::is_symlink("link.ps"));
  EXPECT_TRUE(starts_with(read_all("sub/real.ps"), "%!PS"));

  fs::create_symlink("b.ps", "a.ps");
  fs::create_symlink("a.ps", "b.ps");
  lines.clear();
  testing::internal::CaptureStderr();
  ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "a.ps");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "%PGPLOT, Cannot open output file for PostScript plot: a.ps: "
            "Too many levels of symbolic links\n");
  EXPECT_TRUE(lines.empty());

  const std::string why = rtl::testing::why_not_unprivileged();
  if (!why.empty()) GTEST_SKIP() << "write-protected map not tried: " << why;
  fs::permissions(dir_, fs::perms::all);  // the folder may be written, the map not
  write_all("protected.ps", "earlier");
  fs::permissions("protected.ps", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EXIT(
      {
        if (!rtl::testing::become_unprivileged()) std::abort();
        ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "protected.ps");
        std::exit(lines.empty() ? 0 : 3);
      },
      testing::ExitedWithCode(0),
      "%PGPLOT, Cannot open output file for PostScript plot: protected.ps: Permission denied");
  EXPECT_EQ(read_all("protected.ps"), "earlier");
  EXPECT_EQ(entries(), (Strings{"Map.ps", "a.ps", "b.ps", "link.ps", "protected.ps", "sub"}));
}

TEST_F(PsMapFilesDeathTest, AFatalErrorWhileDrawingLeavesTheEarlierMap) {
  write_all("Map.ps", "earlier");
  // giza's calls, with a failure after the labels are drawn, before PGEND.
  static Pgplot failing = giza_pgplot();
  failing.lab = [](std::string_view a, std::string_view b, std::string_view c) {
    giza_pgplot().lab(a, b, c);
    rtl::fatal_error("File Map.ps: cannot write: No space left on device");
  };
  EXPECT_EXIT(
      {
        set_pgplot(&failing);
        ps_map(x, y, z);
      },
      testing::ExitedWithCode(rtl::kFatalExitCode), "File Map.ps: cannot write");
  EXPECT_EQ(read_all("Map.ps"), "earlier");
  EXPECT_EQ(entries(), Strings{"Map.ps"});
}

// A fatal error that unwinds (an exit function that throws, as a binding
// installs) in the middle of a plot: the device is closed without its file,
// and the next plot starts afresh instead of finishing this one.
TEST_F(PsMapFiles, AFatalErrorThatUnwindsLeavesNoDeviceOpen) {
  struct Unwound {};
  write_all("map.png", "earlier");
  static Pgplot failing = giza_pgplot();
  failing.box = [](std::string_view, float, int, std::string_view, float, int) {
    throw std::bad_alloc();  // exhausted storage half-way through the calls
  };
  set_pgplot(&failing);
  rtl::change_hooks([&](rtl::Hooks& h) { h.fatal_exit = [](int) { throw Unwound{}; }; });
  testing::internal::CaptureStderr();
  EXPECT_THROW(ps_map(x, y, z, {.file = "map.png", .device = "png"}), Unwound);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Out of memory\n");
  set_pgplot(nullptr);
  rtl::change_hooks([&](rtl::Hooks& h) { h.fatal_exit = {}; });
  EXPECT_EQ(read_all("map.png"), "earlier");
  EXPECT_EQ(entries(), Strings{"map.png"});

  lines.clear();
  ps_map(x, y, z, {.file = "other.svg", .device = "svg"});
  EXPECT_EQ(lines, Strings{"  Output in other.svg"});
  EXPECT_TRUE(read_all("map.png") == "earlier");  // not the plot cut short, finished late
  EXPECT_TRUE(ends_with(read_all("other.svg"), "</svg>\n"));
  EXPECT_EQ(entries(), (Strings{"map.png", "other.svg"}));
}

// Work stopped by the interruption check at each of the points where it is
// checked, on each kind of file: the earlier file stays, no temporary file is
// left, and no device stays open (the next plot gives its file as usual).
TEST_F(PsMapFiles, WorkStoppedAtAnyCheckLeavesTheEarlierFileAndNoDevice) {
  struct Stopped {};
  int checks = 0;
  int stop_at = 0;  // 0: never
  rtl::change_hooks([&](rtl::Hooks& h) { h.interruption_check = [&] {
    if (++checks == stop_at) throw Stopped{};
  }; });
  for (const std::string device : {"ps", "png", "pdf", "svg"}) {
    const std::string file = "map." + device;
    const PsMapOptions options{.log = -1, .file = file, .device = device};
    checks = 0;
    ps_map(x, y, z, options);
    const int every_check = checks;
    const std::string finished = read_all(file);
    EXPECT_GE(every_check, 10) << device;  // the logarithms, the values, the file
    for (stop_at = 1; stop_at <= every_check; ++stop_at) {
      write_all(file, "earlier");
      checks = 0;
      lines.clear();
      EXPECT_THROW(ps_map(x, y, z, options), Stopped) << device << " " << stop_at;
      EXPECT_EQ(read_all(file), "earlier") << device << " " << stop_at;
      EXPECT_EQ(entries(), Strings{file}) << device << " " << stop_at;
      EXPECT_EQ(lines, Strings{});
      fs::remove(file);
    }
    stop_at = 0;
    ps_map(x, y, z, options);
    EXPECT_EQ(lines, Strings{"  Output in " + file});
    if (device == "png") {
      EXPECT_TRUE(read_all(file) == finished);
    }
    const char* ending = device == "svg" ? "</svg>\n" : device == "png" ? "IEND\xAE\x42\x60\x82" : "%%EOF\n";
    EXPECT_TRUE(ends_with(read_all(file), ending)) << device;
    fs::remove(file);
  }
  rtl::change_hooks([&](rtl::Hooks& h) { h.interruption_check = {}; });
}

TEST_F(PsMapFilesDeathTest, ExhaustedStorageEndsWithTheFatalReport) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer ends a program on a huge allocation itself";
#endif
  write_all("Map.ps", "earlier");
  const double v = 1.0;
  // A million by a million values, all the same element: their copy cannot be had.
  const maparg::MatView<double> huge(&v, 1'000'000, 1'000'000, 0, 0);
  const std::vector<double> xy(1'000'000, 1.0);
  EXPECT_EXIT(
      {
        rlimit limit {};
        limit.rlim_cur = limit.rlim_max = rlim_t{16} << 30;
        setrlimit(RLIMIT_AS, &limit);
        ps_map_2d_r8(xy, xy, huge);
      },
      testing::ExitedWithCode(rtl::kFatalExitCode), "Out of memory");
  EXPECT_EQ(read_all("Map.ps"), "earlier");
  EXPECT_EQ(entries(), Strings{"Map.ps"});
}

TEST_F(PsMapFilesDeathTest, LogOfZeroOrNegativeEndsTheProgramBeforeAnyFile) {
  write_all("Map.ps", "earlier");
  std::vector<float> with_zero = z;
  with_zero[5] = 0.0f;
  EXPECT_EXIT(ps_map(x, y, with_zero, 1), testing::ExitedWithCode(rtl::kFatalExitCode),
              "log10: SING error");
  with_zero[5] = -0.0f;
  EXPECT_EXIT(ps_map(x, y, with_zero, -1, std::nullopt, std::nullopt, std::nullopt, "new.ps"),
              testing::ExitedWithCode(rtl::kFatalExitCode), "log10: SING error");
  std::vector<float> with_negative = z;
  with_negative[7] = -3.0f;
  with_negative[9] = 0.0f;  // the first bad value in order decides
  EXPECT_EXIT(ps_map_r8(std::vector<double>(x.begin(), x.end()),
                        std::vector<double>(y.begin(), y.end()),
                        std::vector<double>(with_negative.begin(), with_negative.end()), 1,
                        std::nullopt, std::nullopt, std::nullopt, "new.png", "png"),
              testing::ExitedWithCode(rtl::kFatalExitCode), "log10: DOMAIN error");
  EXPECT_EQ(read_all("Map.ps"), "earlier");
  EXPECT_EQ(entries(), Strings{"Map.ps"});
}

// Under the log option the limits of the colours are logarithms too.
TEST_F(PsMapFilesDeathTest, LogOfALimitOfZeroOrBelowEndsTheProgramBeforeAnyFile) {
  write_all("Map.ps", "earlier");
  EXPECT_EXIT(ps_map(x, y, z, {.log = 1, .zmin = 0.0}),
              testing::ExitedWithCode(rtl::kFatalExitCode), "log10: SING error");
  EXPECT_EXIT(ps_map(x, y, z, {.log = 1, .zmin = 1, .zmax = -2}),
              testing::ExitedWithCode(rtl::kFatalExitCode), "log10: DOMAIN error");
  EXPECT_EQ(read_all("Map.ps"), "earlier");
  EXPECT_EQ(entries(), Strings{"Map.ps"});
}

// The device types a map can be drawn with, each with the bytes every whole
// file of its kind ends in.
struct Kind {
  std::string type;
  std::string_view ending;
};
const Kind kKinds[] = {{"ps", "%%EOF\n"},
                       {"vps", "%%EOF\n"},
                       {"eps", "%%EOF\n"},
                       {"pdf", "%%EOF\n"},
                       {"png", std::string_view("\0\0\0\0IEND\xAE\x42\x60\x82", 12)},
                       {"svg", "</svg>\n"}};

// In a death test's child: console lines go to the file "console" (so that
// the parent sees whether any was written).
void console_to_file() {
  rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = 
      [](std::string_view line) { std::ofstream("console", std::ios::app) << line << '\n'; }; });
}

// A map some 10^4 to 10^5 times wider than high (or higher than wide) puts
// giza's wedge into a band cairo cannot take, and on PNG a grid of 121 rows too.
TEST_F(PsMapFiles, MapsOfExtremeAspectRatiosAreDrawnOnEveryDevice) {
  const std::vector<float> z4 = {1, 2, 3, 4};
  for (const float ratio : {5.0e4f, 1.0e5f, 2.0e5f}) {
    for (const bool wide : {true, false}) {
      for (const Kind& kind : kKinds) {
        SCOPED_TRACE(std::to_string(ratio) + (wide ? " wide " : " tall ") + kind.type);
        const std::string file = "Map." + kind.type;
        write_all(file, "earlier");
        lines.clear();
        testing::internal::CaptureStderr();
        ps_map(std::vector<float>{0, wide ? ratio : 1}, std::vector<float>{0, wide ? 1 : ratio},
               z4, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "Map.ps", kind.type);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(lines, Strings{"  Output in " + file});
        EXPECT_TRUE(ends_with(read_all(file), kind.ending));
        if (kind.type == "ps" || kind.type == "pdf") {
          EXPECT_EQ(ghostscript_messages(file), "");
        }
      }
    }
  }
  // The grid's 121 rows in a band 2.10^5 times thinner than wide.
  std::vector<float> far(x);
  for (float& v : far) v *= 2.0e5f;
  ps_map(far, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "grid.png", "png");
  EXPECT_TRUE(ends_with(read_all("grid.png"), kKinds[4].ending));
  EXPECT_EQ(entries(), (Strings{"Map.eps", "Map.pdf", "Map.png", "Map.ps", "Map.svg", "Map.vps",
                                "grid.png"}));
}

// A file that reaches the process's file size limit: writes fail with EFBIG
// (the signal they would raise is ignored).
TEST_F(PsMapFilesDeathTest, AFileSizeLimitEndsWithTheFatalReportAndKeepsTheEarlierFile) {
  for (const Kind& kind : kKinds) {
    const std::string file = "Map." + kind.type;
    write_all(file, "earlier " + file);
    EXPECT_EXIT(
        {
          console_to_file();
          std::signal(SIGXFSZ, SIG_IGN);
          rlimit limit{};
          getrlimit(RLIMIT_FSIZE, &limit);
          limit.rlim_cur = 8192;
          setrlimit(RLIMIT_FSIZE, &limit);
          ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "Map.ps",
                 kind.type);
        },
        testing::ExitedWithCode(rtl::kFatalExitCode),
        "File " + file + ": cannot write: File too large");
    EXPECT_EQ(read_all(file), "earlier " + file);
  }
  EXPECT_EQ(entries(), (Strings{"Map.eps", "Map.pdf", "Map.png", "Map.ps", "Map.svg", "Map.vps"}));
}

// A 64 KiB file system mounted on "small" (where this process may mount one)
// holding an earlier map of each kind and room for 8 KiB more.
class PsMapFullDisk : public PsMapFiles {
 protected:
  void SetUp() override {
    PsMapFiles::SetUp();
    if (child_) return;  // a death test's child finds it ready
    fs::create_directory("small");
    if (mount("mapplot-test", "small", "tmpfs", 0, "size=64k") != 0) {
      GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    }
    mounted_ = true;
    for (const Kind& kind : kKinds) write_all("small/Map." + kind.type, "earlier " + kind.type);
    struct statvfs room {};
    ASSERT_EQ(statvfs("small", &room), 0);
    write_all("small/filler", std::string(room.f_bavail * room.f_bsize - 8192, 'f'));
    ASSERT_EQ(statvfs("small", &room), 0);
    ASSERT_EQ(room.f_bavail * room.f_bsize, 8192u);
  }
  void TearDown() override {
    if (mounted_) umount2("small", MNT_DETACH);
    PsMapFiles::TearDown();
  }
  bool mounted_ = false;
};

using PsMapFullDiskDeathTest = PsMapFullDisk;

TEST_F(PsMapFullDiskDeathTest, EveryDeviceEndsWithTheFatalReportAndKeepsTheEarlierFile) {
  for (const Kind& kind : kKinds) {
    const std::string file = "small/Map." + kind.type;
    EXPECT_EXIT(
        {
          console_to_file();
          ps_map(x, y, z, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                 "small/Map.ps", kind.type);
        },
        testing::ExitedWithCode(rtl::kFatalExitCode),
        "File " + file + ": cannot write: No space left on device");
    EXPECT_EQ(read_all(file), "earlier " + kind.type);
  }
  EXPECT_EQ(testing_support::entries_of("small"),
            (Strings{"Map.eps", "Map.pdf", "Map.png", "Map.ps", "Map.svg", "Map.vps", "filler"}));
  EXPECT_EQ(entries(), Strings{"small"});  // and no console line
}

// The PostScript devices with a full /tmp, where cairo keeps each page in a
// temporary file of its own: in a private mount namespace with a 64 KiB file
// system on /tmp, holding the map's folder and not one free byte.

// Why a private /tmp cannot be had here ("" when it can), tried in a child.
std::string why_no_private_tmp() {
  const pid_t child = fork();
  if (child == 0) {
    const bool ok = unshare(CLONE_NEWNS) == 0 &&
                    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                    mount("mapplot-test", "/tmp", "tmpfs", 0, "size=64k") == 0;
    _exit(ok ? 0 : errno);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return "no child";
  return WEXITSTATUS(status) == 0 ? "" : std::strerror(WEXITSTATUS(status));
}

// In a death test's child: /tmp private, small and full, the current folder
// /tmp/w with an earlier `file`. The program ends with its exit code when
// only that file is left as it was, else with 3.
void into_a_full_private_tmp(const std::string& file) {
  static std::string earlier;
  earlier = file;
  if (unshare(CLONE_NEWNS) != 0 ||
      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("mapplot-test", "/tmp", "tmpfs", 0, "size=64k") != 0 || mkdir("/tmp/w", 0700) != 0 ||
      chdir("/tmp/w") != 0)
    std::_Exit(4);
  write_all(file, "earlier");
  struct statvfs room {};
  if (statvfs("/tmp", &room) != 0) std::_Exit(4);
  write_all("/tmp/filler", std::string(room.f_bavail * room.f_bsize, 'f'));
  if (statvfs("/tmp", &room) != 0 || room.f_bavail != 0) std::_Exit(4);
  rtl::change_hooks([&](rtl::Hooks& h) { h.fatal_exit = [](int code) {
    const bool intact =
        testing_support::entries_of(".") == Strings{earlier} && read_all(earlier) == "earlier";
    std::_Exit(intact ? code : 3);
  }; });
}

TEST_F(PsMapFilesDeathTest, PostScriptThroughAFullTmpEndsWithTheFatalReport) {
  if (const std::string why = why_no_private_tmp(); !why.empty())
    GTEST_SKIP() << "no private /tmp to fill here: " << why;
  for (const std::string type : {"ps", "cps", "vps", "vcps", "eps"}) {
    const std::string file = "Map." + type;  // the name takes the type's ending
    EXPECT_EXIT(
        {
          into_a_full_private_tmp(file);
          ps_map(x, y, z, {.device = type});
        },
        testing::ExitedWithCode(rtl::kFatalExitCode),
        "File " + file + ": cannot write: No space left on device");
  }
}

// The file size limit below what cairo's page first writes (its temporary
// file's first buffer) with SIGXFSZ ignored: the same report, File too large.
TEST_F(PsMapFilesDeathTest, PostScriptUnderATinyFileSizeLimitEndsWithTheFatalReport) {
  for (const std::string type : {"ps", "cps", "vps", "vcps", "eps"}) {
    const std::string file = "Map." + type;
    write_all(file, "earlier");
    EXPECT_EXIT(
        {
          console_to_file();
          std::signal(SIGXFSZ, SIG_IGN);
          rlimit limit{};
          getrlimit(RLIMIT_FSIZE, &limit);
          limit.rlim_cur = 1024;
          setrlimit(RLIMIT_FSIZE, &limit);
          ps_map(x, y, z, {.device = type});
        },
        testing::ExitedWithCode(rtl::kFatalExitCode),
        "File " + file + ": cannot write: File too large");
    EXPECT_EQ(read_all(file), "earlier");
    EXPECT_EQ(entries(), Strings{file});  // and no console line
    std::remove(file.c_str());
  }
}

}  // namespace
}  // namespace mapps
