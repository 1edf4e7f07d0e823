#include "textfmt/formatted.h"

#include <cctype>

#include "textfmt/fixed_text.h"
#include "textfmt/number_field.h"

namespace textfmt {
namespace {

constexpr int kTargetLength = static_cast<int>(kFieldLength);

// A field description read from a format text.
struct FieldFormat {
  enum class Kind { invalid, integer, general } kind = Kind::invalid;
  int w = 0;
  int d = 0;
};

// Reads an unsigned decimal number at text[pos ..); advances pos. At most
// four digits: no field is wider than its target.
bool read_number(std::string_view text, std::size_t& pos, int& number) {
  const std::size_t start = pos;
  number = 0;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && pos - start < 4) {
    number = number * 10 + (text[pos] - '0');
    ++pos;
  }
  return pos > start && (pos >= text.size() || !std::isdigit(static_cast<unsigned char>(text[pos])));
}

// "(i4)" -> integer field of width 4; "(g9.3)" or "(G9.3)" -> general field.
FieldFormat parse(std::string_view format) {
  FieldFormat f;
  if (format.size() < 4 || format.front() != '(' || format.back() != ')') return f;
  const std::string_view body = format.substr(1, format.size() - 2);
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(body[0])));
  std::size_t pos = 1;
  if (letter == 'i') {
    if (!read_number(body, pos, f.w) || pos != body.size() || f.w < 1) return f;
    f.kind = FieldFormat::Kind::integer;
  } else if (letter == 'g') {
    if (!read_number(body, pos, f.w) || pos >= body.size() || body[pos] != '.') return f;
    ++pos;
    if (!read_number(body, pos, f.d) || pos != body.size() || f.w < 1) return f;
    f.kind = FieldFormat::Kind::general;
  }
  return f;
}

// The target as 80 columns: the field from column 1, blanks after it. A
// field wider than the target, or an unknown format, fills it with asterisks.
char* prepare(std::string& target, const FieldFormat& f) {
  target.assign(kFieldLength, ' ');
  if (f.kind == FieldFormat::Kind::invalid || f.w > kTargetLength) {
    target.assign(kFieldLength, '*');
    return nullptr;
  }
  return target.data();
}

}  // namespace

void write_formatted(std::string& target, std::string_view format, std::int32_t value) {
  const FieldFormat f = parse(format);
  char* out = prepare(target, f);
  if (out == nullptr) return;
  // An integer under a general field is written as an integer field of that width.
  format_integer_to(out, value, f.w, 0);
}

void write_formatted(std::string& target, std::string_view format, double value) {
  FieldFormat f = parse(format);
  if (f.kind == FieldFormat::Kind::integer) f.kind = FieldFormat::Kind::invalid;  // no real under an integer field
  char* out = prepare(target, f);
  if (out == nullptr) return;
  format_general_to(out, value, f.w, f.d, 0, 0, false);
}

}  // namespace textfmt
