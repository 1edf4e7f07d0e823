#pragma once
// List-directed records: one output statement's items laid out on a line.
//
// An integer takes a 12-column field, a single-precision real a 15-column
// general field (7 digits, 2-digit exponent, scale factor 1), a text is
// copied as it is after one blank (no blank after a text). Items that do not
// fit the record width continue on further records, each begun by a blank.
//
//   ListWriter out(80, emit);
//   begin_record(out); put_integer(out, 1); put_text(out, " Ray = ");
//   put_real(out, 1.9f); end_record(out);
//   // emits "           1  Ray =    1.900000    "

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace textfmt {

// Record width of files.
inline constexpr std::size_t kFileRecordWidth = 80;

// Receives each finished record, without any line ending.
using RecordEmitter = std::function<void(std::string_view record)>;

// A destination for list-directed records and the record being built.
// Reused from one output statement to the next.
class ListWriter {
 public:
  ListWriter(std::size_t record_width, RecordEmitter emit);

  std::size_t record_width() const { return width_; }

 private:
  enum class Last { none, number, text };

  friend void begin_record(ListWriter&);
  friend void put_integer(ListWriter&, std::int32_t);
  friend void put_real(ListWriter&, float);
  friend void put_text(ListWriter&, std::string_view);
  friend void end_record(ListWriter&);

  void new_record();

  std::size_t width_;
  RecordEmitter emit_;
  std::string line_;
  Last last_ = Last::none;
};

// One output statement is one begin_record ... end_record pair.
void begin_record(ListWriter& out);
void put_integer(ListWriter& out, std::int32_t value);
void put_real(ListWriter& out, float value);
void put_text(ListWriter& out, std::string_view text);
void end_record(ListWriter& out);

}  // namespace textfmt
