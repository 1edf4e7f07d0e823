#pragma once
// What the data export tests share: a fresh folder for each test, the lines
// of a file, and the console shown on standard error inside death tests.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "rtl/console.h"
#include "rtl/testing/temp_folder.h"

namespace mapdata::testing_support {

using rtl::testing::InTempFolder;
using rtl::testing::read_all;
using rtl::testing::write_all;
namespace fs = std::filesystem;

// The lines of a file whose every line ends with "\r\n"; a stray line feed
// or an unfinished last line fails the test.
inline std::vector<std::string> lines_of(const fs::path& p) {
  const std::string bytes = read_all(p);
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto end = bytes.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "unfinished last line in " << p;
      break;
    }
    lines.push_back(bytes.substr(at, end - at));
    EXPECT_EQ(lines.back().find('\n'), std::string::npos) << lines.back();
    at = end + 2;
  }
  return lines;
}

// Inside a death test: every console record also goes to standard error, so
// that the matcher on it sees what the program wrote before it ended.
inline void console_to_stderr() {
  rtl::change_hooks([&](rtl::Hooks& h) { h.console_listener = [](std::string_view record) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(record.size()), record.data());
  }; });
}

}  // namespace mapdata::testing_support
