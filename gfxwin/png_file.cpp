#include "gfxwin/png_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

namespace gfxwin {

std::string png_file_bytes(const std::uint8_t* rgb, int width, int height,
                           std::int64_t row_bytes) {
  // Qt's own PNG writer (built into QtGui, no plugin) over the caller's rows:
  // the image only borrows them for the write.
  const QImage image(rgb, width, height, static_cast<qsizetype>(row_bytes), QImage::Format_RGB888);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (image.isNull() || !writer.write(image)) return {};
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace gfxwin
