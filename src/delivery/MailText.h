#pragma once
// What libcurl leaves to us in a message's text: charset choice, line ends,
// RFC 2047 header words, the Date and Message-ID headers.
#include <ctime>
#include <string>
#include <string_view>

namespace MailText {

enum class Charset { Ascii, Utf8, Windows1252 };

// ASCII when every byte is below 128, UTF-8 when the bytes are valid UTF-8,
// else windows-1252 (every byte means something there).
Charset DetectCharset(std::string_view text);
std::string_view CharsetName(Charset charset);

bool HasLineBreak(std::string_view text);

// Every lone CR or LF becomes CR LF; CR LF pairs stay.
std::string NormalizeLineEnds(std::string_view text);

// True when a line is longer than SMTP allows (998 bytes without CR LF).
bool HasOverlongLine(std::string_view crlfText);

// A header value ready to follow "Name: ": ASCII as it is, folded at spaces
// when long; other text as base64 encoded words of at most 75 characters,
// never splitting a UTF-8 sequence. `used` is what the line already holds.
std::string EncodeHeaderValue(std::string_view text, std::size_t used);

// "Mon, 07 Dec 2026 06:13:02 +0100" in the local zone, English names.
std::string FormatDate(std::time_t when);

// "<random.time@domain>"; random enough never to repeat.
std::string MakeMessageId(std::string_view domain);

}  // namespace MailText
