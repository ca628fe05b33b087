#include "desktop/qt_image_decoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <cstring>

namespace qel {
namespace {

// Pictures larger than this are refused before decoding: a cover that claims
// a huge size would otherwise cost gigabytes.
constexpr int kMaxSide = 16384;

std::optional<Picture> ReadFirstFrame(QImageReader& reader) {
  reader.setAutoTransform(false);
  QSize size = reader.size();
  if (size.isValid() && (size.width() > kMaxSide || size.height() > kMaxSide)) return std::nullopt;
  QImage image;
  if (!reader.read(&image)) return std::nullopt;
  return QtImageDecoder::ToPicture(image);
}

}  // namespace

std::optional<Picture> QtImageDecoder::ToPicture(const QImage& image) {
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) return std::nullopt;
  // ARGB32 (not premultiplied) is stored as one 32-bit word per pixel, which
  // on a little-endian machine is exactly the bytes blue, green, red, alpha.
  QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  if (argb.isNull()) return std::nullopt;
  Picture p;
  p.width = argb.width();
  p.height = argb.height();
  const size_t row = size_t(p.width) * 4;
  p.pixels.resize(row * size_t(p.height));
  for (int y = 0; y < p.height; ++y) {
    const uchar* line = argb.constScanLine(y);
    uint8_t* out = p.pixels.data() + row * size_t(y);
    for (int x = 0; x < p.width; ++x) {
      uint32_t v;
      std::memcpy(&v, line + size_t(x) * 4, 4);
      out[x * 4 + 0] = uint8_t(v);
      out[x * 4 + 1] = uint8_t(v >> 8);
      out[x * 4 + 2] = uint8_t(v >> 16);
      out[x * 4 + 3] = uint8_t(v >> 24);
    }
  }
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

std::optional<Picture> QtImageDecoder::DecodeImageFile(const std::string& path) {
  QImageReader reader(QString::fromStdString(path));
  return ReadFirstFrame(reader);
}

}  // namespace qel
