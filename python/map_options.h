#pragma once
// The keyword options of the two maps, read from a call once.
//
// What both maps take is listed, read and handed to their options structs
// here alone: a named option of both maps is added in this file (its keyword
// in the list, its reading in MapOptions, its member in apply), in
// docstrings.h and in the stubs (mapplot-stubs/__init__.pyi).

#include <initializer_list>
#include <string>
#include <vector>

#include "python/values.h"

namespace pymapplot {

// The keywords of a map: log and the texts, the map's own ones (`own`), then
// the colours and the later options of both maps.
std::vector<std::string> map_keywords(std::initializer_list<const char*> own);

// The options of both maps in a call, owned for its duration: the texts and
// the colours are read when it is made, the truth values by apply.
class MapOptions {
 public:
  explicit MapOptions(const MapCall& call)
      : texts_(pymapplot::texts(call)),
        colours_(call),
        contours_(call.option("contours")),
        contour_colour_(colour_option(call.option("contour_colour"), "contour_colour")) {}

  // Sets the members of both maps' options structs (mapscreen::ScreenMapOptions,
  // mapps::PsMapOptions) to the call's options, viewing this object's storage.
  template <class Options>
  void apply(const MapCall& call, Options& o) const {
    o.log = int_option(call.option("log"), "log");
    o.xlabel = view_of(texts_.xlabel);
    o.ylabel = view_of(texts_.ylabel);
    o.title = view_of(texts_.title);
    o.palette = colours_.palette();
    o.zmin = colours_.zmin();
    o.zmax = colours_.zmax();
    o.nan_colour = colours_.nan_colour();
    o.under = colours_.under();
    o.over = colours_.over();
    o.zcentre = colours_.zcentre();
    o.zlabel = view_of(texts_.zlabel);
    o.contours = contours_.view();
    o.contour_colour = contour_colour_;
    o.contour_labels = int_option(call.option("contour_labels"), "contour_labels");
  }

  const Texts& texts() const { return texts_; }

 private:
  Texts texts_;
  Colours colours_;
  ContourOption contours_;
  maparg::OptColour contour_colour_;
};

}  // namespace pymapplot
