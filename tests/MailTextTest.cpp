#include "MailText.h"

#include <gtest/gtest.h>

#include <variant>

#include "MailAddress.h"
#include "OutgoingMail.h"
#include "ServerAddress.h"
#include "SmtpErrors.h"

namespace {

TEST(MailText, Charsets) {
  struct Case {
    std::string text;
    MailText::Charset charset;
  };
  const Case cases[] = {
      {"plain", MailText::Charset::Ascii},
      {"", MailText::Charset::Ascii},
      {"\xC3\xA9t\xC3\xA9", MailText::Charset::Utf8},
      {"\xF0\x9F\x93\x88", MailText::Charset::Utf8},
      {"caf\xE9", MailText::Charset::Windows1252},
      {"\xC0\xAF", MailText::Charset::Windows1252},      // overlong "/"
      {"\xED\xA0\x80", MailText::Charset::Windows1252},  // surrogate
      {"\xC3", MailText::Charset::Windows1252},          // cut short
  };
  for (const auto& c : cases) EXPECT_EQ(MailText::DetectCharset(c.text), c.charset) << c.text;
}

TEST(MailText, LineEnds) {
  EXPECT_EQ(MailText::NormalizeLineEnds("a\nb\r\nc\rd\r\r\n"), "a\r\nb\r\nc\r\nd\r\n\r\n");
  EXPECT_FALSE(MailText::HasOverlongLine(std::string(998, 'x') + "\r\n" + std::string(998, 'y')));
  EXPECT_TRUE(MailText::HasOverlongLine("a\r\n" + std::string(999, 'x')));
}

TEST(MailText, HeaderValues) {
  EXPECT_EQ(MailText::EncodeHeaderValue("Weekly report", 9), "Weekly report");
  EXPECT_EQ(MailText::EncodeHeaderValue("\xC3\xA9t\xC3\xA9", 9), "=?UTF-8?B?w6l0w6k=?=");
  EXPECT_EQ(MailText::EncodeHeaderValue("caf\xE9", 9), "=?windows-1252?B?Y2Fm6Q==?=");
  std::string words;
  for (int i = 0; i < 30; ++i) words += "word ";
  const std::string folded = MailText::EncodeHeaderValue(words, 9);
  std::string unfolded = folded;
  for (auto at = unfolded.find("\r\n"); at != std::string::npos; at = unfolded.find("\r\n"))
    unfolded.erase(at, 2);
  EXPECT_EQ(unfolded, words);
  EXPECT_NE(folded.find("\r\n "), std::string::npos);
  // Long non-ASCII text: every word at most 75 characters, no line over 76,
  // no UTF-8 sequence split between words.
  std::string snowmen;
  for (int i = 0; i < 40; ++i) snowmen += "\xE2\x98\x83";
  const std::string encoded = MailText::EncodeHeaderValue(snowmen, 9);
  std::size_t start = 0;
  for (auto end = encoded.find("\r\n");; end = encoded.find("\r\n", start)) {
    const auto line =
        encoded.substr(start, end == std::string::npos ? std::string::npos : end - start);
    EXPECT_LE(line.size() + (start == 0 ? 9 : 0), 76U) << line;
    if (end == std::string::npos) break;
    start = end + 2;
  }
  EXPECT_EQ(encoded.find("=?UTF-8?B?4piD"), 0U) << encoded;
  // Each word carries whole snowmen: its base64 is a whole number of "4piD".
  std::size_t wordStart = 0;
  int snowmenSeen = 0;
  while ((wordStart = encoded.find("=?UTF-8?B?", wordStart)) != std::string::npos) {
    const auto end = encoded.find("?=", wordStart + 10);
    const auto payload = encoded.substr(wordStart + 10, end - wordStart - 10);
    EXPECT_LE(end + 2 - wordStart, 75U);
    EXPECT_EQ(payload.size() % 4, 0U) << payload;
    for (std::size_t k = 0; k < payload.size(); k += 4) EXPECT_EQ(payload.substr(k, 4), "4piD");
    snowmenSeen += static_cast<int>(payload.size() / 4);
    wordStart = end;
  }
  EXPECT_EQ(snowmenSeen, 40);
}

TEST(MailText, Date) {
  const std::string date = MailText::FormatDate(0);
  // "Thu, 01 Jan 1970 00:00:00 +0000" in UTC, shifted in other zones.
  ASSERT_EQ(date.size(), 31U) << date;
  EXPECT_EQ(date.substr(3, 2), ", ");
  EXPECT_TRUE(date[26] == '+' || date[26] == '-') << date;
  EXPECT_NE(MailText::MakeMessageId("example.com"), MailText::MakeMessageId("example.com"));
}

TEST(ServerAddress, Forms) {
  struct Case {
    const char* text;
    bool valid;
    const char* host;
    int port;
    bool loopback;
  };
  const Case cases[] = {
      {"mail.example.com", true, "mail.example.com", 0, false},
      {"mail.example.com:587", true, "mail.example.com", 587, false},
      {"[::1]:2525", true, "::1", 2525, true},
      {"[2001:db8::1]", true, "2001:db8::1", 0, false},
      {"127.0.0.1", true, "127.0.0.1", 0, true},
      {"127.8.9.1:25", true, "127.8.9.1", 25, true},
      {"LocalHost", true, "LocalHost", 0, true},
      {"host:0", false, "", 0, false},
      {"host:70000", false, "", 0, false},
      {"host:25x", false, "", 0, false},
      {"user@host", false, "", 0, false},
      {"host/path", false, "", 0, false},
      {"[::1", false, "", 0, false},
      {"[nothex]:25", false, "", 0, false},
      {"", false, "", 0, false},
  };
  for (const auto& c : cases) {
    const auto parsed = ServerAddress::Parse(c.text);
    ASSERT_EQ(parsed.has_value(), c.valid) << c.text;
    if (!parsed) continue;
    EXPECT_EQ(parsed->host, c.host);
    EXPECT_EQ(parsed->port, c.port);
    EXPECT_EQ(ServerAddress::IsLoopback(*parsed), c.loopback) << c.text;
  }
}

}  // namespace
