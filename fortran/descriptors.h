#pragma once
// Fortran's arguments as the module's views: the one place where the C
// entry points of the Fortran module (fortran_entry.cpp) turn what a Fortran
// caller passes into the arguments of the C++ routines.
//
// An assumed-shape array arrives as a descriptor (ISO_Fortran_binding.h):
// the address of its first element in array element order, and per dimension
// the extent and the distance in bytes from one element to the next
// (negative for a reversed section). The views are laid on the caller's own
// storage, whatever its bounds and strides, so nothing is copied here. An
// array whose elements are not whole element steps apart, or not aligned for
// their type (a component of a packed derived type), cannot be seen through
// a view: it alone is gathered into a copy first. An array among the named
// options of the maps (map_options.h) arrives instead as the addresses of
// its first two elements and its size, and is seen the same way.
//
// An optional integer the caller left out arrives as a null pointer and
// becomes std::nullopt. A text arrives as its characters and its length (no
// terminating NUL), a length of -1 when it was left out; an empty text stays
// present.
//
// The descriptors are read with the layout of the ISO_Fortran_binding.h
// found first, which the build takes from the Fortran compiler that compiles
// the module (MAPPLOT_FORTRAN_COMPILER names it). Another compiler lays them
// out otherwise (field types and order, type codes, version): before any
// array is believed, its descriptor must give this header's version, the
// rank and element length of the interface and the type code of its
// element; any other is a fatal error that names the compiler to use.

#include <ISO_Fortran_binding.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "maparg/text_fields.h"
#include "maparg/views.h"
#include "rtl/fatal.h"

#ifndef MAPPLOT_FORTRAN_COMPILER
#define MAPPLOT_FORTRAN_COMPILER "this library's Fortran compiler"
#endif

namespace fortran_binding {

using maparg::Index;

inline std::optional<int> optional_int(const int* value) {
  return value ? std::optional<int>(*value) : std::nullopt;
}

// A text passed as its characters and its length; a negative length marks
// a text the caller left out.
inline maparg::OptText optional_text(const char* chars, std::ptrdiff_t length) {
  if (length < 0) return std::nullopt;
  if (length == 0) return std::string_view();
  return std::string_view(chars, static_cast<std::size_t>(length));
}

namespace internal {

template <class T>
constexpr CFI_type_t type_code() {
  static_assert(sizeof(T) == sizeof(float) || sizeof(T) == sizeof(double));
  return sizeof(T) == sizeof(float) ? CFI_type_float : CFI_type_double;
}

// Ends the program unless `d` is a descriptor of a rank-`rank` array of T
// as this header lays it out.
template <class T>
void check_layout(const CFI_cdesc_t* d, int rank) {
  if (d->version == CFI_VERSION && d->rank == rank && d->elem_len == sizeof(T) &&
      d->type == type_code<T>())
    return;
  rtl::fatal_error(std::string("Fortran array descriptor not laid out by ") +
                   MAPPLOT_FORTRAN_COMPILER + " (version " + std::to_string(d->version) +
                   "): build the module mapplot with the program's own compiler");
}

inline Index extent(const CFI_cdesc_t* d, int dim) { return d->dim[dim].extent; }

// The element stride of a dimension, or nullopt when the byte stride is no
// whole number of elements.
template <class T>
std::optional<Index> element_stride(const CFI_cdesc_t* d, int dim) {
  const Index bytes = d->dim[dim].sm;
  if (bytes % Index(sizeof(T)) != 0) return std::nullopt;
  return bytes / Index(sizeof(T));
}

template <class T>
bool aligned(const CFI_cdesc_t* d) {
  return reinterpret_cast<std::uintptr_t>(d->base_addr) % alignof(T) == 0;
}

// Element (i, j), counted from 0, of a rank-1 (j = 0) or rank-2 array, read
// byte by byte wherever it lies.
template <class T>
T load(const CFI_cdesc_t* d, Index i, Index j) {
  const char* at = static_cast<const char*>(d->base_addr) + i * d->dim[0].sm;
  if (d->rank == 2) at += j * d->dim[1].sm;
  T value;
  std::memcpy(&value, at, sizeof(T));
  return value;
}

template <class T>
void store(const CFI_cdesc_t* d, Index i, T value) {
  std::memcpy(static_cast<char*>(d->base_addr) + i * d->dim[0].sm, &value, sizeof(T));
}

// `n` elements of T from `base`, `bytes` apart: a view of them where they
// lie, or, when they are not whole elements apart or not aligned for T, of
// their copy, made in `copy`.
template <class T>
maparg::VecView<T> vector_view(const void* base, Index n, Index bytes, std::vector<T>& copy) {
  if (bytes % Index(sizeof(T)) == 0 && reinterpret_cast<std::uintptr_t>(base) % alignof(T) == 0)
    return maparg::VecView<T>(static_cast<const T*>(base), n, bytes / Index(sizeof(T)));
  copy.reserve(static_cast<std::size_t>(n));
  for (Index i = 0; i < n; ++i) {
    T value;
    std::memcpy(&value, static_cast<const char*>(base) + i * bytes, sizeof(T));
    copy.push_back(value);
  }
  return maparg::VecView<T>(copy);
}

// The array's elements in array element order (first index fastest).
template <class T>
std::vector<T> gather(const CFI_cdesc_t* d) {
  const Index n1 = extent(d, 0);
  const Index n2 = d->rank == 2 ? extent(d, 1) : 1;
  std::vector<T> out;
  out.reserve(static_cast<std::size_t>(n1 * n2));
  for (Index j = 0; j < n2; ++j)
    for (Index i = 0; i < n1; ++i) out.push_back(load<T>(d, i, j));
  return out;
}

}  // namespace internal

// x(:), y(:) and a flat z(:) (intent(in)) as a VecView.
template <class T>
class VectorArgument {
 public:
  explicit VectorArgument(const CFI_cdesc_t* d) {
    internal::check_layout<T>(d, 1);
    view_ = internal::vector_view(d->base_addr, internal::extent(d, 0), d->dim[0].sm, copy_);
  }
  VectorArgument(const VectorArgument&) = delete;
  VectorArgument& operator=(const VectorArgument&) = delete;

  maparg::VecView<T> view() const { return view_; }
  bool copied() const { return !copy_.empty(); }

 private:
  std::vector<T> copy_;
  maparg::VecView<T> view_;
};

// A vector given by where its first two elements lie and by its size, as
// an array among the named options arrives (map_options.h), as a VecView:
// the caller's storage, or a copy as for VectorArgument. Its elements are
// of T by the interface that passed them, so there is no descriptor to check.
template <class T>
class AddressedVector {
 public:
  AddressedVector(const void* first, const void* second, Index size) {
    const Index bytes = size > 1 ? static_cast<const char*>(second) -
                                       static_cast<const char*>(first)
                                 : Index(sizeof(T));
    if (size > 0) view_ = internal::vector_view(first, size, bytes, copy_);
  }
  AddressedVector(const AddressedVector&) = delete;
  AddressedVector& operator=(const AddressedVector&) = delete;

  maparg::VecView<T> view() const { return view_; }
  bool copied() const { return !copy_.empty(); }

 private:
  std::vector<T> copy_;
  maparg::VecView<T> view_;
};

// A matrix z(:, :) (intent(in)) as a MatView, first index along x.
template <class T>
class MatrixArgument {
 public:
  explicit MatrixArgument(const CFI_cdesc_t* d) {
    internal::check_layout<T>(d, 2);
    const Index n1 = internal::extent(d, 0), n2 = internal::extent(d, 1);
    const auto stride1 = internal::element_stride<T>(d, 0);
    const auto stride2 = internal::element_stride<T>(d, 1);
    if (stride1 && stride2 && internal::aligned<T>(d)) {
      view_ = maparg::MatView<T>(static_cast<const T*>(d->base_addr), n1, n2, *stride1, *stride2);
    } else {
      copy_ = internal::gather<T>(d);
      view_ = maparg::MatView<T>(copy_.data(), n1, n2);
    }
  }
  MatrixArgument(const MatrixArgument&) = delete;
  MatrixArgument& operator=(const MatrixArgument&) = delete;

  maparg::MatView<T> view() const { return view_; }
  bool copied() const { return !copy_.empty(); }

 private:
  std::vector<T> copy_;
  maparg::MatView<T> view_;
};

// A vector the routine changes in place (scr_map's z, intent(inout)), as the
// contiguous span it takes: the caller's own storage when it is contiguous;
// otherwise a copy, whose values write_back() returns to the caller's
// elements.
template <class T>
class InOutVector {
 public:
  explicit InOutVector(CFI_cdesc_t* d) : d_(d) {
    internal::check_layout<T>(d, 1);
    const Index n = internal::extent(d, 0);
    if ((n <= 1 || d->dim[0].sm == Index(sizeof(T))) && internal::aligned<T>(d)) {
      span_ = std::span<T>(static_cast<T*>(d->base_addr), static_cast<std::size_t>(n));
    } else {
      copy_ = internal::gather<T>(d);
      span_ = copy_;
    }
  }
  InOutVector(const InOutVector&) = delete;
  InOutVector& operator=(const InOutVector&) = delete;

  std::span<T> span() const { return span_; }
  bool copied() const { return !copy_.empty(); }

  void write_back() const {
    for (std::size_t k = 0; k < copy_.size(); ++k) internal::store(d_, Index(k), copy_[k]);
  }

 private:
  CFI_cdesc_t* d_;
  std::vector<T> copy_;
  std::span<T> span_;
};

}  // namespace fortran_binding
