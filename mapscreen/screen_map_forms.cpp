// The argument forms of the screen map: each converts its arrays to double
// precision and a flat z, prepares its text fields, and calls scr_map.

#include <string>
#include <vector>

#include "maparg/convert.h"
#include "mapscreen/screen_call.h"
#include "mapscreen/screen_map.h"
#include "rtl/fatal.h"

namespace mapscreen {
namespace {

using maparg::Reduce;
using maparg::text_field;

// Calls scr_map with the converted arrays and every positional argument
// present; the named options (the colours and after) pass on as given.
void call_base(VecView<double> x, VecView<double> y, std::vector<double> z,
               const ScreenMapOptions& o, bool single_precision) {
  const std::string xfield = text_field(o.xlabel, maparg::kDefaultXLabel, Reduce::both);
  const std::string yfield = text_field(o.ylabel, maparg::kDefaultYLabel, Reduce::both);
  const std::string tfield = text_field(o.title, maparg::kDefaultTitle, Reduce::both);
  ScreenMapOptions full = o;
  full.log = o.log.value_or(0);
  full.xlabel = xfield;
  full.ylabel = yfield;
  full.title = tfield;
  full.size = o.size.value_or(1);
  full.own_window = o.own_window.value_or(0);
  full.continuation = o.continuation.value_or(0);
  scr_map_of_form(x, y, z, full, single_precision);
}

}  // namespace

void scr_map_r4(VecView<float> x, VecView<float> y, VecView<float> z,
                const ScreenMapOptions& o) try {
  const auto xd = maparg::to_vector<double>(x);
  const auto yd = maparg::to_vector<double>(y);
  call_base(xd, yd, maparg::to_vector<double>(z), o, true);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

void scr_map_2d(VecView<float> x, VecView<float> y, MatView<float> z,
                const ScreenMapOptions& o) try {
  const auto xd = maparg::to_vector<double>(x);
  const auto yd = maparg::to_vector<double>(y);
  call_base(xd, yd, maparg::pack<double>(z), o, true);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

void scr_map_2d_r8(VecView<double> x, VecView<double> y, MatView<double> z,
                   const ScreenMapOptions& o) try {
  call_base(x, y, maparg::pack<double>(z), o, false);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

// The positional forms: the same with the options they name.
void scr_map_r4(VecView<float> x, VecView<float> y, VecView<float> z, OptInt log_option,
                OptText xlabel, OptText ylabel, OptText title, OptInt size, OptInt own_window,
                OptInt continuation) {
  scr_map_r4(x, y, z, {log_option, xlabel, ylabel, title, size, own_window, continuation});
}

void scr_map_2d(VecView<float> x, VecView<float> y, MatView<float> z, OptInt log_option,
                OptText xlabel, OptText ylabel, OptText title, OptInt size, OptInt own_window,
                OptInt continuation) {
  scr_map_2d(x, y, z, {log_option, xlabel, ylabel, title, size, own_window, continuation});
}

void scr_map_2d_r8(VecView<double> x, VecView<double> y, MatView<double> z, OptInt log_option,
                   OptText xlabel, OptText ylabel, OptText title, OptInt size,
                   OptInt own_window, OptInt continuation) {
  scr_map_2d_r8(x, y, z, {log_option, xlabel, ylabel, title, size, own_window, continuation});
}

}  // namespace mapscreen
