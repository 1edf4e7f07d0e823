// The finished file's images kept unsmoothed (see unsmoothed_images.h).

#include "mapps/compat/unsmoothed_images.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace mapps {

// Clears the mark by which cairo asks PostScript and PDF viewers to smooth
// each image (an image dictionary's "/Interpolate true" entry, indented by
// blanks, which no other part of these files holds) in place: the blank
// before it is taken for the longer "false", so no byte moves and a PDF's
// table of object offsets stays right. Returns 0, or the errno of a failure.
int clear_image_smoothing(const std::string& file) {
  static constexpr std::string_view kSmoothed = " /Interpolate true";
  static constexpr std::string_view kUniform = "/Interpolate false";
  static_assert(kSmoothed.size() == kUniform.size());
  const int fd = open(file.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return errno;
  std::vector<char> buffer(std::size_t{1} << 20);
  const std::size_t keep = kSmoothed.size() - 1;  // of one block for a mark across two
  std::size_t kept = 0;
  off_t at = 0;  // of buffer[0] in the file
  int error = 0;
  for (;;) {
    const ssize_t n = pread(fd, buffer.data() + kept, buffer.size() - kept,
                            at + static_cast<off_t>(kept));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    const std::string_view text(buffer.data(), kept + static_cast<std::size_t>(n));
    for (auto k = text.find(kSmoothed); k != std::string_view::npos && error == 0;
         k = text.find(kSmoothed, k + kSmoothed.size())) {
      if (pwrite(fd, kUniform.data(), kUniform.size(), at + static_cast<off_t>(k)) !=
          static_cast<ssize_t>(kUniform.size()))
        error = errno != 0 ? errno : EIO;
    }
    if (error != 0) break;
    kept = std::min(keep, text.size());
    std::memmove(buffer.data(), text.data() + text.size() - kept, kept);
    at += static_cast<off_t>(text.size() - kept);
  }
  if (close(fd) != 0 && error == 0) error = errno;
  return error;
}

int ask_for_unsmoothed_images(const std::string& file) {
  static constexpr std::string_view kDeclaration =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  static constexpr std::string_view kRoot = "<svg ";
  static constexpr std::string_view kProperty = "<svg style=\"image-rendering:pixelated\" ";
  static_assert(kProperty.size() <= kDeclaration.size() + kRoot.size());
  const int fd = open(file.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return errno;
  // The declaration and the root's start tag, which cairo writes in a few
  // hundred bytes.
  std::string head(1024, '\0');
  ssize_t n;
  do {
    n = pread(fd, head.data(), head.size(), 0);
  } while (n < 0 && errno == EINTR);
  int error = n < 0 ? errno : 0;
  head.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
  const std::size_t root = kDeclaration.size();
  const std::size_t end = head.find('>', root);
  const bool as_cairo_writes = head.starts_with(kDeclaration) &&
                               head.compare(root, kRoot.size(), kRoot) == 0 &&
                               end != std::string::npos;
  if (error == 0 && as_cairo_writes) {
    // The root's attributes, then blanks (allowed before its ">") for the
    // bytes the property leaves over.
    std::string tag(kProperty);
    tag.append(head, root + kRoot.size(), end - root - kRoot.size());
    tag.append(end - tag.size(), ' ');
    tag += '>';
    if (pwrite(fd, tag.data(), tag.size(), 0) != static_cast<ssize_t>(tag.size()))
      error = errno != 0 ? errno : EIO;
  }
  if (close(fd) != 0 && error == 0) error = errno;
  return error;
}

int keep_images_unsmoothed(const std::string& file, ImageCells cells) {
  switch (cells) {
    case ImageCells::kAsGiven:
      return clear_image_smoothing(file);
    case ImageCells::kBlocks:
      return ask_for_unsmoothed_images(file);
    case ImageCells::kDevicePixels:
      return 0;
  }
  return 0;
}

}  // namespace mapps
