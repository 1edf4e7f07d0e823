#pragma once
// Images drawn through giza on the open device with each cell in one colour,
// as PGPLOT draws them. giza draws an image as a cairo pattern that cairo
// smooths between the centres of neighbouring cells, so that a map would show
// values its data does not hold.

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace mapps {

// How a device gets images with each cell in one colour.
enum class ImageCells {
  // Drawn as they are: the finished file asks its viewers not to smooth them
  // (PostScript and PDF, see plot_file.h).
  kAsGiven,
  // Smoothed by cairo itself as it draws (PNG): drawn as an image of the
  // device's own pixels, each the colour of the cell under its centre.
  kDevicePixels,
  // Smoothed by viewers that take no request not to (SVG: librsvg 2.54
  // draws every image smoothed, whatever its image-rendering property says,
  // on the image, its reference or any group around them): each cell drawn
  // as a block of equal cells, so that the smoothing stays within a sliver
  // narrower than a pixel at each cell's edge; an image of few cells, whose
  // blocks would be large, drawn as one image a cell instead, each of one
  // colour whatever the smoothing.
  kBlocks,
};

// The cells of an image: ni x nj values, first index fastest, rows `row`
// apart, cell (1, 1) at `a`; cell (i, j) centred at world coordinates
// (tr[0] + tr[1]*i + tr[2]*j, tr[3] + tr[4]*i + tr[5]*j); a1 drawn in the
// first colour, a2 in the last.
struct Image {
  const float* a;
  std::size_t row;
  int ni, nj;
  float a1, a2;
  std::array<float, 6> tr;
};

// The cells of an image held elsewhere (a field spread over processes):
// given the columns and the rows (from 0) that the device's pixels sample,
// the values of those cells, columns fastest. An image drawn on a device of
// pixels (ImageCells::kDevicePixels) with no cells of its own (Image::a
// null, its cells running along the device's axes) takes them from the
// source set on its thread, which it then clears; the source is asked once,
// for at most one cell a pixel.
using CellSource = std::function<std::vector<float>(const std::vector<std::size_t>& columns,
                                                    const std::vector<std::size_t>& rows)>;
void set_cell_source(CellSource source);  // an empty one clears it
bool has_cell_source();

// What the images drawn on the open device's page leave for its end.
struct PageImages {
  // An image was drawn in blocks of more than one row or column to a cell.
  bool rows_repeat = false;
  // The cells of the largest image handed to giza.
  std::size_t largest = 0;
};

// Throws std::bad_alloc unless the storage cairo takes to finish the page
// can be had: called before end_device, while the page can still be
// abandoned.
void reserve_page_end(const PageImages& page);

// Closes the open device (cpgend) whose images get their cells as `cells`
// says; when an image was drawn in blocks of repeated rows and columns, the
// pictures cairo embeds for them are written quickly (embedded_pictures.h).
void end_device(ImageCells cells, const PageImages& page);

// PGRECT, filled: on a device of pixels its edges are moved to the pixel
// boundaries an image's cells take there, so that rectangles that meet leave
// no seam of half-covered pixels between them.
void draw_rectangle(float x1, float x2, float y1, float y2, ImageCells cells);

// PGIMAG of `image` in the current viewport and window, as `cells` says,
// noted in `page`. Throws std::bad_alloc, before anything is drawn, when
// the storage giza takes for it cannot be had.
void draw_image(const Image& image, ImageCells cells, PageImages& page);

// PGWEDG as giza places it (the same frame, numbers and label), its 400
// steps drawn through draw_image. giza's own wedge is an image that cairo's
// PostScript surface pads to 3 cells wide or not, depending on the process's
// memory layout: the same plot would not always make the same file.
// A range giza's window cannot hold (shorter than 1e-31, or longer than the
// largest float) is drawn in units of a power of ten, noted "x10^p" above a
// wedge at the side (right of one above or below), so its numbers stay
// readable; every other range is drawn in its own units.
//
// `ends` adds a triangle beyond either end of the wedge, pointing away from
// it and as high as the wedge is wide, filled in its colour index and
// outlined in the colour current at the call (the wedge's frame's).
struct WedgeEnds {
  int low_ci = -1;   // at the low end (bottom or left); negative: none
  int high_ci = -1;  // at the high end
};
void draw_wedge(const std::string& side, float disp, float width, float fg, float bg,
                const std::string& label, ImageCells cells, PageImages& page,
                WedgeEnds ends = {});

}  // namespace mapps
