#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "maparg/convert.h"
#include "maparg/text_fields.h"
#include "maparg/views.h"

namespace maparg {
namespace {

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
