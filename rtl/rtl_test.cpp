#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rtl/checked_math.h"
#include "rtl/console.h"
#include "rtl/fatal.h"
#include "rtl/safe_file.h"
#include "rtl/testing/temp_folder.h"
#include "rtl/testing/unprivileged.h"

namespace rtl {
namespace {

using testing::InTempFolder;
using testing::read_all;
using testing::write_all;
namespace fs = std::filesystem;

TEST(Console, RecordsGoToStandardOutputAndTheListener) {
  std::vector<std::string> seen;
  change_hooks([&](Hooks& h) { h.console_listener = [&](std::string_view r) { seen.emplace_back(r); }; });
  ::testing::internal::CaptureStdout();
  console_write_line(" Output in Map.dat");
  auto& out = console();
  textfmt::begin_record(out);
  textfmt::put_text(out, " Warning: incompatible array sizes !!!");
  textfmt::end_record(out);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  change_hooks([&](Hooks& h) { h.console_listener = {}; });
  EXPECT_EQ(printed, " Output in Map.dat\n  Warning: incompatible array sizes !!!\n");
  EXPECT_EQ(seen, (std::vector<std::string>{" Output in Map.dat",
                                            "  Warning: incompatible array sizes !!!"}));
}

TEST(Console, AnotherDestinationTakesThePlaceOfStandardOutput) {
  std::vector<std::string> written, seen;
  change_hooks([&](Hooks& h) { h.console_output = [&](std::string_view r) { written.emplace_back(r); }; });
  change_hooks([&](Hooks& h) { h.console_listener = [&](std::string_view r) { seen.emplace_back(r); }; });
  ::testing::internal::CaptureStdout();
  console_write_line(" Output in Map.ps");
  change_hooks([&](Hooks& h) { h.console_output = {}; });
  console_write_line(" back");
  const std::string printed = ::testing::internal::GetCapturedStdout();
  change_hooks([&](Hooks& h) { h.console_listener = {}; });
  EXPECT_EQ(written, (std::vector<std::string>{" Output in Map.ps"}));
  EXPECT_EQ(seen, (std::vector<std::string>{" Output in Map.ps", " back"}));
  EXPECT_EQ(printed, " back\n");
}

// Output another run-time buffers goes out ahead of what follows it: its
// standard output before each record written there (not before one that
// goes elsewhere), everything before the program ends.
TEST(Console, BufferedOutputOfAnotherRunTimeGoesOutFirst) {
  std::vector<std::string> events;
  change_hooks([&](Hooks& h) { h.output_flusher = [&](BufferedOutput what) {
    events.emplace_back(what == BufferedOutput::kStandardOutput ? "standard output" : "everything");
  }; });
  change_hooks([&](Hooks& h) { h.console_listener = [&](std::string_view r) { events.emplace_back(r); }; });
  ::testing::internal::CaptureStdout();
  console_write_line(" one");
  change_hooks([&](Hooks& h) { h.console_output = [](std::string_view) {}; });
  console_write_line(" elsewhere");
  change_hooks([&](Hooks& h) { h.console_output = {}; });
  flush_program_output();
  ::testing::internal::GetCapturedStdout();
  change_hooks([&](Hooks& h) { h.console_listener = {}; });
  change_hooks([&](Hooks& h) { h.output_flusher = {}; });
  EXPECT_EQ(events,
            (std::vector<std::string>{"standard output", " one", " elsewhere", "everything"}));
}

TEST(ConsoleDeathTest, AFatalErrorWritesOutBufferedOutputBeforeItsMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        change_hooks([&](Hooks& h) { h.output_flusher = [](BufferedOutput what) {
          if (what == BufferedOutput::kEverything) std::fputs("buffered\n", stderr);
        }; });
        fatal_error("Out of memory");
      },
      ::testing::ExitedWithCode(kFatalExitCode), "^buffered\nOut of memory\n");
}

// A caller that takes its errors back (a status argument) gets FatalError
// with the message, errno and file, on its own thread alone and for the
// extent of its scope; nothing is printed for it. Other threads, and this
// one afterwards, keep the program's report (here through an exit hook
// that throws, so the test goes on).
TEST(FatalReport, ErrorsGoBackToTheCallerOnlyWithinItsScopeOnItsThread) {
  struct Ended {
    std::string message;
  };
  std::string reported;
  change_hooks([&](Hooks& h) {
    h.fatal_reporter = [&](std::string_view m) { reported = m; };
    h.fatal_exit = [](int) { throw Ended{}; };
  });
  const auto outcome = [] {
    try {
      file_error("a/Map.dat", "cannot open", ENOENT);
    } catch (const FatalError& e) {
      return "caught " + std::string(e.what()) + " " + std::to_string(e.error()) + " " + e.file();
    } catch (const Ended&) {
      return std::string("ended");
    }
  };
  ::testing::internal::CaptureStderr();
  std::string in_scope, nested, other_thread;
  {
    ScopedHooks to_caller({.fatal_errors = FatalErrors::kToCaller});
    in_scope = outcome();
    {
      ScopedHooks listener({.console_listener = [](std::string_view) {}});
      nested = outcome();  // an inner scope that sets other entries keeps the outer's
    }
    std::thread([&] { other_thread = outcome(); }).join();
  }
  const std::string after = outcome();
  const std::string printed = ::testing::internal::GetCapturedStderr();
  change_hooks([](Hooks& h) { h = {}; });
  const std::string caught = "caught File a/Map.dat: cannot open: No such file or directory " +
                             std::to_string(ENOENT) + " a/Map.dat";
  EXPECT_EQ(in_scope, caught);
  EXPECT_EQ(nested, caught);
  EXPECT_EQ(other_thread, "ended");
  EXPECT_EQ(after, "ended");
  EXPECT_EQ(printed, "File a/Map.dat: cannot open: No such file or directory\n"
                     "File a/Map.dat: cannot open: No such file or directory\n");
  EXPECT_EQ(reported, "File a/Map.dat: cannot open: No such file or directory");
}

// Records written by many threads at once are whole lines.
TEST(Console, RecordsOfThreadsAtOnceAreWholeLines) {
  ::testing::internal::CaptureStdout();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int k = 0; k < 500; ++k) {
        auto& out = console();
        textfmt::begin_record(out);
        textfmt::put_text(out, std::string(40, static_cast<char>('a' + t)));
        textfmt::end_record(out);
      }
    });
  for (auto& t : threads) t.join();
  std::istringstream lines(::testing::internal::GetCapturedStdout());
  int n = 0;
  for (std::string line; std::getline(lines, line); ++n)
    ASSERT_EQ(line, " " + std::string(40, line.at(1))) << "line " << n;
  EXPECT_EQ(n, 2000);
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

// A reservation that fails says why and leaves nothing behind; one that
// succeeds hands its open temporary file to the writer.
TEST_F(SafeFileTest, AReservationReportsFailureAsAResult) {
  fs::create_directory("folder");
  const Reservation missing = PendingFile::reserve("no/such/Map.ps", ".ps");
  EXPECT_EQ(missing.file, nullptr);
  EXPECT_STREQ(missing.failed, "cannot create");
  EXPECT_EQ(missing.error, ENOENT);
  const Reservation folder = PendingFile::reserve("folder", ".ps");
  EXPECT_EQ(folder.file, nullptr);
  EXPECT_STREQ(folder.failed, "cannot open");
  EXPECT_EQ(folder.error, EISDIR);
  EXPECT_EQ(entries(), std::vector<std::string>{"folder"});

  { std::ofstream("Map.ps") << "earlier"; }
  Reservation reserved = PendingFile::reserve("Map.ps", ".ps");
  ASSERT_NE(reserved.file, nullptr);
  EXPECT_EQ(reserved.error, 0);
  EXPECT_TRUE(reserved.file->temporary().ends_with(".ps"));
  const int fd = reserved.file->take_descriptor();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(reserved.file->take_descriptor(), -1);
  EXPECT_EQ(::write(fd, "drawn", 5), 5);
  EXPECT_EQ(close(fd), 0);
  EXPECT_EQ(read_all("Map.ps"), "earlier");
  reserved.file->commit();
  EXPECT_EQ(read_all("Map.ps"), "drawn");
  reserved.file.reset();
  EXPECT_EQ(entries(), (std::vector<std::string>{"Map.ps", "folder"}));
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
  // The system would take the name up to its NUL and write another file.
  EXPECT_EXIT(SafeFile f(std::string("a\0b", 3)), ::testing::ExitedWithCode(kFatalExitCode),
              "File name holds a NUL byte: a\\\\0b");
  EXPECT_EQ(entries(), std::vector<std::string>{});
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

mode_t mode_of(const char* path) {
  struct stat st {};
  stat(path, &st);
  return st.st_mode & 07777;
}

TEST_F(SafeFileTest, TheNewFileTakesTheEarlierFilesRights) {
  write_all("private.dat", "old");
  chmod("private.dat", 0600);
  write_all("shared.dat", "old");
  chmod("shared.dat", 0664);
  if (geteuid() == 0) {
    ASSERT_EQ(chown("shared.dat", 65534, 65534), 0);
  }
  for (const char* name : {"private.dat", "shared.dat"}) {
    SafeFile f(name);
    f.write("new");
    f.commit();
    EXPECT_EQ(read_all(name), "new");
  }
  EXPECT_EQ(mode_of("private.dat"), 0600u);
  EXPECT_EQ(mode_of("shared.dat"), 0664u);
  struct stat st {};
  stat("shared.dat", &st);
  if (geteuid() == 0) {
    EXPECT_EQ(st.st_uid, 65534u);
  }

  // A new file: the mode of an ordinary create, whatever the umask.
  const mode_t old_mask = umask(027);
  {
    SafeFile f("new.dat");
    f.write("x");
    f.commit();
  }
  umask(old_mask);
  EXPECT_EQ(mode_of("new.dat"), 0640u);
}

TEST_F(SafeFileTest, ADanglingLinkGetsTheFileItNames) {
  fs::create_directory("sub");
  fs::create_symlink("sub/real.dat", "link.dat");
  fs::create_symlink("../link.dat", "sub/link2.dat");  // relative to its own folder
  SafeFile f("sub/link2.dat");
  f.write("new");
  f.commit();
  EXPECT_TRUE(fs::is_symlink("link.dat"));
  EXPECT_TRUE(fs::is_symlink("sub/link2.dat"));
  EXPECT_EQ(read_all("sub/real.dat"), "new");
  EXPECT_EQ(testing::entries_of("sub"), (std::vector<std::string>{"link2.dat", "real.dat"}));
}

TEST_F(SafeFileDeathTest, WhatAnOpenWouldRefuseIsFatalAndLeftAlone) {
  fs::create_symlink("b.dat", "a.dat");
  fs::create_symlink("a.dat", "b.dat");
  EXPECT_EXIT(SafeFile f("a.dat"), ::testing::ExitedWithCode(kFatalExitCode),
              "File a.dat: cannot open: Too many levels of symbolic links");
  EXPECT_EQ(fs::read_symlink("a.dat"), "b.dat");
  fs::create_directory("Map.dat");
  EXPECT_EXIT(SafeFile f("Map.dat"), ::testing::ExitedWithCode(kFatalExitCode),
              "File Map.dat: cannot open: Is a directory");

  const std::string why = testing::why_not_unprivileged();
  if (!why.empty()) GTEST_SKIP() << "write-protected file not tried: " << why;
  chmod(dir_.c_str(), 0777);  // the folder may be written, the file not
  write_all("protected.dat", "keep");
  chmod("protected.dat", 0444);
  EXPECT_EXIT(
      {
        if (!testing::become_unprivileged()) std::abort();
        SafeFile f("protected.dat");
        f.write("new");
        f.commit();
      },
      ::testing::ExitedWithCode(kFatalExitCode), "File protected.dat: cannot open: Permission denied");
  EXPECT_EQ(read_all("protected.dat"), "keep");
  EXPECT_EQ(mode_of("protected.dat"), 0444u);
}

// The program ends while a file is being written: the earlier file stays,
// the temporary file goes.
TEST_F(SafeFileDeathTest, AnEndingProgramLeavesNoTemporaryFile) {
  write_all("Map.dat", "earlier");
  const std::string half(3 << 20, 'x');
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_EXIT(
        {
          SafeFile f("Map.dat");
          f.write(half);
          raise(sig);
        },
        ::testing::KilledBySignal(sig), "");
  }
  EXPECT_EXIT(
      {
        rlimit small {};
        small.rlim_cur = small.rlim_max = 1 << 20;
        setrlimit(RLIMIT_FSIZE, &small);
        SafeFile f("Map.dat");
        f.write(half);
        f.commit();
      },
      ::testing::KilledBySignal(SIGXFSZ), "");
  EXPECT_EXIT(
      {
        SafeFile f("Map.dat");
        f.write(half);
        std::exit(5);
      },
      ::testing::ExitedWithCode(5), "");
  EXPECT_EXIT(
      {
        try {
          SafeFile f("Map.dat");
          f.write(half);
          throw std::bad_alloc();
        } catch (...) {
          fatal_if_out_of_memory();
        }
      },
      ::testing::ExitedWithCode(kFatalExitCode), "Out of memory");
  EXPECT_EQ(read_all("Map.dat"), "earlier");
  EXPECT_EQ(entries(), std::vector<std::string>{"Map.dat"});
}

// Near PATH_MAX the temporary file's own path is longer than the system
// takes; it is still named by temporary(), and removed however the program
// ends before it is committed.
TEST_F(SafeFileDeathTest, ATemporaryBeyondPathMaxIsRemovedAtTheEnd) {
  std::string folder = "deep";
  while (folder.size() + 201 < PATH_MAX - 12) folder += "/" + std::string(200, 'd');
  folder += "/" + std::string(PATH_MAX - 12 - folder.size() - 1, 'e');
  fs::create_directories(folder);
  const std::string target = folder + "/Map.dat";
  ASSERT_EQ(target.size(), std::size_t{PATH_MAX - 4});
  write_all(target, "earlier");
  {
    Reservation r = PendingFile::reserve(target, ".ps");
    ASSERT_NE(r.file, nullptr) << r.error;
    EXPECT_GT(r.file->temporary().size(), std::size_t{PATH_MAX});
    EXPECT_EQ(r.file->temporary().substr(0, folder.size() + 10), folder + "/.Map.dat.");
    EXPECT_TRUE(r.file->temporary().ends_with(".ps"));
    EXPECT_EQ(testing::entries_of(folder).size(), 2u);
  }
  EXPECT_EQ(testing::entries_of(folder), std::vector<std::string>{"Map.dat"});
  for (const int sig : {SIGINT, SIGTERM}) {
    EXPECT_EXIT(
        {
          SafeFile f(target);
          f.write("half");
          raise(sig);
        },
        ::testing::KilledBySignal(sig), "");
  }
  EXPECT_EXIT(
      {
        SafeFile f(target);
        f.write("half");
        fatal_error("log10: SING error");
      },
      ::testing::ExitedWithCode(kFatalExitCode), "log10: SING error");
  EXPECT_EQ(read_all(target), "earlier");
  EXPECT_EQ(testing::entries_of(folder), std::vector<std::string>{"Map.dat"});
  SafeFile f(target);
  f.write("new");
  f.commit();
  EXPECT_EQ(read_all(target), "new");
  EXPECT_EQ(testing::entries_of(folder), std::vector<std::string>{"Map.dat"});
}

volatile sig_atomic_t signals_seen = 0;
void count_signal(int) { signals_seen = signals_seen + 1; }

// A program's own handler keeps the signal, the file is finished, and the
// handler is in place again afterwards; an ignored signal stays ignored.
TEST_F(SafeFileDeathTest, TheProgramsOwnHandlersStayInCharge) {
  EXPECT_EXIT(
      {
        signal(SIGINT, count_signal);
        signal(SIGHUP, SIG_IGN);
        {
          SafeFile f("Map.dat");
          f.write("new");
          raise(SIGINT);
          raise(SIGHUP);
          f.commit();
        }
        struct sigaction now {};
        sigaction(SIGINT, nullptr, &now);
        std::exit(signals_seen == 1 && now.sa_handler == count_signal ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_all("Map.dat"), "new");
  EXPECT_EQ(entries(), std::vector<std::string>{"Map.dat"});
}

}  // namespace
}  // namespace rtl
