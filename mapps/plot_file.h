#pragma once
// The file a PostScript map device writes: where giza is told to write it,
// and the checks and repairs of the finished file before it is put in place.

#include <string>
#include <string_view>

#include "mapps/plot_images.h"

namespace mapps {

// The folder of `path`: "." for a bare name, "/" for a file in the root.
std::string folder_of(const std::string& path);

// The name by which giza reaches a file. giza keeps the file name of a device
// in a buffer of 256 bytes and cuts a longer one (its "device name exceeds
// maximum string length"): a longer path is handed to it through an open
// descriptor of its folder, /proc/self/fd/<n>/<name>, which reaches the same
// file. The descriptor is closed with the object.
class GizaFileName {
 public:
  GizaFileName() = default;
  GizaFileName(const GizaFileName&) = delete;
  GizaFileName& operator=(const GizaFileName&) = delete;
  ~GizaFileName() { close(); }

  // The name for `file` (whose own name within its folder is short); "" with
  // errno set when its folder cannot be opened.
  std::string open(const std::string& file);
  void close();

 private:
  int folder_ = -1;
};

// Whether `file` is a whole file of its kind: every file giza finishes ends
// in the same bytes (`ending`: the end-of-file comment of PostScript and PDF,
// PNG's end chunk, SVG's closing tag); one that a failed write cut short
// does not.
bool is_complete(const std::string& file, std::string_view ending);

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

// Whether a write of the drawn file failed, and why as far as it shows
// afterwards (an errno value): the file system is full, or the process's file
// size limit was reached; -1 when giza's `messages` report a failed write
// without either; 0 when nothing tells of a failed write.
int write_error(const std::string& file, const std::string& messages);

// giza's `messages` about the file it was given as `drawn`, naming `target`
// instead.
std::string about_target(std::string messages, const std::string& drawn,
                         const std::string& target);

}  // namespace mapps
