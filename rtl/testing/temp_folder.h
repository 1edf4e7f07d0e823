#pragma once
// For tests that write files: a fresh folder per test, and file contents.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace rtl::testing {

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

// The names in a folder, sorted (hidden temporary files included).
inline std::vector<std::string> entries_of(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Each test runs in a fresh folder of its own under /tmp, removed afterwards.
class InTempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/mapplot_test.XXXXXX";
    dir_ = mkdtemp(pattern);
    old_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  std::vector<std::string> entries() const { return entries_of(dir_); }
  fs::path dir_;
  fs::path old_;
};

}  // namespace rtl::testing
