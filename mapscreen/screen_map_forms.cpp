// The argument forms of the screen map: each converts its arrays to double
// precision and a flat z, prepares its text fields, and calls scr_map.

#include <string>
#include <vector>

#include "maparg/convert.h"
#include "mapscreen/painted_values.h"
#include "mapscreen/screen_map.h"
#include "rtl/fatal.h"

namespace mapscreen {
namespace {

using maparg::Reduce;
using maparg::text_field;

// Calls scr_map with the converted arrays and every optional argument present.
void call_base(VecView<double> x, VecView<double> y, std::vector<double> z, OptInt log_option,
               OptText xlabel, OptText ylabel, OptText title, OptInt size, OptInt own_window,
               OptInt continuation) {
  const std::string xfield = text_field(xlabel, maparg::kDefaultXLabel, Reduce::both);
  const std::string yfield = text_field(ylabel, maparg::kDefaultYLabel, Reduce::both);
  const std::string tfield = text_field(title, maparg::kDefaultTitle, Reduce::both);
  scr_map(x, y, z, log_option.value_or(0), xfield, yfield, tfield, size.value_or(1),
          own_window.value_or(0), continuation.value_or(0));
}

}  // namespace

void scr_map_r4(VecView<float> x, VecView<float> y, VecView<float> z, OptInt log_option,
                OptText xlabel, OptText ylabel, OptText title, OptInt size, OptInt own_window,
                OptInt continuation) try {
  const SinglePrecisionCall single;  // the readout writes the caller's floats
  const auto xd = maparg::to_vector<double>(x);
  const auto yd = maparg::to_vector<double>(y);
  call_base(xd, yd, maparg::to_vector<double>(z), log_option, xlabel, ylabel, title, size,
            own_window, continuation);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

void scr_map_2d(VecView<float> x, VecView<float> y, MatView<float> z, OptInt log_option,
                OptText xlabel, OptText ylabel, OptText title, OptInt size, OptInt own_window,
                OptInt continuation) try {
  const SinglePrecisionCall single;  // the readout writes the caller's floats
  const auto xd = maparg::to_vector<double>(x);
  const auto yd = maparg::to_vector<double>(y);
  call_base(xd, yd, maparg::pack<double>(z), log_option, xlabel, ylabel, title, size, own_window,
            continuation);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

void scr_map_2d_r8(VecView<double> x, VecView<double> y, MatView<double> z, OptInt log_option,
                   OptText xlabel, OptText ylabel, OptText title, OptInt size,
                   OptInt own_window, OptInt continuation) try {
  call_base(x, y, maparg::pack<double>(z), log_option, xlabel, ylabel, title, size, own_window,
            continuation);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

}  // namespace mapscreen
