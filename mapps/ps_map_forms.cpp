// The argument forms of the PostScript map: each converts its arrays to
// single precision and a flat z, prepares its text fields, and calls ps_map
// with every optional argument present.

#include <vector>

#include "maparg/convert.h"
#include "mapps/ps_map.h"
#include "mapps/ps_text_fields.h"
#include "rtl/fatal.h"

namespace mapps {
namespace {

void call_base(VecView<float> x, VecView<float> y, VecView<float> z, OptInt log_option,
               OptText xlabel, OptText ylabel, OptText title, OptText file, OptText device) {
  const PsTextFields f = ps_text_fields(xlabel, ylabel, title, file, device);
  ps_map(x, y, z, log_option.value_or(0), f.xlabel, f.ylabel, f.title, f.file, f.device);
}

}  // namespace

void ps_map_r8(VecView<double> x, VecView<double> y, VecView<double> z, OptInt log_option,
               OptText xlabel, OptText ylabel, OptText title, OptText file, OptText device) try {
  const std::vector<float> xs = maparg::to_vector<float>(x);
  const std::vector<float> ys = maparg::to_vector<float>(y);
  const std::vector<float> zs = maparg::to_vector<float>(z);
  call_base(xs, ys, zs, log_option, xlabel, ylabel, title, file, device);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

void ps_map_2d(VecView<float> x, VecView<float> y, MatView<float> z, OptInt log_option,
               OptText xlabel, OptText ylabel, OptText title, OptText file, OptText device) try {
  const std::vector<float> zs = maparg::pack<float>(z);
  call_base(x, y, zs, log_option, xlabel, ylabel, title, file, device);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

void ps_map_2d_r8(VecView<double> x, VecView<double> y, MatView<double> z, OptInt log_option,
                  OptText xlabel, OptText ylabel, OptText title, OptText file, OptText device) try {
  const std::vector<float> xs = maparg::to_vector<float>(x);
  const std::vector<float> ys = maparg::to_vector<float>(y);
  const std::vector<float> zs = maparg::pack<float>(z);
  call_base(xs, ys, zs, log_option, xlabel, ylabel, title, file, device);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

}  // namespace mapps
