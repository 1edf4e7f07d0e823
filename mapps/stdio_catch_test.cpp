#include "mapps/stdio_catch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

namespace mapps {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// The ways a C library prints, all through the stdout and stderr pointers.
void print_as_a_c_library(const char* text) {
  std::printf("%s:", text);
  std::puts(text);
  std::fputc('\n', stdout);
  std::fprintf(stderr, "%%err %s\n", text);
  std::fwrite("w", 1, 1, stderr);
}

TEST(CatchStdio, TheCallingThreadsOutputIsHeldBackAndTheStreamsComeBack) {
  std::FILE* const out = stdout;
  std::FILE* const err = stderr;
  CaptureStdout();
  CaptureStderr();
  const CaughtOutput caught = catch_stdio([] { print_as_a_c_library("one"); });
  // Nested catches keep their own texts; an exception still puts the streams back.
  CaughtOutput inner;
  const CaughtOutput outer = catch_stdio([&inner] {
    std::printf("outer ");
    inner = catch_stdio([] { print_as_a_c_library("inner"); });
    std::printf("again");
  });
  EXPECT_THROW(catch_stdio([] {
                 std::printf("lost");
                 throw std::runtime_error("thrown");
               }),
               std::runtime_error);
  std::printf("after\n");
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(GetCapturedStdout(), "after\n");
  EXPECT_EQ(caught.out, "one:one\n\n");
  EXPECT_EQ(caught.err, "%err one\nw");
  EXPECT_EQ(inner.out, "inner:inner\n\n");
  EXPECT_EQ(outer.out, "outer again");
  EXPECT_EQ(outer.err, "");
  EXPECT_EQ(stdout, out);
  EXPECT_EQ(stderr, err);
}

// Another thread's messages reach standard output and standard error while a
// catch runs, in order with what it wrote before; it may keep using the
// stream it found in place after the catch has ended.
TEST(CatchStdio, OtherThreadsKeepStandardOutputAndError) {
  CaptureStdout();
  CaptureStderr();
  std::FILE* const real_out = stdout;
  std::FILE* found = nullptr;
  const CaughtOutput caught = catch_stdio([real_out, &found] {
    std::fprintf(stderr, "caught ");
    std::thread other([real_out, &found] {
      std::fprintf(real_out, "before ");  // still in the buffer of standard output
      found = stdout;
      std::fprintf(found, "during\n");
      std::fprintf(stderr, "message\n");
      const char raw[] = "raw\n";
      EXPECT_EQ(write(STDERR_FILENO, raw, 4), 4);
    });
    other.join();
    std::fprintf(stderr, "too");
  });
  std::fprintf(found, "later\n");
  EXPECT_EQ(caught.err, "caught too");
  EXPECT_EQ(caught.out, "");
  EXPECT_EQ(GetCapturedStderr(), "message\nraw\n");
  EXPECT_EQ(GetCapturedStdout(), "before during\nlater\n");
}

}  // namespace
}  // namespace mapps
