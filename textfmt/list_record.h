#pragma once
// List-directed records: one output statement's items laid out on a line.
//
// An integer takes a 12-column field, a single-precision real a 15-column
// general field (7 digits, 2-digit exponent, scale factor 1), a text is
// copied as it is after one blank (no blank after a text). Items that do not
// fit the record width continue on further records, each begun by a blank:
//   - a number that does not fit the columns left starts a new record (a
//     field wider than the whole record is still written whole);
//   - a text longer than the columns left starts a new record when the
//     record already holds an item, and then runs over as many records as it
//     needs (on 80 columns: a blank and at most 79 of its characters each).
// Nothing is ever cut or lost; each record is handed to the emitter without a
// line ending. Any record width is accepted, 0 included: a record too narrow
// for an item still takes that item (a number whole, a text one character
// after its blank). The line buffer is kept from record to record, so numbers are
// put without allocating.
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

// One output statement is one begin_record ... end_record pair. A record
// still open at begin_record (its end_record was never called) is emitted
// first; end_record emits the record even when it holds no item.
void begin_record(ListWriter& out);
void put_integer(ListWriter& out, std::int32_t value);
void put_real(ListWriter& out, float value);
void put_text(ListWriter& out, std::string_view text);
void end_record(ListWriter& out);

}  // namespace textfmt
