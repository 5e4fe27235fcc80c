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

namespace {

TEST(MailText, ServerTextCleaned) {
  const std::pair<std::string, std::string> cases[] = {
      {"250 OK", "250 OK"},
      {"550 \x1B[31mno\x1B[0m such user\a", "550 no such user"},
      {"250 \x1B]0;owned\aOK", "250 OK"},
      {"250 \x1B]0;owned\x1B\\OK", "250 OK"},
      {"250 a\x1B", "250 a"},
      {"250 tab\there\x7F", "250 tab here"},
      {"250 \xC2\x9B"
       "31mC1 \xC3\xA9t\xC3\xA9",
       "250 31mC1 \xC3\xA9t\xC3\xA9"},
      {"250 \x9B"
       "31m caf\xE9",
       "250 31m caf\xE9"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(MailText::CleanServerText(in), out) << in;
}

TEST(MailText, QuotedPrintable) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain\r\n", "plain\r\n"},
      {std::string("a\0b", 3), "a=00b"},
      {"trailing \r\nx\t", "trailing=20\r\nx=09"},
      {"caf\xC3\xA9 =", "caf=C3=A9 =3D"},
      {std::string(80, 'x'), std::string(75, 'x') + "=\r\n" + std::string(5, 'x')},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(MailText::QuotedPrintable(in), out) << in;
}

TEST(MailText, AttachmentHeaders) {
  EXPECT_EQ(MailText::AttachmentHeaders("a \"b\".pdf"),
            "Content-Type: application/octet-stream;\r\n name=\"a \\\"b\\\".pdf\"\r\n"
            "Content-Disposition: attachment;\r\n filename=\"a \\\"b\\\".pdf\"\r\n"
            "Content-Transfer-Encoding: base64\r\n");
  const std::string euro = MailText::AttachmentHeaders("\xE2\x82\xAC 5.txt");
  EXPECT_NE(euro.find(" filename*=UTF-8''%E2%82%AC%205.txt\r\n"), std::string::npos) << euro;
  EXPECT_NE(euro.find(" name=\"=?UTF-8?B?4oKsIDUudHh0?=\"\r\n"), std::string::npos) << euro;
  std::string longName;
  for (int i = 0; i < 40; ++i) longName += "\xC3\xA9";
  const std::string folded = MailText::AttachmentHeaders(longName);
  EXPECT_NE(folded.find(" filename*0*=UTF-8''%C3%A9"), std::string::npos) << folded;
  EXPECT_NE(folded.find(" filename*1*=%"), std::string::npos) << folded;
}

}  // namespace
