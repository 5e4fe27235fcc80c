#pragma once
// The text rules of a message: charset choice, line ends, transfer
// encodings, RFC 2047 header words and RFC 2231 file names, the Date and
// Message-ID headers, and what of a server's text may be shown.
#include <cstdint>
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

// "512 bytes", "4.0 KB", "20.0 MB".
std::string SizeText(std::uint64_t bytes);

// Equal when A-Z and a-z are taken alike (SMTP keywords, schemes, names).
bool SameLetters(std::string_view a, std::string_view b);

// Every lone CR or LF becomes CR LF; CR LF pairs stay.
std::string NormalizeLineEnds(std::string_view text);

// True when a line is longer than SMTP allows (998 bytes without CR LF).
bool HasOverlongLine(std::string_view crlfText);

// True when a body cannot go as 7bit: a byte over 127, NUL, a line over 998.
bool NeedsEncoding(std::string_view crlfText);

// Quoted-printable for CR LF text: line breaks kept, every line at most 76
// characters, NUL and every other control byte encoded.
std::string QuotedPrintable(std::string_view crlfText);

// Base64 of `size` bytes into `out` (room for Base64LinesSize(size)): lines
// of 76 characters, each ended by CR LF. Returns what was written.
std::size_t Base64Lines(const unsigned char* in, std::size_t size, char* out);
std::size_t Base64LinesSize(std::size_t size);
inline constexpr std::size_t kBase64LineInput = 57;  // bytes behind one full line

// A header value ready to follow "Name: ": ASCII as it is, folded at spaces
// when long; other text, or ASCII with a word too long for one line, as
// base64 encoded words of at most 75 characters, never splitting a UTF-8
// sequence. `used` is what the line already holds. No line exceeds 998.
std::string EncodeHeaderValue(std::string_view text, std::size_t used);

// A display name for From or To: a quoted string, or encoded words.
std::string DisplayName(std::string_view name);

// The MIME header lines of an attachment called `fileName`, each ended by
// CR LF: a non-ASCII name as RFC 2231 filename*= (with continuations when
// long) and, for older readers, as an encoded-word name=.
std::string AttachmentHeaders(std::string_view fileName);

// A server's reply text with its control bytes (escape sequences, C1 codes)
// removed, so it cannot act on the terminal or forge a log line.
std::string CleanServerText(std::string_view text);

// "Mon, 07 Dec 2026 06:13:02 +0100" in the local zone, English names.
std::string FormatDate(std::time_t when);

// "<random.time@domain>"; random enough never to repeat.
std::string MakeMessageId(std::string_view domain);

}  // namespace MailText
