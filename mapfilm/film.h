#pragma once
// Films: a sequence of pictures of one size written as a movie file, through
// FFmpeg's libraries and giflib, never by starting a program.
//
// The kind of film is chosen by the file name's ending, in either case:
//   .mp4   H.264 in MP4, pixel format yuv420p (what every common player
//          takes). H.264 in yuv420p needs even sizes: a picture of an odd
//          width or height is padded by repeating its last column or row, so
//          the film is one pixel wider or higher.
//   .gif   an animated GIF that loops without end. A picture of at most 256
//          colours keeps every pixel exactly (its own colour table); one of
//          more colours is reduced to 256 by giflib's median cut
//          (GifQuantizeBuffer), each pixel taking the colour of its box.
//          Frame delays are in hundredths of a second, rounded so that frame
//          k starts at round(100 k / fps).
//   .webm  VP9 in WebM, yuv420p, padded as for .mp4.
// Video pixels are BT.601 in the limited range (as players take yuv420p
// without other tags): Y of each pixel, U and V of each 2 x 2 block's mean.
//
// The film is written under a temporary name beside its target and renamed
// over the target only by close() (rtl/safe_file.h): a film that is not
// closed (an error, a destroyed Film, the program ending on a signal) leaves
// no file and any earlier file of that name as it was. Every failure is the
// module's fatal error (rtl/fatal.h): an ending of no film kind, a size or
// rate out of range, a file that cannot be opened or written ("File
// zoom.mp4: cannot write: No space left on device").
//
// While a Film is open and not yet closed, the program's end through exit()
// or a fatal error report closes it first (rtl::EndingWork), so the film
// keeps every frame added before; a signal that ends the program leaves none.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace rtl {
class EndingWork;
}

namespace mapfilm {

struct Pixels;

enum class Kind { kMp4, kGif, kWebm };

// The film kind of a file name's ending, either case; none for other names.
std::optional<Kind> kind_of(std::string_view path);

// The largest width and height of a film, and the range of its rate.
inline constexpr int kMaxSide = 16384;
inline constexpr double kMinFps = 0.01;
inline constexpr double kMaxFps = 1000;

class Film {
 public:
  // Opens the film `path` of pictures `width` x `height` (1 .. kMaxSide
  // each) shown `fps` a second (kMinFps .. kMaxFps); fatal when any of
  // them cannot be used or the temporary file cannot be created.
  Film(std::string path, double fps, int width, int height);
  // A film not closed is removed.
  ~Film();
  Film(const Film&) = delete;
  Film& operator=(const Film&) = delete;

  // Adds a picture of width x height pixels given row by row from the top,
  // each pixel three bytes red, green, blue, each row `row_bytes` after the
  // one before (>= 3 * width).
  void add_rgb(const std::uint8_t* rgb, std::int64_t row_bytes);
  // Adds a picture of width x height pixels as 0xRRGGBB values, row by row.
  void add_pixels(const std::uint32_t* pixels);

  // Finishes the film and renames it over the target; fatal on failure (the
  // target then unchanged). After it the Film takes no more pictures; a second
  // close() does nothing.
  void close();

  const std::string& path() const { return path_; }
  Kind kind() const { return kind_; }
  int width() const { return width_; }
  int height() const { return height_; }
  double fps() const { return fps_; }
  int frames() const { return frames_; }
  bool closed() const { return writer_ == nullptr; }

  class Writer;

 private:
  // Closes the film when the program ends before close() (rtl::EndingWork).
  void close_at_end();
  void add(const Pixels& picture);

  std::string path_;
  Kind kind_;
  int width_;
  int height_;
  double fps_;
  int frames_ = 0;
  std::unique_ptr<Writer> writer_;
  std::unique_ptr<rtl::EndingWork> ending_;
};

}  // namespace mapfilm
