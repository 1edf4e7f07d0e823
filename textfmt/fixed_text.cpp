#include "textfmt/fixed_text.h"

#include <algorithm>
#include <cctype>

namespace textfmt {

std::string assign_fixed(std::string_view text, std::size_t length) {
  std::string field(text.substr(0, length));
  field.resize(length, ' ');
  return field;
}

std::string pad_fixed(std::string_view text, std::size_t length) {
  std::string field(text);
  if (field.size() < length) field.resize(length, ' ');
  return field;
}

std::string adjust_left(std::string_view text) {
  const std::string_view rest = drop_leading_blanks(text);
  std::string shifted(rest);
  shifted.resize(text.size(), ' ');
  return shifted;
}

std::string_view trim(std::string_view text) {
  const std::size_t last = text.find_last_not_of(' ');
  return last == std::string_view::npos ? text.substr(0, 0) : text.substr(0, last + 1);
}

std::string_view strip(std::string_view text) { return trim(drop_leading_blanks(text)); }

std::string_view drop_leading_blanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? text.substr(text.size()) : text.substr(first);
}

bool texts_equal(std::string_view a, std::string_view b) {
  if (a.size() < b.size()) std::swap(a, b);
  // a is the longer one: its extra tail must be blank.
  return a.substr(0, b.size()) == b && a.find_first_not_of(' ', b.size()) == std::string_view::npos;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char ca, char cb) {
           return std::tolower(static_cast<unsigned char>(ca)) ==
                  std::tolower(static_cast<unsigned char>(cb));
         });
}

}  // namespace textfmt
