#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "maparg/convert.h"
#include "maparg/request.h"
#include "maparg/text_fields.h"
#include "maparg/views.h"
#include "rtl/console.h"
#include "rtl/hooks.h"

namespace maparg {
namespace {

// Each console record is one line whatever bytes it is built from: control
// bytes escaped where the record is written (standard output, the output
// hook and the listener alike), a quoted palette name cut, a file name whole.
TEST(ConsoleRecords, ControlBytesAreEscapedAndQuotedNamesCut) {
  const std::string e_acute = "\xc3\xa9";
  const std::string ellipsis = "\xe2\x80\xa6";
  const std::string long_file(5000, 'f');
  struct Case {
    std::string what;
    std::function<void()> write;
    std::string line;
  };
  const auto palette = [](std::string name) {
    return [name] { colour_request(OptPalette(std::string_view(name))); };
  };
  const auto record = [](std::string text, std::string more = {}) {
    return [text, more] { console_line(text, more); };
  };
  const Case cases[] = {
      {"plain", record(" Output in Map.dat"), "  Output in Map.dat"},
      {"line feed in a file name", record(" Output in ", "a\nb.dat"), "  Output in a\\nb.dat"},
      {"each control byte", record(std::string(" \r\t\x1b[2J\x7f\x01\x1f\0!", 12)),
       "  \\r\\t\\x1b[2J\\x7f\\x01\\x1f\\0!"},
      {"backslash and UTF-8 stay", record(" a\\n " + e_acute), "  a\\n " + e_acute},
      {"long file name whole", record(" Output in ", long_file), "  Output in " + long_file},
      {"direct record", [] { rtl::console_write_line(" x\ny"); }, " x\\ny"},
      {"palette name escaped", palette("sep\nia\x1b"),
       "  Warning: unknown palette sep\\nia\\x1b, grey used !!!"},
      {"palette name of 200 bytes whole", palette(std::string(200, 'p')),
       "  Warning: unknown palette " + std::string(200, 'p') + ", grey used !!!"},
      {"palette name of 1 MB cut", palette(std::string(1 << 20, 'p')),
       "  Warning: unknown palette " + std::string(200, 'p') + ellipsis + ", grey used !!!"},
      {"cut at a character's start", palette("p" + [&] {
         std::string s;
         for (int k = 0; k < 150; ++k) s += e_acute;
         return s;
       }()),
       "  Warning: unknown palette p" + [&] {
         std::string s;
         for (int k = 0; k < 99; ++k) s += e_acute;
         return s;
       }() + ellipsis + ", grey used !!!"},
      {"control bytes in a cut name", palette(std::string(300, '\n')),
       "  Warning: unknown palette " + [] {
         std::string s;
         for (int k = 0; k < 200; ++k) s += "\\n";
         return s;
       }() + ellipsis + ", grey used !!!"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> written, seen;
    {
      rtl::ScopedHooks hooks({.console_output = [&](std::string_view r) { written.emplace_back(r); },
                              .console_listener = [&](std::string_view r) { seen.emplace_back(r); }});
      c.write();
    }
    EXPECT_EQ(written, std::vector<std::string>{c.line}) << c.what;
    EXPECT_EQ(seen, written) << c.what;
  }
}

std::string padded(const std::string& s) { return s + std::string(80 - s.size(), ' '); }

TEST(Views, BoundsAndStridesKeepElementOrder) {
  const std::vector<float> storage = {0, 10, 1, 11, 2, 12};
  const VecView<float> odd(storage.data() + 1, 3, 2, -60);  // every second element
  EXPECT_EQ(odd.size(), 3);
  EXPECT_EQ(odd.element(0), 10);
  EXPECT_EQ(odd(-60), 10);
  EXPECT_EQ(odd(-58), 12);
  EXPECT_EQ(odd.upper(), -58);
  EXPECT_FALSE(odd.contiguous());
  EXPECT_EQ(to_vector<float>(odd), (std::vector<float>{10, 11, 12}));
  const double c_array[] = {1.5, 2.5};
  EXPECT_EQ(VecView<double>(c_array).size(), 2);
  EXPECT_EQ(VecView<float>(nullptr, -3).size(), 0);  // a negative length is empty
}

TEST(Convert, PackPutsFirstIndexFastest) {
  // Matrix (row, column): (1,1)=a (2,1)=b (3,1)=c (1,2)=d (2,2)=e (3,2)=f, stored
  // with the second index fastest to show that storage order does not matter.
  const double a = 1, b = 2, c = 3, d = 4, e = 5, f = 6;
  const double storage[] = {a, d, b, e, c, f};
  const MatView<double> m(storage, 3, 2, /*stride1=*/2, /*stride2=*/1, -60, 7);
  EXPECT_EQ(m(-60, 7), a);
  EXPECT_EQ(m(-58, 8), f);
  EXPECT_EQ(pack<double>(m), (std::vector<double>{a, b, c, d, e, f}));
  EXPECT_TRUE(pack<float>(MatView<float>(nullptr, 4, 0)).empty());
}

TEST(Convert, NarrowRoundsToNearestAndOverflowsToInfinity) {
  EXPECT_EQ(narrow(0.1), 0.1f);
  EXPECT_EQ(narrow(1e300), std::numeric_limits<float>::infinity());
  EXPECT_EQ(narrow(-1e39), -std::numeric_limits<float>::infinity());
  // Just below half an ulp past the largest float still rounds down to it.
  EXPECT_EQ(narrow(0x1.fffffefffffffp127), std::numeric_limits<float>::max());
  EXPECT_EQ(narrow(0x1.ffffffp127), std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(narrow(std::nan(""))));
  EXPECT_EQ(pack<float>(MatView<double>(std::vector<double>{1e40, 0.5}.data(), 2, 1)),
            (std::vector<float>{std::numeric_limits<float>::infinity(), 0.5f}));
}

TEST(Convert, AsContiguousUsesStorageInPlaceOnlyWhenItCan) {
  const std::vector<float> v = {1, 2, 3};
  std::vector<float> copy;
  EXPECT_EQ(as_contiguous<float>(VecView<float>(v), copy).data(), v.data());
  EXPECT_TRUE(copy.empty());
  const VecView<float> strided(v.data(), 2, 2);
  EXPECT_EQ(as_contiguous<float>(strided, copy).element(1), 3);
  std::vector<float> widened_copy;
  EXPECT_EQ(as_contiguous<float>(VecView<double>(std::vector<double>{0.25}), widened_copy)
                .element(0),
            0.25f);
}

TEST(TextFields, PresentReplacesDefaultEvenWhenEmpty) {
  EXPECT_EQ(text_field(std::nullopt, "x", Reduce::leading), padded("x"));
  EXPECT_EQ(text_field("", "y", Reduce::leading), padded(""));
  EXPECT_EQ(text_field("   Re(c)", "x", Reduce::leading), padded("Re(c)"));
  EXPECT_EQ(text_field("   T", kDefaultTitle, Reduce::none), padded("   T"));
  EXPECT_EQ(text_field("  Field  ", kDefaultTitle, Reduce::both), padded("Field"));
  const std::string long_text(100, 'a');
  EXPECT_EQ(text_field(long_text, "x", Reduce::none), std::string(80, 'a'));
}

TEST(TextFields, LogTitleKeepsAtMostSeventySixCharacters) {
  EXPECT_EQ(log_title(padded("Representation of z=z(x,y)")),
            padded("log(Representation of z=z(x,y))"));
  EXPECT_EQ(log_title(padded("  Energy")), padded("log(Energy)"));
  const std::string t74(74, 'e');
  EXPECT_EQ(log_title(padded(t74)), padded("log(" + t74 + ")"));
  const std::string t76(76, 'f');
  EXPECT_EQ(log_title(padded(t76)), "log(" + t76);
  EXPECT_EQ(log_title(std::string(80, 'g')), "log(" + std::string(76, 'g'));
}

TEST(TextFields, TruthUsesTheLowestBitOnly) {
  EXPECT_TRUE(truth(-1));
  EXPECT_TRUE(truth(3));
  EXPECT_FALSE(truth(2));
  EXPECT_FALSE(truth(0));
  EXPECT_FALSE(truth(std::optional<int>()));
  EXPECT_TRUE(truth(std::optional<int>(), true));
}

}  // namespace
}  // namespace maparg
