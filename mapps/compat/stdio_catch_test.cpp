#include "mapps/compat/stdio_catch.h"

#include <cpgplot.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

namespace mapps {
namespace {

// giza refuses the viewport of a window of infinite width: a note on its
// stdout through printf, a warning on its stderr through fprintf, vfprintf
// and fputc.
void giza_refuses_a_viewport() {
  cpgsvp(0.1f, 0.9f, 0.1f, 0.9f);
  cpgwnad(0, INFINITY, 0, 1);
}

// The devices giza lists, through printf and puts.
void giza_lists_its_devices() { cpgldev(); }

// The line feed of a text: what giza's text parser does not know it writes to
// the stdout it read when it started, through fwrite.
void giza_meets_a_line_feed() { cpglab("two\nlines", "", ""); }

class CatchStdio : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(cpgbeg(0, "/null", 1, 1), 1); }
  void TearDown() override { cpgend(); }
};

// What giza prints on the thread of a catch while it runs is kept, an inner
// catch's in the inner one; the thread's own output, giza's on another
// thread, outside a catch and after one that throws, reach the process's
// streams in order.
TEST_F(CatchStdio, WhatGizaPrintsOnTheCatchingThreadIsKeptAndNothingElse) {
  const struct {
    const char* name;
    void (*print)();
    const char* out;  // all of giza's stdout, or a part of it
    const char* err;
  } calls[] = {
      {"viewport", giza_refuses_a_viewport,
       "giza_viewport: xmin -nan xmax -nan ymin 0.500000 ymax 0.500000 \n",
       "%giza - Warning - giza_set_viewport: Invalid arguments, using default viewport\n"},
      {"devices", giza_lists_its_devices, "\t/null              (Null device)\n", ""},
      {"line feed", giza_meets_a_line_feed, "\n", ""},
  };
  for (const auto& call : calls) {
    SCOPED_TRACE(call.name);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    CaughtOutput inner;
    const CaughtOutput caught = catch_stdio([&] {
      call.print();
      std::printf("own ");
      std::puts("line");
      std::fprintf(stderr, "own\n");
      std::thread other(call.print);
      other.join();
      inner = catch_stdio(call.print);
    });
    call.print();
    EXPECT_THROW(catch_stdio([] { throw std::runtime_error("thrown"); }), std::runtime_error);
    call.print();
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(caught.out.find(call.out), std::string::npos) << caught.out;
    EXPECT_EQ(caught.err, call.err);
    EXPECT_EQ(inner.out, caught.out);
    EXPECT_EQ(inner.err, caught.err);
    EXPECT_EQ(out, "own line\n" + caught.out + caught.out + caught.out);
    EXPECT_EQ(err, "own\n" + caught.err + caught.err + caught.err);
  }
}

// While giza prints, another thread's stdout and stderr stay the process's
// own streams on descriptors 1 and 2.
TEST_F(CatchStdio, OtherThreadsKeepTheStandardStreamsWhileGizaPrints) {
  std::FILE* const out = stdout;
  std::FILE* const err = stderr;
  std::atomic<bool> printing = true;
  std::atomic<int> checks = 0, changed = 0;
  std::thread other([&] {
    while (printing) {
      if (fileno(stdout) != 1 || fileno(stderr) != 2 || stdout != out || stderr != err) ++changed;
      ++checks;
    }
  });
  CaughtOutput caught;
  for (int k = 0; k < 20; ++k) {
    caught = catch_stdio([&] {
      giza_refuses_a_viewport();
      // The other thread checks at least once within the catch.
      for (const int seen = checks; checks < seen + 2;) std::this_thread::yield();
      giza_refuses_a_viewport();
    });
  }
  printing = false;
  other.join();
  EXPECT_EQ(changed, 0);
  EXPECT_NE(caught.out.find("giza_viewport: "), std::string::npos);
  EXPECT_NE(caught.err.find("%giza - Warning - "), std::string::npos);
}

}  // namespace
}  // namespace mapps
