#pragma once
// The five text fields of the PostScript map, shared by ps_map and its
// argument forms: 80 characters each, the default for an absent text, the
// labels without their leading blanks, the other texts as given. Labels and
// title are cut to 80 characters; file name and device type are never cut.
// Preparing fields that were already prepared gives them back unchanged.

#include <string>

#include "maparg/text_fields.h"

namespace mapps {

struct PsTextFields {
  std::string xlabel;  // "x"
  std::string ylabel;  // "y"
  std::string title;   // "Representation of z=z(x,y)"
  std::string file;    // "Map.ps"
  std::string device;  // "ps"
};

PsTextFields ps_text_fields(maparg::OptText xlabel, maparg::OptText ylabel,
                            maparg::OptText title, maparg::OptText file, maparg::OptText device);

}  // namespace mapps
