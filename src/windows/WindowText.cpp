#include "WindowText.h"

#include <QStringDecoder>
#include <array>

namespace WindowText {

QString FromBytes(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (!utf8.hasError()) return text;
  // windows-1252: Latin-1 but for 0x80-0x9F.
  static constexpr std::array<char16_t, 32> kHigh = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  text.clear();
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text += (b >= 0x80 && b < 0xA0) ? QChar(kHigh.at(b - 0x80)) : QChar(b);
  }
  return text;
}

std::string ToBytes(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace WindowText
