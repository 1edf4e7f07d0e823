#pragma once
// Helpers of the PostScript map tests: a fresh folder per test, file contents.

#include <string>
#include <string_view>

#include "rtl/testing/temp_folder.h"

namespace mapps::testing_support {

using rtl::testing::entries_of;
using rtl::testing::files_under;
using rtl::testing::InTempFolder;
using rtl::testing::long_path;
using rtl::testing::read_all;
using rtl::testing::write_all;
namespace fs = std::filesystem;

inline bool starts_with(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

inline bool ends_with(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace mapps::testing_support
