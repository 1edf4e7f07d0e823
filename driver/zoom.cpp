#include "driver/zoom.h"

#include <cmath>
#include <new>

#include "rtl/fatal.h"

namespace driver {

FrameGeometry frame_geometry(int k) {
  double p = 1.0;
  double power = static_cast<double>(kShrink);
  for (unsigned bits = static_cast<unsigned>(k); bits != 0; bits >>= 1) {
    if (bits & 1u) p *= power;
    power *= power;
  }
  FrameGeometry g;
  g.p = p;
  const double approach = 1.0 - p * p;
  g.xc = static_cast<float>(kTargetRe * approach);
  g.yc = static_cast<float>(kTargetIm * approach);
  g.r = static_cast<float>(2.0 * p);
  g.limit = static_cast<int>(std::ceil(35.0 - 20.0 * std::log(0.5 * static_cast<double>(g.r))));
  return g;
}

float grid_coordinate(int i, float r, float centre) {
  return static_cast<float>(static_cast<double>(i) * static_cast<double>(r) / 60.0 +
                            static_cast<double>(centre));
}

// z first, then x, then y: one allocation step before the first frame. Running
// out of storage here ends the program with the run-time's out-of-memory report.
ZoomGrid::ZoomGrid() : storage_(new (std::nothrow) float[kPointCount + 2 * kSide]()) {
  if (!storage_) rtl::fatal_error("insufficient memory for the zoom grid");
  z_ = storage_.get();
  x_ = z_ + kPointCount;
  y_ = x_ + kSide;
}

maparg::VecView<float> ZoomGrid::x_view() const {
  return maparg::VecView<float>(x_, kSide, 1, -kHalfSide);
}

maparg::VecView<float> ZoomGrid::y_view() const {
  return maparg::VecView<float>(y_, kSide, 1, -kHalfSide);
}

maparg::MatView<float> ZoomGrid::z_view() const {
  return maparg::MatView<float>(z_, kSide, kSide, 1, kSide, -kHalfSide, -kHalfSide);
}

}  // namespace driver
