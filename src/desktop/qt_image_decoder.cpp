#include "desktop/qt_image_decoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <bit>
#include <cstring>

#include "core/pane/picture.h"

namespace qel {
namespace {

static_assert(std::endian::native == std::endian::little, "pictures are kept as the bytes of ARGB32 words");

bool SameBytesAsPicture(QImage::Format format) {
  // One 32-bit word per pixel, which on a little-endian machine is exactly
  // the bytes blue, green, red, alpha (RGB32's alpha byte is always 0xFF).
  return format == QImage::Format_ARGB32 || format == QImage::Format_RGB32;
}

std::optional<Picture> ReadFirstFrame(QImageReader& reader) {
  // A phone's photo stands the way its EXIF orientation says, wherever it
  // is shown or captured.
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  // A picture that announces a size beyond the bound is not decoded at all:
  // a cover claiming a huge size would otherwise cost gigabytes.
  if (size.isValid() && !PictureSizeAllowed(size.width(), size.height())) return std::nullopt;
  const QImage::Format format = reader.imageFormat();
  const bool turned = reader.transformation() != QImageIOHandler::TransformationNone;
  if (size.isValid() && SameBytesAsPicture(format) && !turned) {
    // Decoded straight into the picture's own pixels: a large cover is not
    // copied once more.
    Picture p;
    p.width = size.width();
    p.height = size.height();
    p.pixels.resize(size_t(p.width) * size_t(p.height) * 4);
    QImage target(p.pixels.data(), p.width, p.height, p.width * 4, format);
    if (!reader.read(&target)) return std::nullopt;
    if (target.constBits() == p.pixels.data() && target.format() == format) return p;
    return QtImageDecoder::ToPicture(target);
  }
  QImage image;
  if (!reader.read(&image)) return std::nullopt;
  return QtImageDecoder::ToPicture(image);
}

}  // namespace

std::optional<Picture> QtImageDecoder::ToPicture(const QImage& image) {
  if (image.isNull() || !PictureSizeAllowed(image.width(), image.height())) return std::nullopt;
  const QImage argb = SameBytesAsPicture(image.format()) ? image : image.convertToFormat(QImage::Format_ARGB32);
  if (argb.isNull()) return std::nullopt;
  Picture p;
  p.width = argb.width();
  p.height = argb.height();
  const size_t row = size_t(p.width) * 4;
  p.pixels.resize(row * size_t(p.height));
  for (int y = 0; y < p.height; ++y) std::memcpy(p.pixels.data() + row * size_t(y), argb.constScanLine(y), row);
  return p;
}

std::optional<Picture> QtImageDecoder::DecodeImageMemory(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return std::nullopt;
  QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::ReadOnly)) return std::nullopt;
  QImageReader reader(&buffer);
  return ReadFirstFrame(reader);
}

}  // namespace qel
