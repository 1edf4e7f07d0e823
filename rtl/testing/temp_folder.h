#pragma once
// For tests that write files: a fresh folder per test, and file contents.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
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

// The regular files under a folder and its subfolders, as paths relative to it, sorted.
inline std::vector<std::string> files_under(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) names.push_back(fs::relative(e.path(), dir));
  std::sort(names.begin(), names.end());
  return names;
}

// A relative path of at least `length` bytes that ends in `ending`, through
// folders it creates in the current folder (a folder entry holds at most 255
// bytes). Cut anywhere after 80 bytes, it names another file.
inline std::string long_path(std::size_t length, const std::string& ending) {
  const std::string file = "a_map_at_the_end_of_a_long_path" + ending;
  std::string path;
  for (int level = 1; path.size() + file.size() < length; ++level) {
    path += "folder_" + std::to_string(level) + "_of_a_path_longer_than_a_text_field/";
    fs::create_directory(path);
  }
  return path + file;
}

// Each test runs in a fresh folder of its own under /tmp, removed afterwards.
// A death test in the "threadsafe" style runs the test again from the start in
// a child process; the child finds the parent's folder through the environment
// and works there, so the parent sees what the child left.
class InTempFolder : public ::testing::Test {
 protected:
  static constexpr const char* kFolderVariable = "MAPPLOT_TEST_FOLDER";

  void SetUp() override {
    old_ = fs::current_path();
    if (const char* folder = std::getenv(kFolderVariable)) {
      dir_ = folder;
      child_ = true;
    } else {
      char pattern[] = "/tmp/mapplot_test.XXXXXX";
      dir_ = mkdtemp(pattern);
      setenv(kFolderVariable, dir_.c_str(), 1);
    }
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_);
    if (child_) return;
    unsetenv(kFolderVariable);
    fs::remove_all(dir_);
  }
  std::vector<std::string> entries() const { return entries_of(dir_); }
  fs::path dir_;
  fs::path old_;
  bool child_ = false;  // a death test's child, in its parent's folder
};

}  // namespace rtl::testing
