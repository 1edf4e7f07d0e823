// Descriptors made by hand for what gfortran passes only under -fpack-derived:
// elements off whole element steps, or misaligned, are gathered into a copy;
// and for what another compiler passes: a descriptor of another layout is
// refused before any element is read.
// (fortran_test.cpp checks the descriptors Fortran itself makes.)

#include "fortran/descriptors.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "rtl/fatal.h"

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

// A descriptor that does not match this library's layout and the interface
// ends the program with a message naming the compiler to use, whatever its
// strides would allow.
TEST(DescriptorsDeathTest, DescriptorsOfAnotherLayoutAreRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const float values[4] = {1, 2, 3, 4};
  const auto refused = testing::ExitedWithCode(rtl::kFatalExitCode);
  const char* message = "Fortran array descriptor not laid out by .*: build the module "
                        "mapplot with the program's own compiler";

  Descriptor other_version = descriptor<float>(values, {4}, {4});
  other_version.version = CFI_VERSION + 1;
  EXPECT_EXIT(VectorArgument<float>{cfi(other_version)}, refused, message);

  Descriptor other_type = descriptor<float>(values, {4}, {4});
  other_type.type = CFI_type_int;
  EXPECT_EXIT(VectorArgument<float>{cfi(other_type)}, refused, message);

  // a double descriptor where a float array is expected, and the other way round
  EXPECT_EXIT(VectorArgument<float>{cfi(descriptor<double>(values, {2}, {8}))}, refused, message);
  EXPECT_EXIT(MatrixArgument<double>{cfi(descriptor<float>(values, {2, 2}, {4, 8}))}, refused,
              message);

  // a matrix where a vector is expected, and the other way round
  EXPECT_EXIT(VectorArgument<float>{cfi(descriptor<float>(values, {2, 2}, {4, 8}))}, refused,
              message);
  EXPECT_EXIT(MatrixArgument<float>{cfi(descriptor<float>(values, {4}, {4}))}, refused, message);

  Descriptor in_out = descriptor<double>(values, {2}, {8});
  in_out.version = 20180515;  // what flang 19 writes where gfortran writes its version
  EXPECT_EXIT(InOutVector<double>{reinterpret_cast<CFI_cdesc_t*>(&in_out)}, refused, message);
}

}  // namespace
}  // namespace fortran_binding
