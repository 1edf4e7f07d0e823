#include "mapdata/dat_map.h"

#include "mapdata/dat_records.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "maparg/request.h"
#include "rtl/checked_math.h"
#include "rtl/console.h"
#include "rtl/fatal.h"
#include "rtl/safe_file.h"
#include "textfmt/fixed_text.h"
#include "textfmt/list_record.h"

namespace mapdata {
namespace {

using maparg::Index;
using maparg::Reduce;
using maparg::VecView;

// A text argument with each carriage return and line feed made a blank:
// the text then stays on its line(s) of the file, and a reader that splits
// the file at its line endings reads back what was written.
std::optional<std::string> on_one_line(maparg::OptText text) {
  if (!text) return std::nullopt;
  std::string line(*text);
  std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return line;
}

// The 80-character field of a label or title argument.
std::string export_field(maparg::OptText text, std::string_view fallback, Reduce reduce) {
  const std::optional<std::string> line = on_one_line(text);
  return maparg::text_field(line ? maparg::OptText(*line) : std::nullopt, fallback, reduce);
}

void write_text(textfmt::ListWriter& out, std::string_view field) {
  textfmt::begin_record(out);
  textfmt::put_text(out, textfmt::trim(field));
  textfmt::end_record(out);
}

}  // namespace

// The header holds the lengths as 32-bit integers; a longer vector would be
// counted wrongly, and a reader would misplace every line after it.
std::int32_t header_count(Index n, const char* name) {
  if (n > std::numeric_limits<std::int32_t>::max())
    rtl::fatal_error(std::string("dat_map: ") + name + " has " + std::to_string(n) +
                     " elements, more than the data file header can count");
  return static_cast<std::int32_t>(n);
}

DatTexts dat_texts(std::optional<int> log_option, maparg::OptText xlabel, maparg::OptText ylabel,
                   maparg::OptText title, maparg::OptText file) {
  DatTexts t;
  t.xlabel = export_field(xlabel, maparg::kDefaultXLabel, Reduce::leading);
  t.ylabel = export_field(ylabel, maparg::kDefaultYLabel, Reduce::leading);
  t.title = export_field(title, maparg::kDefaultTitle, Reduce::none);
  // The file name whole, whatever its length, without its surrounding blanks.
  t.file = std::string(textfmt::strip(file.value_or(kDefaultFileName)));
  rtl::refuse_nul_bytes(t.file, "File name");
  t.log = maparg::truth(log_option);
  if (t.log) t.title = maparg::log_title(t.title);
  return t;
}

textfmt::ListWriter dat_writer(std::function<void(std::string_view)> bytes) {
  return textfmt::ListWriter(textfmt::kFileRecordWidth, [bytes = std::move(bytes)](std::string_view record) {
    bytes(record);
    bytes("\r\n");
  });
}

void write_header(textfmt::ListWriter& out, std::int32_t nx, std::int32_t ny) {
  textfmt::begin_record(out);
  textfmt::put_integer(out, nx);
  textfmt::put_integer(out, ny);
  textfmt::put_integer(out, 1);
  textfmt::end_record(out);
}

void write_values(textfmt::ListWriter& out, VecView<float> v) {
  for (Index k = 0; k < v.size(); ++k) {
    rtl::check_interruption_at_value(k);
    textfmt::begin_record(out);
    textfmt::put_real(out, v.element(k));
    textfmt::end_record(out);
  }
}

void write_texts(textfmt::ListWriter& out, const DatTexts& texts) {
  write_text(out, texts.xlabel);
  write_text(out, texts.ylabel);
  write_text(out, texts.title);
}

void dat_map(VecView<float> x, VecView<float> y, VecView<float> z, std::optional<int> log_option,
             maparg::OptText xlabel, maparg::OptText ylabel, maparg::OptText title,
             maparg::OptText file) try {
  const DatTexts texts = dat_texts(log_option, xlabel, ylabel, title, file);

  const std::int32_t nx = header_count(x.size(), "x");
  const std::int32_t ny = header_count(y.size(), "y");
  // Both counts fit 32 bits, so their product is exact in 64.
  if (z.size() != std::int64_t{nx} * ny) maparg::console_line(" Warning: incompatible array sizes !!!");

  // Every logarithm is taken before the file is opened: a value without one
  // ends the program while any earlier file is still untouched.
  std::vector<float> logs;
  VecView<float> values = z;
  if (texts.log) {
    logs = maparg::checked_logs(z);
    values = VecView<float>(logs);
  }

  rtl::SafeFile data(texts.file);
  textfmt::ListWriter out = dat_writer([&data](std::string_view bytes) { data.write(bytes); });
  write_header(out, nx, ny);
  write_values(out, x);
  write_values(out, y);
  write_values(out, values);
  write_texts(out, texts);
  data.commit();

  maparg::console_line(" Output in ", texts.file);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

}  // namespace mapdata
