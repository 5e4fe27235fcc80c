#include "MailText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <random>

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

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const auto n = (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16U) |
                   (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8U) |
                   static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(n >> 18U) & 63U];
    out += kAlphabet[(n >> 12U) & 63U];
    out += kAlphabet[(n >> 6U) & 63U];
    out += kAlphabet[n & 63U];
  }
  if (i < bytes.size()) {
    auto n = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16U;
    if (i + 1 < bytes.size())
      n |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8U;
    out += kAlphabet[(n >> 18U) & 63U];
    out += kAlphabet[(n >> 12U) & 63U];
    out += i + 1 < bytes.size() ? kAlphabet[(n >> 6U) & 63U] : '=';
    out += '=';
  }
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
  if (charset == Charset::Ascii) return FoldAscii(text, used);
  const std::string prefix =
      "=?" + std::string(charset == Charset::Utf8 ? "UTF-8" : "windows-1252") + "?B?";
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
