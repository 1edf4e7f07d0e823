#include "python/map_options.h"

namespace pymapplot {

std::vector<std::string> map_keywords(std::initializer_list<const char*> own) {
  std::vector<std::string> keywords = {"log", "xlabel", "ylabel", "title"};
  keywords.insert(keywords.end(), own.begin(), own.end());
  for (const char* shared :
       {"palette", "zmin", "zmax", "nan_colour", "under", "over", "zcentre", "zlabel",
        "contours", "contour_colour", "contour_labels"})
    keywords.emplace_back(shared);
  return keywords;
}

}  // namespace pymapplot
