// The argument forms of the PostScript map: each converts its arrays to
// single precision and a flat z and calls ps_map, which prepares the texts.

#include <vector>

#include "maparg/convert.h"
#include "mapps/ps_map.h"
#include "rtl/fatal.h"

namespace mapps {

PsMapResult ps_map_r8(VecView<double> x, VecView<double> y, VecView<double> z, const PsMapOptions& o) try {
  const std::vector<float> xs = maparg::to_vector<float>(x);
  const std::vector<float> ys = maparg::to_vector<float>(y);
  const std::vector<float> zs = maparg::to_vector<float>(z);
  return ps_map(xs, ys, zs, o);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

PsMapResult ps_map_2d(VecView<float> x, VecView<float> y, MatView<float> z, const PsMapOptions& o) try {
  const std::vector<float> zs = maparg::pack<float>(z);
  return ps_map(x, y, zs, o);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

PsMapResult ps_map_2d_r8(VecView<double> x, VecView<double> y, MatView<double> z,
                  const PsMapOptions& o) try {
  const std::vector<float> xs = maparg::to_vector<float>(x);
  const std::vector<float> ys = maparg::to_vector<float>(y);
  const std::vector<float> zs = maparg::pack<float>(z);
  return ps_map(xs, ys, zs, o);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

// The positional forms: the same with the options they name.
PsMapResult ps_map_r8(VecView<double> x, VecView<double> y, VecView<double> z, OptInt log_option,
               OptText xlabel, OptText ylabel, OptText title, OptText file, OptText device) {
  return ps_map_r8(x, y, z, {log_option, xlabel, ylabel, title, file, device});
}

PsMapResult ps_map_2d(VecView<float> x, VecView<float> y, MatView<float> z, OptInt log_option,
               OptText xlabel, OptText ylabel, OptText title, OptText file, OptText device) {
  return ps_map_2d(x, y, z, {log_option, xlabel, ylabel, title, file, device});
}

PsMapResult ps_map_2d_r8(VecView<double> x, VecView<double> y, MatView<double> z, OptInt log_option,
                  OptText xlabel, OptText ylabel, OptText title, OptText file, OptText device) {
  return ps_map_2d_r8(x, y, z, {log_option, xlabel, ylabel, title, file, device});
}

}  // namespace mapps
