// The data file reader on arbitrary bytes.
//
// Invariants: it never crashes; an error is a short message (it quotes at
// most an excerpt of the line at fault) and no map; a map read has nx x and
// ny y values, and texts that fit the line rules of the layout (at most 80
// characters, no trailing blank, labels without a leading blank), and
// accounts for every line of the file; reading the same bytes from a file
// gives the same result, its error led by the path.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "mapdata/map_reader.h"

namespace {

using fuzz::show_text;

constexpr std::size_t kLongestError = 1000;

// The number of lines that three texts of these lengths take.
std::size_t text_lines(const mapdata::MapData& map) {
  std::size_t lines = 0;
  for (const std::string* t : {&map.xlabel, &map.ylabel, &map.title}) lines += t->size() == 80 ? 2 : 1;
  return lines;
}

bool same_map(const mapdata::MapData& a, const mapdata::MapData& b) {
  const auto same_values = [](const std::vector<float>& u, const std::vector<float>& v) {
    if (u.size() != v.size()) return false;
    for (std::size_t i = 0; i < u.size(); ++i)
      if (!fuzz::same_bits(u[i], v[i])) return false;
    return true;
  };
  return a.nx == b.nx && a.ny == b.ny && same_values(a.x, b.x) && same_values(a.y, b.y) &&
         same_values(a.z, b.z) && a.xlabel == b.xlabel && a.ylabel == b.ylabel && a.title == b.title;
}

void check_result(const mapdata::MapReadResult& r, std::string_view content) {
  const std::string input = "input of " + std::to_string(content.size()) + " bytes";
  if (!r) {
    FUZZ_CHECK(!r.error.empty(), input + ": no map and no error");
    FUZZ_CHECK(r.error.size() < kLongestError,
               input + ": an error of " + std::to_string(r.error.size()) + " characters: " +
                   show_text(std::string_view(r.error).substr(0, 200)) + "...");
    return;
  }
  FUZZ_CHECK(r.error.empty(), input + ": a map and the error " + show_text(r.error));
  const mapdata::MapData& map = *r.map;
  FUZZ_CHECK(map.nx >= 0 && map.ny >= 0, input + ": negative sizes");
  FUZZ_CHECK(map.x.size() == static_cast<std::size_t>(map.nx) && map.y.size() == static_cast<std::size_t>(map.ny),
             input + ": x or y of the wrong length");
  bool label = true;
  for (const std::string* t : {&map.xlabel, &map.ylabel, &map.title}) {
    FUZZ_CHECK(t->size() <= 80, input + ": a text of " + std::to_string(t->size()) + " characters");
    FUZZ_CHECK(t->empty() || t->back() != ' ', input + ": a text with a trailing blank " + show_text(*t));
    FUZZ_CHECK(!label || t->empty() || t->front() != ' ', input + ": a label with a leading blank " + show_text(*t));
    label = t == &map.xlabel;
  }
  // Every line is the header, a value or a text line: the file holds as many
  // line endings.
  std::size_t endings = 0;
  for (std::size_t at = content.find("\r\n"); at != std::string_view::npos; at = content.find("\r\n", at + 2))
    ++endings;
  const std::size_t lines = 1 + map.x.size() + map.y.size() + map.z.size() + text_lines(map);
  FUZZ_CHECK(lines == endings, input + ": " + std::to_string(endings) + " lines, the map accounts for " +
                                   std::to_string(lines));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  const mapdata::MapReadResult r = mapdata::parse_map(content);
  check_result(r, content);

  // Now and then the same bytes through a file.
  if (size % 8 != 0) return 0;
  const std::string path = fuzz::scratch_folder() + "/read.dat";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(f != nullptr, "cannot write " + path);
  FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size, "cannot write " + path);
  FUZZ_CHECK(std::fclose(f) == 0, "cannot write " + path);
  const mapdata::MapReadResult from_file = mapdata::read_map_file(path);
  std::remove(path.c_str());
  check_result(from_file, content);
  FUZZ_CHECK(static_cast<bool>(from_file) == static_cast<bool>(r), "the file and the bytes read differently");
  if (r) {
    FUZZ_CHECK(same_map(*from_file.map, *r.map), "the file and the bytes give different maps");
  } else {
    FUZZ_CHECK(from_file.error.starts_with(path + ": "), "the error does not begin with the path: " +
                                                             show_text(from_file.error));
  }
  return 0;
}
