#include "mapdata/map_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "rtl/fatal.h"
#include "textfmt/fixed_text.h"

namespace mapdata {
namespace {

constexpr std::size_t kHeaderWidth = 36;  // three 12-column integers
constexpr std::size_t kValueWidth = 15;
constexpr std::size_t kRecordWidth = 80;
constexpr std::uint64_t kValueLineBytes = kValueWidth + 2;        // with CR LF
constexpr std::uint64_t kShortestTextsBytes = 3 * 3;              // three texts " " CR LF
constexpr std::size_t kLongestLineBytes = kRecordWidth + 2;       // with CR LF
constexpr std::size_t kMostTextLines = 6;                         // three texts of two lines
constexpr std::size_t kExcerptLength = 40;
constexpr std::size_t kBufferSize = std::size_t{1} << 16;

// The first bytes of a line as they can be shown in a message (see the header).
std::string excerpt(std::string_view line) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  for (const char c : line.substr(0, kExcerptLength)) {
    switch (c) {
      case '\r': shown += "\\r"; continue;
      case '\n': shown += "\\n"; continue;
      case '\t': shown += "\\t"; continue;
      case '\0': shown += "\\0"; continue;
      case '\\': shown += "\\\\"; continue;
      case '"': shown += "\\\""; continue;
      default: break;
    }
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f) {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0xf];
    } else {
      shown += c;
    }
  }
  if (line.size() > kExcerptLength) shown += "...";
  return shown;
}

std::string line_error(std::uint64_t index, std::string_view what, std::string_view line) {
  return "line " + std::to_string(index + 1) + ": " + std::string(what) + ": \"" + excerpt(line) + "\"";
}

template <class T>
std::optional<T> parse_number(std::string_view field) {
  const std::string_view s = textfmt::strip(field);
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

// The lines of the input, split off as its bytes come: each ends with a
// carriage return and a line feed and is handed out without them. A line is
// valid until the next call. The bytes not yet split are [pos_, end_).
class LineSplitter {
 public:
  enum class Next { line, end, error };

  virtual ~LineSplitter() = default;

  Next next(std::string_view& line);
  std::uint64_t lines() const { return lines_; }        // handed out so far
  std::uint64_t consumed() const { return consumed_; }  // their bytes
  const std::string& error() const { return error_; }

 protected:
  // Makes more bytes available after the unsplit ones, which it keeps;
  // false at the end of the input, or on an error that it puts in error_.
  virtual bool more() = 0;

  const char* pos_ = nullptr;
  const char* end_ = nullptr;
  std::string error_;

 private:
  Next fail(std::string_view what, std::string_view line) {
    error_ = line_error(lines_, what, line);
    return Next::error;
  }

  std::uint64_t lines_ = 0;
  std::uint64_t consumed_ = 0;
};

LineSplitter::Next LineSplitter::next(std::string_view& line) {
  for (;;) {
    const auto available = static_cast<std::size_t>(end_ - pos_);
    // The line feed of a valid line comes within its first 82 bytes: what
    // lies beyond them is never looked at, nor waited for.
    const std::size_t window = std::min(available, kLongestLineBytes);
    if (const void* found = window ? std::memchr(pos_, '\n', window) : nullptr) {
      const auto* lf = static_cast<const char*>(found);
      const std::string_view content(pos_, static_cast<std::size_t>(lf - pos_));
      if (content.empty() || content.back() != '\r') return fail("ends with a line feed alone", content);
      line = content.substr(0, content.size() - 1);
      consumed_ += content.size() + 1;
      pos_ = lf + 1;
      ++lines_;
      return Next::line;
    }
    if (available >= kLongestLineBytes)
      return fail("longer than 80 characters", std::string_view(pos_, available));
    if (!more()) {
      if (!error_.empty()) return Next::error;
      if (pos_ == end_) return Next::end;
      return fail("ends without a line ending (the file is cut short)",
                  std::string_view(pos_, static_cast<std::size_t>(end_ - pos_)));
    }
  }
}

// Bytes already in memory.
class TextLines final : public LineSplitter {
 public:
  explicit TextLines(std::string_view bytes) {
    pos_ = bytes.data();
    end_ = bytes.data() + bytes.size();
  }

 private:
  bool more() override { return false; }
};

// An open file, read a buffer at a time.
class FileLines final : public LineSplitter {
 public:
  explicit FileLines(int fd) : fd_(fd) {}

 private:
  bool more() override {
    // Allocated here, where running out of memory is reported like any other.
    if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferSize);
    const auto kept = static_cast<std::size_t>(end_ - pos_);  // less than one line
    if (kept) std::memmove(buffer_.get(), pos_, kept);
    pos_ = buffer_.get();
    end_ = pos_ + kept;
    for (;;) {
      const ssize_t got = ::read(fd_, buffer_.get() + kept, kBufferSize - kept);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        error_ = std::string("cannot read: ") + std::strerror(errno);
        return false;
      }
      end_ += got;
      return got > 0;
    }
  }

  int fd_;
  std::unique_ptr<char[]> buffer_;
};

// The last lines read, the only ones that can still turn out to be texts;
// line k (the header is line 0) is kept until line k + 6 comes.
class LastLines {
 public:
  std::string_view operator[](std::uint64_t k) const { return lines_[k % kMostTextLines]; }
  void keep(std::uint64_t k, std::string_view line) { lines_[k % kMostTextLines].assign(line); }

 private:
  std::array<std::string, kMostTextLines> lines_;
};

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

// The three texts from line `first` on, text t taking two lines when bit t
// of `two_lines` is set; false when the lines do not fit that reading.
bool read_texts(const LastLines& lines, std::uint64_t first, unsigned two_lines,
                std::array<std::string, 3>* texts) {
  std::uint64_t at = first;
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

MapReadResult failure(std::string error) {
  MapReadResult result;
  result.error = std::move(error);
  return result;
}

// One reading of a map, in three steps: the header, the values as they
// come, the texts among the last lines. Each step gives an error message, or
// nothing when the reading may go on.
class MapReading {
 public:
  using Error = std::optional<std::string>;

  explicit MapReading(LineSplitter& in) : in_(in) {}

  Error header();
  // `size` is the number of bytes of the input when known.
  Error values(std::optional<std::uint64_t> size);
  Error texts();

  MapData map;

 private:
  std::string value_error(std::uint64_t k, std::string_view line) const;
  void store(std::uint64_t k, float value);

  LineSplitter& in_;
  std::uint64_t nx_ = 0;
  std::uint64_t ny_ = 0;
  std::uint64_t values_start_ = 0;  // the line of the first x value
  std::array<std::size_t, 3> room_{};  // for x, y and z
  LastLines last_;
  std::uint64_t count_ = 1;  // lines read, the header included
  std::uint64_t at_ = 0;     // the first kept line that is not a value
  std::uint64_t kept_from_ = 0;  // the first line kept in last_, not yet stored
};

MapReading::Error MapReading::header() {
  std::string_view header;
  switch (in_.next(header)) {
    case LineSplitter::Next::line: break;
    case LineSplitter::Next::end: return "the file is empty";
    case LineSplitter::Next::error: return in_.error();
  }
  const auto field = [&](std::size_t k) { return parse_number<std::int32_t>(header.substr(12 * k, 12)); };
  std::optional<std::int32_t> nx_field, ny_field, one;
  if (header.size() == kHeaderWidth) {
    nx_field = field(0);
    ny_field = field(1);
    one = field(2);
  }
  if (!nx_field || !ny_field || *nx_field < 0 || *ny_field < 0 || one != 1)
    return line_error(0, "not a header of nx, ny and 1", header);
  map.nx = *nx_field;
  map.ny = *ny_field;
  nx_ = static_cast<std::uint64_t>(map.nx);
  ny_ = static_cast<std::uint64_t>(map.ny);
  values_start_ = 1 + nx_ + ny_;
  return std::nullopt;
}

std::string MapReading::value_error(std::uint64_t k, std::string_view line) const {
  const char* what = k <= nx_ ? "not an x value" : k <= nx_ + ny_ ? "not a y value" : "not a value";
  return line_error(k, what, line);
}

void MapReading::store(std::uint64_t k, float value) {
  const int kind = k > nx_ + ny_ ? 2 : k > nx_ ? 1 : 0;
  std::vector<float>& values = kind == 2 ? map.z : kind == 1 ? map.y : map.x;
  if (values.empty()) values.reserve(room_[kind]);
  values.push_back(value);
}

MapReading::Error MapReading::values(std::optional<std::uint64_t> size) {
  // Room for no more values than the rest of the input can hold, whatever
  // the header says, reserved as the first value of each kind comes (a file
  // that is wrong from its second line on costs nothing); of an input of
  // unknown size, nothing in advance.
  if (size) {
    const std::uint64_t rest = *size > in_.consumed() ? *size - in_.consumed() : 0;
    std::uint64_t lines = rest > kShortestTextsBytes ? (rest - kShortestTextsBytes) / kValueLineBytes : 0;
    const auto take = [&lines](std::uint64_t wanted) {
      const std::uint64_t n = std::min(wanted, lines);
      lines -= n;
      return static_cast<std::size_t>(n);
    };
    room_ = {take(nx_), take(ny_), take(lines)};
  }

  // Every line more than six before the last is a value.
  for (;;) {
    std::string_view line;
    const auto next = in_.next(line);
    if (next == LineSplitter::Next::error) return in_.error();
    if (next == LineSplitter::Next::end) break;
    if (count_ > kMostTextLines) {
      const std::uint64_t k = count_ - kMostTextLines;
      const auto value = parse_value_line(last_[k]);
      if (!value) return value_error(k, last_[k]);
      store(k, *value);
    }
    last_.keep(count_, line);
    ++count_;
  }

  if (count_ < values_start_ + 3)
    return "the file ends after " + std::to_string(count_) + " lines; its header announces " +
           std::to_string(nx_) + " x lines, " + std::to_string(ny_) + " y lines and three text lines";

  // The values among the lines kept, as far as they go before the last three.
  kept_from_ = count_ - std::min<std::uint64_t>(kMostTextLines, count_ - 1);
  at_ = kept_from_;
  while (at_ < count_ - 3 && parse_value_line(last_[at_])) ++at_;
  if (at_ < values_start_) return value_error(at_, last_[at_]);
  return std::nullopt;
}

MapReading::Error MapReading::texts() {
  // Each reading of the last lines as three texts, one or two lines each;
  // of several, the rule in the header picks one. Masks are tried in
  // increasing order, so of readings with as many text lines the last one
  // kept has the later texts continued.
  const std::int64_t expected = std::int64_t{map.nx} * map.ny;
  const auto text_lines = [](unsigned two_lines) {
    return 3 + static_cast<unsigned>(std::popcount(two_lines));
  };
  std::optional<unsigned> most_values, leaving_nx_ny;
  for (unsigned two_lines = 0; two_lines < 8; ++two_lines) {
    if (count_ < values_start_ + text_lines(two_lines)) continue;
    const std::uint64_t first = count_ - text_lines(two_lines);
    if (first > at_ || !read_texts(last_, first, two_lines, nullptr)) continue;
    if (!most_values || text_lines(two_lines) <= text_lines(*most_values)) most_values = two_lines;
    if (static_cast<std::int64_t>(first - values_start_) == expected) leaving_nx_ny = two_lines;
  }
  if (!most_values) return "the last lines are not the three text lines (x label, y label, title)";
  const unsigned chosen = leaving_nx_ny ? *leaving_nx_ny : *most_values;

  const std::uint64_t first = count_ - text_lines(chosen);
  for (std::uint64_t k = kept_from_; k < first; ++k) store(k, *parse_value_line(last_[k]));
  std::array<std::string, 3> read;
  read_texts(last_, first, chosen, &read);
  map.xlabel = std::move(read[0]);
  map.ylabel = std::move(read[1]);
  map.title = std::move(read[2]);
  return std::nullopt;
}

// The whole reading; `size` is the number of bytes of the input when known.
MapReadResult read_lines(LineSplitter& in, std::optional<std::uint64_t> size) {
  MapReading reading(in);
  MapReading::Error error = reading.header();
  if (!error) error = reading.values(size);
  if (!error) error = reading.texts();
  if (error) return failure(std::move(*error));
  MapReadResult result;
  result.map = std::move(reading.map);
  return result;
}

// read_lines, with running out of memory the report of the other calls
// (rtl::out_of_memory): no error of the file's contents.
MapReadResult read_guarded(LineSplitter& in, std::optional<std::uint64_t> size) {
  try {
    return read_lines(in, size);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  // What was allocated for the values has been released by now.
  rtl::out_of_memory();
}

}  // namespace

MapReadResult parse_map(std::string_view content) {
  TextLines in(content);
  return read_guarded(in, content.size());
}

MapReadResult read_map_file(const std::string& path) {
  struct Descriptor {
    int fd;
    ~Descriptor() {
      if (fd >= 0) ::close(fd);
    }
  } file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) return failure(path + ": cannot open: " + std::strerror(errno));
  // Only a regular file's size says how much is still to come.
  struct stat status {};
  std::optional<std::uint64_t> size;
  if (::fstat(file.fd, &status) == 0 && S_ISREG(status.st_mode))
    size = static_cast<std::uint64_t>(status.st_size);
  FileLines in(file.fd);
  MapReadResult result = read_guarded(in, size);
  if (!result) result.error = path + ": " + result.error;
  return result;
}

}  // namespace mapdata
