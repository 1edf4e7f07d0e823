#pragma once
// The zoom: frame geometry and the grid of points a frame is computed on.
//
// Frame k (1 .. kFrameCount) shows the square of side 2 r centred on
// (xc, yc), with p = 0.95^k, r = 2 p and the centre moving from near the
// origin towards the target (-0.04288163, 0.98979723) as 1 - p^2 grows.
// Each frame is 5 % narrower than the one before.

#include <cstddef>
#include <memory>

#include "maparg/views.h"

namespace driver {

inline constexpr int kFrameCount = 350;
inline constexpr int kHalfSide = 60;               // grid indices run -60 .. 60
inline constexpr int kSide = 2 * kHalfSide + 1;    // 121 points a side
inline constexpr int kPointCount = kSide * kSide;  // 14641 points a frame

// The single-precision 0.95 (bit pattern 3F733333) the shrink factor is a power of.
inline constexpr float kShrink = 0.95f;
inline constexpr double kTargetRe = -0.04288163;
inline constexpr double kTargetIm = 0.98979723;

struct FrameGeometry {
  double p;  // shrink factor 0.95^k, kept in double precision
  float xc;  // centre, real part
  float yc;  // centre, imaginary part
  float r;   // ray: half the side of the square of points
  int limit;  // iteration limit N; the largest escape value of the frame is N + 1
};

// p = 0.95^k by square-and-multiply over the bits of k, in double precision;
// xc = -0.04288163 (1 - p^2), yc = 0.98979723 (1 - p^2) and r = 2 p from that p,
// each rounded once to single precision; N = ceiling(35 - 20 ln(0.5 r)) in double
// precision from the stored (single-precision) r.
// Requires: k >= 0.
FrameGeometry frame_geometry(int k);

// The coordinate of grid index i (-60 .. 60) on an axis of centre `centre` and
// ray r: i * r / 60 + centre formed in double precision, rounded once to single.
float grid_coordinate(int i, float r, float centre);

// The storage of one frame: x(-60..60) along the real axis, y(-60..60) along the
// imaginary axis, and z(i, j) with the first index (real axis) fastest. Allocated
// once by the constructor (in one block, z first; running out of storage is
// fatal) and reused for every frame; not copyable.
class ZoomGrid {
 public:
  ZoomGrid();
  ZoomGrid(const ZoomGrid&) = delete;
  ZoomGrid& operator=(const ZoomGrid&) = delete;

  // Requires: -60 <= i, j <= 60.
  float& x(int i) { return x_[slot(i)]; }
  float& y(int j) { return y_[slot(j)]; }
  float& z(int i, int j) { return z_[slot(j) * kSide + slot(i)]; }
  float x(int i) const { return x_[slot(i)]; }
  float y(int j) const { return y_[slot(j)]; }
  float z(int i, int j) const { return z_[slot(j) * kSide + slot(i)]; }

  // Contiguous storage: x and y of kSide values, z of kPointCount values with
  // z(i, j) at (j + 60) * 121 + (i + 60).
  float* x_data() { return x_; }
  float* y_data() { return y_; }
  float* z_data() { return z_; }
  const float* x_data() const { return x_; }
  const float* y_data() const { return y_; }
  const float* z_data() const { return z_; }

  // Views indexed -60 .. 60, as the renderings take them.
  maparg::VecView<float> x_view() const;
  maparg::VecView<float> y_view() const;
  maparg::MatView<float> z_view() const;

 private:
  static std::size_t slot(int i) { return static_cast<std::size_t>(i + kHalfSide); }

  // One block: z, then x, then y.
  std::unique_ptr<float[]> storage_;
  float* z_ = nullptr;
  float* x_ = nullptr;
  float* y_ = nullptr;
};

}  // namespace driver
