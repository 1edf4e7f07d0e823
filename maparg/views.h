#pragma once
// Read-only views of the caller's vectors and matrices.
//
// A view has a length (or two extents), strides in elements and lower index
// bounds. Only the length and the element order count for the renderings:
// element 1 is the first element in storage order, whatever the bounds.
// Views never own or change what they show.

#include <array>
#include <cstddef>
#include <span>
#include <vector>

namespace maparg {

using Index = std::ptrdiff_t;

// A vector of n elements, `stride` apart, indexed lower .. lower + n - 1.
template <class T>
class VecView {
 public:
  VecView() = default;
  VecView(const T* data, Index size, Index stride = 1, Index lower = 1)
      : data_(data), size_(size < 0 ? 0 : size), stride_(stride), lower_(lower) {}
  VecView(const std::vector<T>& v) : VecView(v.data(), static_cast<Index>(v.size())) {}
  VecView(std::span<const T> s) : VecView(s.data(), static_cast<Index>(s.size())) {}
  template <std::size_t N>
  VecView(const T (&a)[N]) : VecView(a, static_cast<Index>(N)) {}
  template <std::size_t N>
  VecView(const std::array<T, N>& a) : VecView(a.data(), static_cast<Index>(N)) {}

  Index size() const { return size_; }
  bool empty() const { return size_ == 0; }
  Index lower() const { return lower_; }
  Index upper() const { return lower_ + size_ - 1; }

  // The k-th element in storage order, k = 0 .. size() - 1.
  const T& element(Index k) const { return data_[k * stride_]; }
  // The element of index i, i = lower() .. upper().
  const T& operator()(Index i) const { return element(i - lower_); }

  // Contiguous storage (stride 1): the data can be used in place.
  bool contiguous() const { return stride_ == 1 || size_ <= 1; }
  const T* data() const { return data_; }

  // The `count` elements from the k-th on, in storage order, keeping their indices.
  VecView part(Index k, Index count) const {
    return VecView(data_ + k * stride_, count, stride_, lower_ + k);
  }

 private:
  const T* data_ = nullptr;
  Index size_ = 0;
  Index stride_ = 1;
  Index lower_ = 1;
};

// A matrix of extent1 x extent2 elements; the first index runs fastest by
// default (stride1 = 1, stride2 = extent1).
template <class T>
class MatView {
 public:
  MatView() = default;
  MatView(const T* data, Index extent1, Index extent2)
      : MatView(data, extent1, extent2, 1, extent1 < 0 ? 0 : extent1) {}
  MatView(const T* data, Index extent1, Index extent2, Index stride1, Index stride2,
          Index lower1 = 1, Index lower2 = 1)
      : data_(data),
        extent1_(extent1 < 0 ? 0 : extent1),
        extent2_(extent2 < 0 ? 0 : extent2),
        stride1_(stride1),
        stride2_(stride2),
        lower1_(lower1),
        lower2_(lower2) {}
  // A C array a[e2][e1] seen as a matrix whose first index is the last subscript.
  template <std::size_t E2, std::size_t E1>
  MatView(const T (&a)[E2][E1]) : MatView(&a[0][0], Index(E1), Index(E2)) {}

  Index extent1() const { return extent1_; }
  Index extent2() const { return extent2_; }
  Index size() const { return extent1_ * extent2_; }
  Index lower1() const { return lower1_; }
  Index lower2() const { return lower2_; }

  // Element (i, j) counted from 0 in both directions.
  const T& element(Index i, Index j) const { return data_[i * stride1_ + j * stride2_]; }
  // Element (i, j) by the matrix's own index bounds.
  const T& operator()(Index i, Index j) const { return element(i - lower1_, j - lower2_); }

 private:
  const T* data_ = nullptr;
  Index extent1_ = 0;
  Index extent2_ = 0;
  Index stride1_ = 1;
  Index stride2_ = 0;
  Index lower1_ = 1;
  Index lower2_ = 1;
};

}  // namespace maparg
