#include "MailText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

namespace MailText {
namespace {

constexpr std::size_t kEncodedWordMax = 75;
constexpr std::size_t kFoldAt = 76;

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Length of the UTF-8 sequence starting at text[i], 0 when it is not valid.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1FU;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0FU;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07U;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0U) != 0x80U) return 0;
    code = (code << 6U) | (next & 0x3FU);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  return length;
}

constexpr char kHex[] = "0123456789ABCDEF";
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Base64 without line breaks; `out` has room for 4 per 3 bytes, rounded up.
char* Base64Run(const unsigned char* in, std::size_t size, char* out) {
  std::size_t i = 0;
  for (; i + 2 < size; i += 3) {
    const std::uint32_t n =
        (std::uint32_t{in[i]} << 16U) | (std::uint32_t{in[i + 1]} << 8U) | std::uint32_t{in[i + 2]};
    out[0] = kAlphabet[(n >> 18U) & 63U];
    out[1] = kAlphabet[(n >> 12U) & 63U];
    out[2] = kAlphabet[(n >> 6U) & 63U];
    out[3] = kAlphabet[n & 63U];
    out += 4;
  }
  if (i < size) {
    std::uint32_t n = std::uint32_t{in[i]} << 16U;
    if (i + 1 < size) n |= std::uint32_t{in[i + 1]} << 8U;
    out[0] = kAlphabet[(n >> 18U) & 63U];
    out[1] = kAlphabet[(n >> 12U) & 63U];
    out[2] = i + 1 < size ? kAlphabet[(n >> 6U) & 63U] : '=';
    out[3] = '=';
    out += 4;
  }
  return out;
}

std::string Base64(std::string_view bytes) {
  std::string out((bytes.size() + 2) / 3 * 4, '\0');
  Base64Run(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data());
  return out;
}

std::string FoldAscii(std::string_view text, std::size_t used) {
  std::string out;
  std::size_t lineLength = used;
  std::size_t start = 0;
  while (start < text.size()) {
    auto space = text.find(' ', start + 1);
    if (space == std::string_view::npos) space = text.size();
    const auto word = text.substr(start, space - start);  // begins with its space, but the first
    if (lineLength + word.size() > kFoldAt && !out.empty() && word.front() == ' ') {
      out += "\r\n";
      lineLength = 0;
    }
    out += word;
    lineLength += word.size();
    start = space;
  }
  return out;
}

}  // namespace

Charset DetectCharset(std::string_view text) {
  if (IsAscii(text)) return Charset::Ascii;
  for (std::size_t i = 0; i < text.size();) {
    const auto length = Utf8SequenceLength(text, i);
    if (length == 0) return Charset::Windows1252;
    i += length;
  }
  return Charset::Utf8;
}

std::string_view CharsetName(Charset charset) {
  switch (charset) {
    case Charset::Ascii:
      return "us-ascii";
    case Charset::Utf8:
      return "utf-8";
    case Charset::Windows1252:
      break;
  }
  return "windows-1252";
}

bool SameLetters(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string SizeText(std::uint64_t bytes) {
  std::array<char, 32> buffer{};
  if (bytes < 1024) {
    (void)std::snprintf(buffer.data(), buffer.size(), "%llu bytes",
                        static_cast<unsigned long long>(bytes));
  } else if (bytes < std::uint64_t{1024} * 1024) {
    (void)std::snprintf(buffer.data(), buffer.size(), "%.1f KB",
                        static_cast<double>(bytes) / 1024.0);
  } else {
    (void)std::snprintf(buffer.data(), buffer.size(), "%.1f MB",
                        static_cast<double>(bytes) / (1024.0 * 1024.0));
  }
  return buffer.data();
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string NormalizeLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

bool HasOverlongLine(std::string_view crlfText) {
  std::size_t start = 0;
  while (start <= crlfText.size()) {
    auto end = crlfText.find("\r\n", start);
    if (end == std::string_view::npos) end = crlfText.size();
    if (end - start > 998) return true;
    start = end + 2;
  }
  return false;
}

std::string EncodeHeaderValue(std::string_view text, std::size_t used) {
  const Charset charset = DetectCharset(text);
  if (charset == Charset::Ascii) {
    std::string folded = FoldAscii(text, used);
    if (!HasOverlongLine(std::string(used, ' ') + folded)) return folded;
    // A word too long for any line: encoded words may break it anywhere.
  }
  const std::string prefix = "=?" +
                             std::string(charset == Charset::Utf8          ? "UTF-8"
                                         : charset == Charset::Windows1252 ? "windows-1252"
                                                                           : "us-ascii") +
                             "?B?";
  constexpr std::size_t kLongestSequence = 4;
  std::string out;
  std::size_t lineLength = used;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t separator = out.empty() ? 0 : 1;
    // Room for base64 on this line: 4 characters per 3 bytes.
    auto bytesFitting = [&](std::size_t length) {
      const std::size_t room =
          std::min(kEncodedWordMax, kFoldAt - std::min(kFoldAt, length + separator));
      return room > prefix.size() + 2 ? (room - prefix.size() - 2) / 4 * 3 : 0;
    };
    if (bytesFitting(lineLength) < kLongestSequence && lineLength > 0) {
      out += "\r\n";
      lineLength = 0;
    }
    const std::size_t maxBytes = bytesFitting(lineLength);
    std::size_t take = 0;
    while (i + take < text.size()) {
      const std::size_t length = charset == Charset::Utf8 ? Utf8SequenceLength(text, i + take) : 1;
      if (take + length > maxBytes) break;
      take += length;
    }
    const std::string word = prefix + Base64(text.substr(i, take)) + "?=";
    if (!out.empty()) {
      out += ' ';
      ++lineLength;
    }
    out += word;
    lineLength += word.size();
    i += take;
  }
  return out;
}

bool NeedsEncoding(std::string_view crlfText) {
  for (const char c : crlfText) {
    if (c == '\0' || static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return HasOverlongLine(crlfText);
}

std::string QuotedPrintable(std::string_view crlfText) {
  std::string out;
  out.reserve(crlfText.size() + crlfText.size() / 8);
  std::size_t start = 0;
  for (;;) {
    auto end = crlfText.find("\r\n", start);
    const auto line = crlfText.substr(start, end == std::string_view::npos ? end : end - start);
    std::size_t length = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const auto b = static_cast<unsigned char>(line[i]);
      const bool blank = b == ' ' || b == '\t';
      const bool literal = (b >= 33 && b <= 126 && b != '=') || (blank && i + 1 < line.size());
      const std::size_t width = literal ? 1 : 3;
      if (length + width > kFoldAt - 1) {  // room for the "=" of a soft break
        out += "=\r\n";
        length = 0;
      }
      if (literal) {
        out += static_cast<char>(b);
      } else {
        out += '=';
        out += kHex[b >> 4U];
        out += kHex[b & 15U];
      }
      length += width;
    }
    if (end == std::string_view::npos) break;
    out += "\r\n";
    start = end + 2;
  }
  return out;
}

std::size_t Base64LinesSize(std::size_t size) {
  const std::size_t chars = (size + 2) / 3 * 4;
  return chars + (chars + 75) / 76 * 2;
}

std::size_t Base64Lines(const unsigned char* in, std::size_t size, char* out) {
  char* const begin = out;
  for (std::size_t i = 0; i < size; i += kBase64LineInput) {
    out = Base64Run(in + i, std::min(kBase64LineInput, size - i), out);
    out[0] = '\r';
    out[1] = '\n';
    out += 2;
  }
  return static_cast<std::size_t>(out - begin);
}

namespace {
// A quoted string without its quotes: " and \ escaped.
std::string QuotedPairs(std::string_view text) {
  std::string quoted;
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted;
}
}  // namespace

std::string DisplayName(std::string_view name) {
  if (DetectCharset(name) != Charset::Ascii || name.size() > 200) {
    return EncodeHeaderValue(name, 6);
  }
  return '"' + QuotedPairs(name) + '"';
}

std::string AttachmentHeaders(std::string_view fileName) {
  const Charset charset = DetectCharset(fileName);
  if (charset == Charset::Ascii) {
    const std::string quoted = QuotedPairs(fileName);
    return "Content-Type: application/octet-stream;\r\n name=\"" + quoted +
           "\"\r\nContent-Disposition: attachment;\r\n filename=\"" + quoted +
           "\"\r\nContent-Transfer-Encoding: base64\r\n";
  }
  // Older readers know only the encoded-word name=, on one line.
  std::string words = EncodeHeaderValue(fileName, 0);
  for (auto at = words.find("\r\n"); at != std::string::npos; at = words.find("\r\n"))
    words.erase(at, 2);
  static constexpr std::string_view kAttrChars = "!#$&+-.^_`|~";
  std::vector<std::string> pieces(1);
  for (const char c : fileName) {
    const auto b = static_cast<unsigned char>(c);
    std::string piece;
    if ((b < 0x80 && std::isalnum(b) != 0) || kAttrChars.find(c) != std::string_view::npos) {
      piece = std::string(1, c);
    } else {
      piece = {'%', kHex[b >> 4U], kHex[b & 15U]};
    }
    if (pieces.back().size() + piece.size() > 60) pieces.emplace_back();
    pieces.back() += piece;
  }
  const std::string charsetTag = charset == Charset::Utf8 ? "UTF-8''" : "windows-1252''";
  std::string disposition = "Content-Disposition: attachment";
  if (pieces.size() == 1) {
    disposition += ";\r\n filename*=" + charsetTag + pieces.front();
  } else {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      disposition += ";\r\n filename*" + std::to_string(i) +
                     "*=" + (i == 0 ? charsetTag : std::string()) + pieces[i];
    }
  }
  return "Content-Type: application/octet-stream;\r\n name=\"" + words + "\"\r\n" + disposition +
         "\r\nContent-Transfer-Encoding: base64\r\n";
}

std::string CleanServerText(std::string_view text) {
  const bool utf8 = DetectCharset(text) == Charset::Utf8;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == '\t') {
      out += ' ';
      continue;
    }
    if (b == 0x1B && i + 1 < text.size()) {
      // A whole escape sequence goes, not just its first byte: CSI up to
      // its final byte, OSC up to BEL or ST, others with their one byte.
      const char kind = text[++i];
      if (kind == '[') {
        while (i + 1 < text.size() && (text[i + 1] < 0x40 || text[i + 1] > 0x7E)) ++i;
        ++i;
      } else if (kind == ']') {
        while (i + 1 < text.size() && text[i + 1] != '\a' && text[i + 1] != 0x1B) ++i;
        ++i;
        if (i < text.size() && text[i] == 0x1B) ++i;  // ESC \ ends it too
      }
      continue;
    }
    if (b < 0x20 || b == 0x7F) continue;
    // C1 controls: U+0080 to U+009F in UTF-8, the raw bytes otherwise.
    if (utf8 && b == 0xC2 && i + 1 < text.size() &&
        static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      ++i;
      continue;
    }
    if (!utf8 && b >= 0x80 && b < 0xA0) continue;
    out += static_cast<char>(b);
  }
  return out;
}

std::string FormatDate(std::time_t when) {
  static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  ::localtime_r(&when, &local);
  const long offsetMinutes = local.tm_gmtoff / 60;
  const long absMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  std::array<char, 64> buffer{};
  (void)std::snprintf(buffer.data(), buffer.size(), "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                      kDays.at(static_cast<std::size_t>(local.tm_wday)), local.tm_mday,
                      kMonths.at(static_cast<std::size_t>(local.tm_mon)), local.tm_year + 1900,
                      local.tm_hour, local.tm_min, local.tm_sec, offsetMinutes < 0 ? '-' : '+',
                      absMinutes / 60, absMinutes % 60);
  return buffer.data();
}

std::string MakeMessageId(std::string_view domain) {
  std::random_device device;
  std::array<char, 48> buffer{};
  (void)std::snprintf(buffer.data(), buffer.size(), "%08x%08x.%llx", device(), device(),
                      static_cast<unsigned long long>(std::time(nullptr)));
  return "<" + std::string(buffer.data()) + "@" +
         std::string(domain.empty() ? "localhost" : domain) + ">";
}

}  // namespace MailText
