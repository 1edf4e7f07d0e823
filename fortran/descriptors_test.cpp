// Descriptors as Fortran passes them, made by hand: the views lie on the
// caller's storage; only elements off whole element steps are gathered.

#include "fortran/descriptors.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace fortran_binding {
namespace {

typedef CFI_CDESC_T(2) Descriptor;

// A descriptor of `rank` dimensions at `base`, extents and byte strides given.
template <class T>
Descriptor descriptor(const void* base, std::vector<CFI_index_t> extents,
                      std::vector<CFI_index_t> byte_strides) {
  Descriptor d{};
  d.base_addr = const_cast<void*>(base);
  d.elem_len = sizeof(T);
  d.version = CFI_VERSION;
  d.rank = static_cast<CFI_rank_t>(extents.size());
  d.attribute = CFI_attribute_other;
  d.type = sizeof(T) == 4 ? CFI_type_float : CFI_type_double;
  for (std::size_t k = 0; k < extents.size(); ++k) d.dim[k] = {0, extents[k], byte_strides[k]};
  return d;
}

const CFI_cdesc_t* cfi(const Descriptor& d) { return reinterpret_cast<const CFI_cdesc_t*>(&d); }
CFI_cdesc_t* cfi(Descriptor& d) { return reinterpret_cast<CFI_cdesc_t*>(&d); }

template <class T>
std::vector<T> elements(const maparg::VecView<T>& v) {
  std::vector<T> out;
  for (Index k = 0; k < v.size(); ++k) out.push_back(v.element(k));
  return out;
}

TEST(Descriptors, SectionsAreViewedWhereTheyLie) {
  const float a[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  // a(10:1:-2) and a(::3)
  const VectorArgument<float> reversed(cfi(descriptor<float>(&a[9], {5}, {-8})));
  EXPECT_FALSE(reversed.copied());
  EXPECT_EQ(&reversed.view().element(0), &a[9]);
  EXPECT_EQ(elements(reversed.view()), (std::vector<float>{9, 7, 5, 3, 1}));
  const VectorArgument<float> strided(cfi(descriptor<float>(a, {4}, {12})));
  EXPECT_EQ(elements(strided.view()), (std::vector<float>{0, 3, 6, 9}));

  // b(2, 3) as b(::1, 3:1:-1): element (i, j) from the last column back.
  const double b[6] = {11, 21, 12, 22, 13, 23};
  const MatrixArgument<double> m(cfi(descriptor<double>(&b[4], {2, 3}, {8, -16})));
  EXPECT_FALSE(m.copied());
  EXPECT_EQ(m.view().element(0, 0), 13);
  EXPECT_EQ(m.view().element(1, 2), 21);
  EXPECT_EQ(&m.view().element(1, 0), &b[5]);

  const VectorArgument<float> empty(cfi(descriptor<float>(nullptr, {0}, {4})));
  EXPECT_EQ(empty.view().size(), 0);
}

#pragma pack(push, 1)
struct Packed {  // a component of a packed derived type: off whole steps and alignment
  char tag[3];
  float value;
};
#pragma pack(pop)

TEST(Descriptors, ElementsOffWholeStepsAreGathered) {
  Packed p[3] = {{"ab", 1.5f}, {"cd", 2.5f}, {"ef", 3.5f}};
  const char* values = reinterpret_cast<const char*>(p) + offsetof(Packed, value);
  // p(:)%value: 7 bytes apart, and not aligned for a float
  const VectorArgument<float> v(cfi(descriptor<float>(values, {3}, {7})));
  EXPECT_TRUE(v.copied());
  EXPECT_EQ(elements(v.view()), (std::vector<float>{1.5f, 2.5f, 3.5f}));
  // as a 3 x 1 matrix read backwards
  const MatrixArgument<float> m(cfi(descriptor<float>(values + 14, {3, 1}, {-7, 21})));
  EXPECT_TRUE(m.copied());
  EXPECT_EQ(m.view().element(0, 0), 3.5f);
  EXPECT_EQ(m.view().element(2, 0), 1.5f);
}

TEST(Descriptors, InOutVectorChangesTheCallersElements) {
  double a[6] = {0, 1, 2, 3, 4, 5};
  Descriptor whole = descriptor<double>(a, {6}, {8});
  const InOutVector<double> contiguous(cfi(whole));
  EXPECT_FALSE(contiguous.copied());
  EXPECT_EQ(contiguous.span().data(), a);

  Descriptor odd = descriptor<double>(&a[5], {3}, {-16});  // a(6:1:-2)
  const InOutVector<double> section(cfi(odd));
  ASSERT_TRUE(section.copied());
  EXPECT_EQ(std::vector<double>(section.span().begin(), section.span().end()),
            (std::vector<double>{5, 3, 1}));
  section.span()[0] = 50;
  section.span()[2] = 10;
  EXPECT_EQ(a[5], 5);  // only write_back changes the caller's array
  section.write_back();
  EXPECT_EQ(std::vector<double>(a, a + 6), (std::vector<double>{0, 10, 2, 3, 4, 50}));
}

TEST(Descriptors, AbsentArgumentsAndTexts) {
  EXPECT_EQ(optional_int(nullptr), std::nullopt);
  const int minus_one = -1;
  EXPECT_EQ(optional_int(&minus_one), -1);

  EXPECT_EQ(optional_text(nullptr, -1), std::nullopt);
  const char chars[] = "Spectrum and more";
  EXPECT_EQ(optional_text(chars, 8), "Spectrum");  // no terminating NUL: the length ends it
  EXPECT_EQ(optional_text(chars, 0), "");          // present and empty
  EXPECT_EQ(optional_text(nullptr, 0), "");
}

}  // namespace
}  // namespace fortran_binding
