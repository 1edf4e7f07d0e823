#include "textfmt/drawn_text.h"

#include <algorithm>

#include "textfmt/fixed_text.h"

namespace textfmt {
namespace {

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The bytes a character beginning with `lead` takes (0: no valid lead byte)
// and the range its second byte must lie in, which excludes overlong forms,
// surrogates and values beyond U+10FFFF.
struct Lead {
  int length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
};

Lead lead_of(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return {2};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF) return {3};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {4};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {};
}

// How many bytes of `text` from `at` on continue a valid start of the
// character led by text[at] (at most lead.length - 1).
std::size_t valid_continuations(std::string_view text, std::size_t at, const Lead& lead) {
  std::size_t n = 0;
  while (n + 1 < static_cast<std::size_t>(lead.length) && at + 1 + n < text.size()) {
    const auto b = static_cast<unsigned char>(text[at + 1 + n]);
    const bool fits = n == 0 ? b >= lead.low && b <= lead.high : is_continuation(b);
    if (!fits) break;
    ++n;
  }
  return n;
}

// The bytes at the end of a full field that begin a character the field's
// length broke off: a valid beginning of a character that would need more.
std::size_t broken_off_tail(std::string_view field) {
  if (field.size() != kFieldLength) return 0;
  for (std::size_t back = 1; back <= 3 && back <= field.size(); ++back) {
    const std::size_t at = field.size() - back;
    const Lead lead = lead_of(static_cast<unsigned char>(field[at]));
    if (lead.length != 0)
      return static_cast<std::size_t>(lead.length) > back &&
                     valid_continuations(field, at, lead) == back - 1
                 ? back
                 : 0;
    if (!is_continuation(static_cast<unsigned char>(field[at]))) return 0;
  }
  return 0;
}

}  // namespace

std::u32string decode_utf8(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto b = static_cast<unsigned char>(text[at]);
    if (b < 0x80) {
      out.push_back(b);
      ++at;
      continue;
    }
    const Lead lead = lead_of(b);
    const std::size_t n = lead.length == 0 ? 0 : valid_continuations(text, at, lead);
    if (lead.length == 0 || n + 1 < static_cast<std::size_t>(lead.length)) {
      out.push_back(kReplacementCharacter);
      at += 1 + n;
      continue;
    }
    char32_t c = b & (0x7F >> lead.length);
    for (std::size_t k = 1; k <= n; ++k)
      c = (c << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    out.push_back(c);
    at += 1 + n;
  }
  return out;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void pop_character(std::string& text) {
  if (text.empty()) return;
  std::size_t at = text.size() - 1;
  while (at > 0 && text.size() - at < 4 && is_continuation(static_cast<unsigned char>(text[at])))
    --at;
  const Lead lead = lead_of(static_cast<unsigned char>(text[at]));
  const bool whole = lead.length == static_cast<int>(text.size() - at) &&
                     valid_continuations(text, at, lead) + 1 == text.size() - at;
  text.resize(whole ? at : text.size() - 1);
}

std::string drawn_text(std::string_view field) {
  const bool printable_ascii = std::all_of(field.begin(), field.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x20 && b < 0x80;
  });
  if (printable_ascii) return std::string(field);
  const std::size_t broken = broken_off_tail(field);
  std::string out;
  out.reserve(field.size() + 8);
  for (const char32_t c : decode_utf8(field.substr(0, field.size() - broken)))
    append_utf8(out, c < 0x20 ? U' ' : c);
  out.append(broken, ' ');
  return out;
}

}  // namespace textfmt
