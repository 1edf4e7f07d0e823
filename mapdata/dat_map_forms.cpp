// The argument forms of the data export: each converts its arrays to single
// precision and a flat z, prepares its text fields, and calls dat_map.

#include <string>

#include "maparg/convert.h"
#include "mapdata/dat_map.h"

namespace mapdata {
namespace {

using maparg::OptText;
using maparg::Reduce;
using maparg::text_field;
using maparg::VecView;

// Calls dat_map with the converted arrays and every optional argument present.
void call_base(VecView<float> x, VecView<float> y, VecView<float> z, std::optional<int> log_option,
               OptText xlabel, OptText ylabel, OptText title, OptText file,
               std::string_view default_title) {
  const std::string xfield = text_field(xlabel, maparg::kDefaultXLabel, Reduce::leading);
  const std::string yfield = text_field(ylabel, maparg::kDefaultYLabel, Reduce::leading);
  const std::string tfield = text_field(title, default_title, Reduce::none);
  const std::string ffield = text_field(file, kDefaultFileName, Reduce::none);
  dat_map(x, y, z, log_option.value_or(0), xfield, yfield, tfield, ffield);
}

}  // namespace

void dat_map_r8(VecView<double> x, VecView<double> y, VecView<double> z,
                std::optional<int> log_option, OptText xlabel, OptText ylabel, OptText title,
                OptText file) {
  call_base(maparg::to_vector<float>(x), maparg::to_vector<float>(y), maparg::to_vector<float>(z),
            log_option, xlabel, ylabel, title, file, kDefaultTitleR8);
}

void dat_map_2d(VecView<float> x, VecView<float> y, maparg::MatView<float> z,
                std::optional<int> log_option, OptText xlabel, OptText ylabel, OptText title,
                OptText file) {
  call_base(x, y, maparg::pack<float>(z), log_option, xlabel, ylabel, title, file,
            maparg::kDefaultTitle);
}

void dat_map_2d_r8(VecView<double> x, VecView<double> y, maparg::MatView<double> z,
                   std::optional<int> log_option, OptText xlabel, OptText ylabel, OptText title,
                   OptText file) {
  call_base(maparg::to_vector<float>(x), maparg::to_vector<float>(y), maparg::pack<float>(z),
            log_option, xlabel, ylabel, title, file, maparg::kDefaultTitle);
}

}  // namespace mapdata
