// The pieces of the SMTP engine that work on bytes alone: replies as the
// server sends them, the message as it goes after DATA, and the bearer-token
// framing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DotStuffer.h"
#include "ReplyParser.h"
#include "SaslClient.h"

namespace {

TEST(ReplyParser, SplitsRepliesAcrossPieces) {
  struct Case {
    std::vector<std::string> pieces;
    std::vector<int> codes;
    std::string lastDisplay;
    std::string status;  // enhanced status of the last reply
  };
  const Case cases[] = {
      {{"220 ready\r\n"}, {220}, "220 ready", ""},
      {{"250-a\r", "\n250-b\r\n25", "0 c\r\n"}, {250}, "250-a\r\n250-b\r\n250 c", ""},
      {{"250\r\n"}, {250}, "250", ""},
      {{"250 ok\n550 5.1.1 no such user\n"}, {250, 550}, "550 5.1.1 no such user", "5.1.1"},
      {{"452 4.5.3 too many\r\n"}, {452}, "452 4.5.3 too many", "4.5.3"},
      {{"550 2.1.1 class does not match\r\n"}, {550}, "550 2.1.1 class does not match", ""},
      {{"250 \x1b[31mred\x07\r\n"}, {250}, "250 red", ""},
  };
  for (const auto& c : cases) {
    ReplyParser parser;
    for (const auto& piece : c.pieces) ASSERT_TRUE(parser.Feed(piece)) << parser.Problem();
    std::vector<int> codes;
    SmtpReply last;
    while (auto reply = parser.Take()) {
      codes.push_back(reply->code);
      last = *reply;
    }
    EXPECT_EQ(codes, c.codes) << c.pieces[0];
    EXPECT_EQ(last.Display(), c.lastDisplay);
    EXPECT_EQ(last.EnhancedStatus(), c.status) << c.lastDisplay;
    EXPECT_FALSE(parser.Pending());
  }
}

TEST(ReplyParser, RefusesWhatIsNoSmtpOrTooLarge) {
  struct Case {
    const char* name;
    std::string input;
    const char* problem;
  };
  std::string manyLines;
  for (int i = 0; i < 1001; ++i) manyLines += "250-x\r\n";
  const Case cases[] = {
      {"not a code", "hello there\r\n", "not SMTP"},
      {"code changes inside a reply", "250-a\r\n354 b\r\n", "not SMTP"},
      {"bad separator", "250+a\r\n", "not SMTP"},
      {"over 1,000 lines", manyLines, "1000 lines"},
      {"one endless line", std::string(70 * 1024, 'x'), "64 KB"},
      {"endless continuation", std::string(30 * 1024, 'x') + "\r\n", "not SMTP"},
  };
  for (const auto& c : cases) {
    ReplyParser parser;
    EXPECT_FALSE(parser.Feed(c.input)) << c.name;
    EXPECT_NE(parser.Problem().find(c.problem), std::string::npos)
        << c.name << ": " << parser.Problem();
    EXPECT_FALSE(parser.Feed("250 ok\r\n")) << c.name << ": nothing is taken after a problem";
  }
}

TEST(ReplyParser, ClearDropsWhatCameBefore) {
  ReplyParser parser;
  ASSERT_TRUE(parser.Feed("220 go ahead\r\n550 injected\r\n250-half"));
  ASSERT_EQ(parser.Take()->code, 220);
  parser.Clear();
  ASSERT_TRUE(parser.Feed("250 fresh\r\n"));
  const auto reply = parser.Take();
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->Display(), "250 fresh");
  EXPECT_FALSE(parser.Take().has_value());
}

TEST(DotStuffer, DoublesLeadingDotsAndEndsOnce) {
  struct Case {
    std::vector<std::string> pieces;
    std::string wire;
  };
  const Case cases[] = {
      {{"a\r\n"}, "a\r\n.\r\n"},
      {{".a\r\n.\r\n"}, "..a\r\n..\r\n.\r\n"},
      {{"a\r\n", ".b\r\n"}, "a\r\n..b\r\n.\r\n"},
      {{"a\r", "\n.", "b"}, "a\r\n..b\r\n.\r\n"},
      {{"no end"}, "no end\r\n.\r\n"},
      {{"cr at the end\r"}, "cr at the end\r\n.\r\n"},
      {{"x.y\r\n..\r\n"}, "x.y\r\n...\r\n.\r\n"},
      {{}, ".\r\n"},
  };
  for (const auto& c : cases) {
    DotStuffer stuffer;
    std::string out;
    for (const auto& piece : c.pieces) stuffer.Add(piece, out);
    stuffer.Finish(out);
    EXPECT_EQ(out, c.wire);
  }
}

// The bearer forms as providers document them; a user name cannot break
// the OAUTHBEARER header.
TEST(SaslClient, BearerTokenFraming) {
  EXPECT_EQ(
      SaslClient::XOAuth2("someuser@example.com", "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg"),
      "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52"
      "YjNSbGNrQmhkSFJoZG1semRHRXVZMjl0Q2cBAQ==");
  EXPECT_EQ(
      SaslClient::OAuthBearer("user@example.com", "server.example.com", 143,
                              "vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg=="),
      "bixhPXVzZXJAZXhhbXBsZS5jb20sAWhvc3Q9c2VydmVyLmV4YW1wbGUuY29tAXBvcnQ9MTQzAWF1dGg9QmVhcmVy"
      "IHZGOWRmdDRxbVRjMk52YjNSbGNrQmhiSFJoZG1semRHRXVZMjl0Q2c9PQEB");
}

}  // namespace
