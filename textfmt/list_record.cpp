#include "textfmt/list_record.h"

#include <utility>

#include "textfmt/number_field.h"

namespace textfmt {
namespace {

// Columns still free in a record of `width` holding `used` characters.
std::size_t free_columns(std::size_t width, std::size_t used) { return width > used ? width - used : 0; }

}  // namespace

ListWriter::ListWriter(std::size_t record_width, RecordEmitter emit)
    : width_(record_width), emit_(std::move(emit)) {
  // Room for one record and one more field; a destination of practically
  // unlimited width (a console) grows the buffer only as far as it is used.
  constexpr std::size_t kReserveLimit = 512;
  line_.reserve((record_width < kReserveLimit ? record_width : kReserveLimit) + kListRealWidth);
}

void ListWriter::new_record() {
  if (emit_) emit_(line_);
  line_.clear();  // keeps its capacity for the next record
  last_ = Last::none;
}

void begin_record(ListWriter& out) {
  // A record left open by a statement that never ended it is written, not lost.
  if (!out.line_.empty()) out.new_record();
  out.line_.clear();
  out.last_ = ListWriter::Last::none;
}

void put_integer(ListWriter& out, std::int32_t value) {
  constexpr auto field = static_cast<std::size_t>(kListIntegerWidth);
  if (free_columns(out.width_, out.line_.size()) < field && !out.line_.empty()) out.new_record();
  const std::size_t at = out.line_.size();
  out.line_.resize(at + field);
  format_integer_to(out.line_.data() + at, value, kListIntegerWidth, 1);
  out.last_ = ListWriter::Last::number;
}

void put_real(ListWriter& out, float value) {
  constexpr auto field = static_cast<std::size_t>(kListRealWidth);
  if (free_columns(out.width_, out.line_.size()) < field && !out.line_.empty()) out.new_record();
  const std::size_t at = out.line_.size();
  out.line_.resize(at + field);
  format_general_to(out.line_.data() + at, value, kListRealWidth, 7, 2, 1, true);
  out.last_ = ListWriter::Last::number;
}

void put_text(ListWriter& out, std::string_view text) {
  std::size_t free = free_columns(out.width_, out.line_.size());
  if (text.size() > free && !out.line_.empty()) {
    out.new_record();
    free = out.width_;
  }
  if (out.line_.empty() || (out.last_ == ListWriter::Last::number && free >= 1)) out.line_.push_back(' ');
  for (;;) {
    std::size_t room = free_columns(out.width_, out.line_.size());
    // A record too narrow for anything after its blank still takes one
    // character, so that the text always comes to an end.
    if (room == 0 && out.line_.size() <= 1) room = 1;
    if (text.size() <= room) break;
    out.line_.append(text.substr(0, room));
    text.remove_prefix(room);
    out.new_record();
    out.line_.push_back(' ');
  }
  out.line_.append(text);
  out.last_ = ListWriter::Last::text;
}

void end_record(ListWriter& out) { out.new_record(); }

}  // namespace textfmt
