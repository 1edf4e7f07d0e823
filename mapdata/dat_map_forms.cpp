// The argument forms of the data export: each converts its arrays to single
// precision and a flat z and calls dat_map, which prepares the texts.

#include <string>

#include "maparg/convert.h"
#include "mapdata/dat_map.h"
#include "rtl/fatal.h"

namespace mapdata {
namespace {

using maparg::OptText;
using maparg::VecView;

// Calls dat_map with the converted arrays. The texts go on as they were
// passed, so that dat_map prepares them as for its own callers; only an
// absent title becomes the form's default.
void call_base(VecView<float> x, VecView<float> y, VecView<float> z, std::optional<int> log_option,
               OptText xlabel, OptText ylabel, OptText title, OptText file,
               std::string_view default_title) {
  dat_map(x, y, z, log_option.value_or(0), xlabel, ylabel, title.value_or(default_title), file);
}

}  // namespace

void dat_map_r8(VecView<double> x, VecView<double> y, VecView<double> z,
                std::optional<int> log_option, OptText xlabel, OptText ylabel, OptText title,
                OptText file) try {
  call_base(maparg::to_vector<float>(x), maparg::to_vector<float>(y), maparg::to_vector<float>(z),
            log_option, xlabel, ylabel, title, file, kDefaultTitleR8);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

void dat_map_2d(VecView<float> x, VecView<float> y, maparg::MatView<float> z,
                std::optional<int> log_option, OptText xlabel, OptText ylabel, OptText title,
                OptText file) try {
  call_base(x, y, maparg::pack<float>(z), log_option, xlabel, ylabel, title, file,
            maparg::kDefaultTitle);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

void dat_map_2d_r8(VecView<double> x, VecView<double> y, maparg::MatView<double> z,
                   std::optional<int> log_option, OptText xlabel, OptText ylabel, OptText title,
                   OptText file) try {
  call_base(maparg::to_vector<float>(x), maparg::to_vector<float>(y), maparg::pack<float>(z),
            log_option, xlabel, ylabel, title, file, maparg::kDefaultTitle);
} catch (...) {
  rtl::fatal_if_out_of_memory();
}

}  // namespace mapdata
