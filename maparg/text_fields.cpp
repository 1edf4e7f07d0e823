#include "maparg/text_fields.h"

#include "textfmt/fixed_text.h"

namespace maparg {

std::string text_field(OptText argument, std::string_view fallback, Reduce reduce) {
  if (!argument) return textfmt::assign_fixed(fallback);
  std::string_view text = *argument;
  switch (reduce) {
    case Reduce::none: break;
    case Reduce::leading: text = textfmt::drop_leading_blanks(text); break;
    case Reduce::both: text = textfmt::strip(text); break;
  }
  return textfmt::assign_fixed(text);
}

std::string name_field(OptText argument, std::string_view fallback) {
  return textfmt::pad_fixed(argument.value_or(fallback));
}

std::string log_title(std::string_view title_field) {
  std::string title = "log(";
  title += textfmt::strip(title_field);
  title += ")";
  return textfmt::assign_fixed(title);
}

}  // namespace maparg
