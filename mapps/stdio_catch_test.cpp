#include "mapps/stdio_catch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

namespace mapps {
namespace {

// The calling thread's output is kept; another thread's goes on to the real
// streams while the catch runs, after what it had left in their buffers, and
// when it writes through a stand-in it kept after the catch; the real
// streams are back after a catch that throws.
TEST(CatchStdio, OnlyTheCallingThreadsOutputIsKept) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  std::FILE* const real_out = stdout;
  std::FILE* kept = nullptr;
  const CaughtOutput caught = catch_stdio([&] {
    std::printf("giza_viewport:");
    std::puts(" note");
    std::fprintf(stderr, "%%giza - Warning");
    std::thread other([&] {
      std::fprintf(real_out, "before ");  // waits in the buffer of standard output
      kept = stdout;
      std::fprintf(kept, "during\n");
      std::fprintf(stderr, "message\n");
    });
    other.join();
  });
  std::fprintf(kept, "later\n");
  EXPECT_THROW(catch_stdio([] { throw std::runtime_error("thrown"); }), std::runtime_error);
  EXPECT_EQ(stdout, real_out);
  std::printf("after\n");
  EXPECT_EQ(caught.out, "giza_viewport: note\n");
  EXPECT_EQ(caught.err, "%giza - Warning");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "message\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "before during\nlater\nafter\n");
}

}  // namespace
}  // namespace mapps
