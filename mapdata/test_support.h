#pragma once
// What the data export tests share: a fresh folder for each test, the lines
// of a file, and the console shown on standard error inside death tests.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rtl/console.h"

namespace mapdata::testing_support {

namespace fs = std::filesystem;

inline std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void write_all(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

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

// Each test runs in a fresh folder of its own.
class InTempFolder : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/mapdata_test.XXXXXX";
    dir_ = mkdtemp(pattern);
    old_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    return names;
  }
  fs::path dir_;
  fs::path old_;
};

// Inside a death test: every console record also goes to standard error, so
// that the matcher on it sees what the program wrote before it ended.
inline void console_to_stderr() {
  rtl::set_console_listener([](std::string_view record) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(record.size()), record.data());
  });
}

}  // namespace mapdata::testing_support
