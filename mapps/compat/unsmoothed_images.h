#pragma once
// cairo 1.16 asks viewers to smooth every image it writes (PostScript and
// PDF: "/Interpolate true"), and giza 1.3.2 sets no filter of its own; cells
// must keep one colour each. A giza that draws images with cairo's nearest
// filter (giza 1.5 does) and writes them unsmoothed would let this go.

#include <string>

#include "mapps/pgplot/plot_images.h"

namespace mapps {

// Clears the mark by which cairo asks PostScript and PDF viewers to smooth
// each image of the finished `file`, in place. Returns 0, or the errno of a
// failure.
int clear_image_smoothing(const std::string& file);

// Asks SVG viewers to show every image of the finished SVG `file` unsmoothed,
// in place: the image-rendering property "pixelated" goes on the document's
// root, whose images inherit it. The XML declaration cairo writes first only
// restates the defaults (version 1.0, UTF-8): its bytes make room for the
// property, so the file keeps its length and nothing after the root's start
// tag moves. A file that does not begin as cairo writes it is left as it is.
// Returns 0, or the errno of a failure.
int ask_for_unsmoothed_images(const std::string& file);

// Keeps the images of the finished `file` unsmoothed as its devices need
// (`cells`): clear_image_smoothing for images drawn as given,
// ask_for_unsmoothed_images for images in blocks, nothing for images on the
// device's pixels. Returns 0, or the errno of a failure.
int keep_images_unsmoothed(const std::string& file, ImageCells cells);

}  // namespace mapps
