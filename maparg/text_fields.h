#pragma once
// The 80-character text fields of the map routines.
//
// Labels and titles are cut to their 80 characters; file names and device
// types are padded like them but never cut.
//
// An absent text gives the routine's default; a present one always replaces
// it, even when empty or all blanks.

#include <optional>
#include <string>
#include <string_view>

namespace maparg {

using OptText = std::optional<std::string_view>;

inline constexpr std::string_view kDefaultXLabel = "x";
inline constexpr std::string_view kDefaultYLabel = "y";
inline constexpr std::string_view kDefaultTitle = "Representation of z=z(x,y)";

// How a present text is reduced before it is cut to 80 characters.
enum class Reduce {
  none,           // taken unchanged
  leading,        // leading blanks removed
  both,           // leading and trailing blanks removed
};

// The field for an optional text argument: the default when absent, else the
// argument reduced as asked; cut to 80 characters and blank-padded.
std::string text_field(OptText argument, std::string_view fallback, Reduce reduce);

// The field for a file name or a device type: the default when absent, else
// the argument as given, blank-padded to 80 characters; a longer text is held
// whole, never cut, so that no file is written under a name the caller did
// not give.
std::string name_field(OptText argument, std::string_view fallback);

// The title under the log option: "log(" + the title without leading and
// trailing blanks + ")", cut to 80 characters and blank-padded. At most 76
// characters of the title remain; a title of 76 or more loses the ")".
std::string log_title(std::string_view title_field);

// A truth value carried in an integer: only the lowest bit counts.
inline bool truth(int value) { return (value & 1) != 0; }
inline bool truth(std::optional<int> value, bool fallback = false) {
  return value ? truth(*value) : fallback;
}

}  // namespace maparg
