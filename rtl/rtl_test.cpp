#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rtl/checked_math.h"
#include "rtl/console.h"
#include "rtl/fatal.h"
#include "rtl/safe_file.h"
#include "rtl/testing/temp_folder.h"

namespace rtl {
namespace {

using testing::InTempFolder;
using testing::read_all;
namespace fs = std::filesystem;

TEST(Console, RecordsGoToStandardOutputAndTheListener) {
  std::vector<std::string> seen;
  set_console_listener([&](std::string_view r) { seen.emplace_back(r); });
  ::testing::internal::CaptureStdout();
  console_write_line(" Output in Map.dat");
  auto& out = console();
  textfmt::begin_record(out);
  textfmt::put_text(out, " Warning: incompatible array sizes !!!");
  textfmt::end_record(out);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  set_console_listener({});
  EXPECT_EQ(printed, " Output in Map.dat\n  Warning: incompatible array sizes !!!\n");
  EXPECT_EQ(seen, (std::vector<std::string>{" Output in Map.dat",
                                            "  Warning: incompatible array sizes !!!"}));
}

TEST(CheckedLog10, ValuesAndNotANumberPassThrough) {
  EXPECT_EQ(checked_log10(1000.0), 3.0);
  EXPECT_EQ(checked_log10(100.0f), 2.0f);
  EXPECT_TRUE(std::isnan(checked_log10(std::nan(""))));
}

TEST(CheckedLog10DeathTest, ZeroAndNegativeValuesEndTheProgram) {
  EXPECT_EXIT(checked_log10(0.0), ::testing::ExitedWithCode(kFatalExitCode), "log10: SING error");
  EXPECT_EXIT(checked_log10(-0.0f), ::testing::ExitedWithCode(kFatalExitCode), "log10: SING error");
  EXPECT_EXIT(checked_log10(-2.0), ::testing::ExitedWithCode(kFatalExitCode),
              "log10: DOMAIN error");
}

using SafeFileTest = InTempFolder;

TEST_F(SafeFileTest, CommitReplacesTheWholeFile) {
  { std::ofstream("out.dat") << "an earlier, longer content\n"; }
  SafeFile f("out.dat");
  f.write("new\r\n");
  EXPECT_EQ(read_all("out.dat"), "an earlier, longer content\n");  // not yet
  f.commit();
  EXPECT_EQ(read_all("out.dat"), "new\r\n");
  EXPECT_EQ(entries(), std::vector<std::string>{"out.dat"});
  EXPECT_EQ(fs::status("out.dat").permissions() & fs::perms::owner_read, fs::perms::owner_read);
}

TEST_F(SafeFileTest, UncommittedFileLeavesTheTargetAsItWas) {
  { std::ofstream("out.dat") << "keep"; }
  {
    SafeFile f("out.dat");
    f.write(std::string(3 << 20, 'x'));  // more than one buffer
  }
  EXPECT_EQ(read_all("out.dat"), "keep");
  EXPECT_EQ(entries(), std::vector<std::string>{"out.dat"});
}

TEST_F(SafeFileTest, LinkedTargetIsReplacedThroughTheLink) {
  { std::ofstream("real.dat") << "old"; }
  fs::create_symlink("real.dat", "link.dat");
  SafeFile f("link.dat");
  f.write("new");
  f.commit();
  EXPECT_TRUE(fs::is_symlink("link.dat"));
  EXPECT_EQ(read_all("real.dat"), "new");
}

using SafeFileDeathTest = InTempFolder;

TEST_F(SafeFileDeathTest, FailuresNameTheFileAndTheReason) {
  EXPECT_EXIT(
      {
        SafeFile f("no/such/folder/Map.dat");
        f.commit();
      },
      ::testing::ExitedWithCode(kFatalExitCode),
      "File no/such/folder/Map.dat: cannot create: No such file or directory");
  EXPECT_EXIT(
      {
        SafeFile f("/dev/full");
        f.write("x");
        f.commit();
      },
      ::testing::ExitedWithCode(kFatalExitCode), "File /dev/full: cannot write: No space left");
  EXPECT_EXIT(SafeFile f(""), ::testing::ExitedWithCode(kFatalExitCode), "File name is blank");
}

TEST_F(SafeFileDeathTest, FatalErrorRemovesFilesBeingWritten) {
  { std::ofstream("Map.dat") << "earlier"; }
  EXPECT_EXIT(
      {
        SafeFile f("Map.dat");
        f.write("half a file");
        fatal_error("log10: SING error");
      },
      ::testing::ExitedWithCode(kFatalExitCode), "log10: SING error");
  EXPECT_EQ(read_all("Map.dat"), "earlier");
  EXPECT_EQ(entries(), std::vector<std::string>{"Map.dat"});
}

}  // namespace
}  // namespace rtl
