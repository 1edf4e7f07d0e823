#pragma once
// The pictures cairo embeds in an SVG file are PNG pictures that libcairo
// writes through libpng at libpng's defaults: each row tried with every one of
// PNG's filters, then compressed at zlib's level 6. The images of an SVG map
// are cells drawn as blocks of equal rows and columns (plot_images.h), and
// writing them that way costs as much as all the rest of the map. With the
// Up filter alone (a row that repeats the one above becomes zeros) at level 3
// a 121 x 121 map is written in about a third of that time and its file is a
// tenth larger. The pixels are the same: PNG loses nothing either way.
// cairo 1.16 offers no setting for this. It goes with the blocks themselves:
// once the SVG renderers honour image-rendering "pixelated" (librsvg newer
// than 2.54 does), SVG images can be drawn as given.

namespace mapps {

// While `on`, the PNG pictures libcairo writes on the calling thread take the
// Up filter at zlib's level 3; otherwise libpng's defaults, so that the files
// of the PNG devices keep their bytes. Returns whether libcairo's writes can
// be reached (library_imports.h); where they cannot, nothing changes.
bool write_embedded_pictures_quickly(bool on);

// write_embedded_pictures_quickly(on) for the life of the object.
class PicturesWrittenQuickly {
 public:
  explicit PicturesWrittenQuickly(bool on) { write_embedded_pictures_quickly(on); }
  ~PicturesWrittenQuickly() { write_embedded_pictures_quickly(false); }
  PicturesWrittenQuickly(const PicturesWrittenQuickly&) = delete;
  PicturesWrittenQuickly& operator=(const PicturesWrittenQuickly&) = delete;
};

}  // namespace mapps
