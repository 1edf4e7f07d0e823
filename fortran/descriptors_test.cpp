// Descriptors made by hand for what gfortran passes only under -fpack-derived:
// elements off whole element steps, or misaligned, are gathered into a copy.
// (fortran_test.cpp checks the descriptors Fortran itself makes.)

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

template <class T>
std::vector<T> elements(const maparg::VecView<T>& v) {
  std::vector<T> out;
  for (Index k = 0; k < v.size(); ++k) out.push_back(v.element(k));
  return out;
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

}  // namespace
}  // namespace fortran_binding
