#include "mapdata/map_reader.h"

#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

namespace mapdata {
namespace {

constexpr std::size_t kHeaderWidth = 36;  // three 12-column integers
constexpr std::size_t kValueWidth = 15;
constexpr std::size_t kRecordWidth = 80;

std::string line_error(std::size_t index, std::string_view what, std::string_view line) {
  return "line " + std::to_string(index + 1) + ": " + std::string(what) + ": \"" +
         std::string(line) + "\"";
}

std::string_view strip_blanks(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// The lines without their endings, or the error of the first line that has
// no carriage return and line feed at its end.
std::optional<std::string> split_lines(std::string_view content, std::vector<std::string_view>& lines) {
  while (!content.empty()) {
    const auto lf = content.find('\n');
    if (lf == std::string_view::npos)
      return line_error(lines.size(), "ends without a line ending (the file is cut short)", content);
    if (lf == 0 || content[lf - 1] != '\r')
      return line_error(lines.size(), "ends with a line feed alone", content.substr(0, lf));
    lines.push_back(content.substr(0, lf - 1));
    content.remove_prefix(lf + 1);
  }
  return std::nullopt;
}

template <class T>
std::optional<T> parse_number(std::string_view field) {
  const std::string_view s = strip_blanks(field);
  if (s.empty()) return std::nullopt;
  T value{};
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

std::optional<float> parse_value_line(std::string_view line) {
  if (line.size() != kValueWidth) return std::nullopt;
  return parse_number<float>(line);
}

// One text's lines as the writer lays them out (see the header).
bool text_line_fits(std::string_view line, bool label, bool continued) {
  if (line.empty() || line[0] != ' ' || line.size() > kRecordWidth) return false;
  if (label && line.size() > 1 && line[1] == ' ') return false;
  if (continued) return line.size() == kRecordWidth;
  return line.size() == 1 || line.back() != ' ';
}

bool continuation_fits(std::string_view line) {
  return line.size() == 2 && line[0] == ' ' && line[1] != ' ';
}

// The three texts from `first` on, text t taking two lines when bit t of
// `two_lines` is set; false when the lines do not fit that reading.
bool read_texts(const std::vector<std::string_view>& lines, std::size_t first, unsigned two_lines,
                std::array<std::string, 3>* texts) {
  std::size_t at = first;
  for (unsigned t = 0; t < 3; ++t) {
    const bool continued = (two_lines >> t) & 1u;
    const std::string_view line = lines[at++];
    if (!text_line_fits(line, t < 2, continued)) return false;
    if (continued && !continuation_fits(lines[at++])) return false;
    if (texts) {
      (*texts)[t] = line.substr(1);
      if (continued) (*texts)[t] += lines[at - 1].substr(1);
    }
  }
  return true;
}

}  // namespace

MapReadResult parse_map(std::string_view content) {
  MapReadResult result;
  std::vector<std::string_view> lines;
  if (auto error = split_lines(content, lines)) {
    result.error = *error;
    return result;
  }
  if (lines.empty()) {
    result.error = "the file is empty";
    return result;
  }

  MapData map;
  const std::string_view header = lines[0];
  const auto field = [&](std::size_t k) { return parse_number<std::int32_t>(header.substr(12 * k, 12)); };
  std::optional<std::int32_t> nx, ny, one;
  if (header.size() == kHeaderWidth) {
    nx = field(0);
    ny = field(1);
    one = field(2);
  }
  if (!nx || !ny || *nx < 0 || *ny < 0 || one != 1) {
    result.error = line_error(0, "not a header of nx, ny and 1", header);
    return result;
  }
  map.nx = *nx;
  map.ny = *ny;

  const std::size_t count = lines.size();
  const std::size_t values_start = 1 + static_cast<std::size_t>(*nx) + static_cast<std::size_t>(*ny);
  if (count < values_start + 3) {
    result.error = "the file ends after " + std::to_string(count) + " lines; its header announces " +
                   std::to_string(*nx) + " x lines, " + std::to_string(*ny) +
                   " y lines and three text lines";
    return result;
  }

  // Coordinates, then as many value lines as there are before the last three.
  std::vector<float> values;
  values.reserve(count - values_start);
  std::size_t at = 1;
  for (; at < count - 3; ++at) {
    const auto v = parse_value_line(lines[at]);
    if (!v) break;
    values.push_back(*v);
  }
  if (at < values_start) {
    result.error = line_error(at, at <= static_cast<std::size_t>(*nx) ? "not an x value" : "not a y value",
                              lines[at]);
    return result;
  }
  // A line that is no value before the last six lines cannot be a text either.
  if (at + 6 < count) {
    result.error = line_error(at, "not a value", lines[at]);
    return result;
  }

  // Each reading of the last lines as three texts, one or two lines each.
  // Where several fit, the one that leaves nx*ny values decides, if it is alone.
  const std::int64_t expected = std::int64_t{*nx} * *ny;
  std::vector<unsigned> fitting;
  std::vector<unsigned> leaving_nx_ny;
  for (unsigned two_lines = 0; two_lines < 8; ++two_lines) {
    const std::size_t text_lines = 3 + static_cast<std::size_t>(std::popcount(two_lines));
    if (count < values_start + text_lines) continue;
    const std::size_t first = count - text_lines;
    if (first > at || !read_texts(lines, first, two_lines, nullptr)) continue;
    fitting.push_back(two_lines);
    if (static_cast<std::int64_t>(first - values_start) == expected) leaving_nx_ny.push_back(two_lines);
  }
  if (fitting.empty()) {
    result.error = "the last lines are not the three text lines (x label, y label, title)";
    return result;
  }
  if (fitting.size() > 1 && leaving_nx_ny.size() != 1) {
    result.error = "the last lines can be read as the three texts in more than one way, "
                   "and the number of values does not decide between them";
    return result;
  }
  const unsigned chosen = fitting.size() == 1 ? fitting[0] : leaving_nx_ny[0];

  std::array<std::string, 3> texts;
  const std::size_t text_lines = 3 + static_cast<std::size_t>(std::popcount(chosen));
  read_texts(lines, count - text_lines, chosen, &texts);
  const auto nxs = static_cast<std::ptrdiff_t>(*nx);
  const auto nys = static_cast<std::ptrdiff_t>(*ny);
  map.x.assign(values.begin(), values.begin() + nxs);
  map.y.assign(values.begin() + nxs, values.begin() + nxs + nys);
  map.z.assign(values.begin() + nxs + nys,
               values.begin() + static_cast<std::ptrdiff_t>(count - text_lines - 1));
  map.xlabel = std::move(texts[0]);
  map.ylabel = std::move(texts[1]);
  map.title = std::move(texts[2]);
  result.map = std::move(map);
  return result;
}

MapReadResult read_map_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    MapReadResult result;
    result.error = path + ": cannot open: " + std::strerror(errno);
    return result;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  MapReadResult result = parse_map(bytes.str());
  if (!result) result.error = path + ": " + result.error;
  return result;
}

}  // namespace mapdata
