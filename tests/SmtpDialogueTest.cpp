#include "SmtpDialogue.h"

#include <gtest/gtest.h>

namespace {

struct Step {
  char kind;  // C command, R reply line, I libcurl note
  const char* text;
};

void Play(SmtpDialogue& d, const std::vector<Step>& steps) {
  for (const auto& s : steps) {
    if (s.kind == 'C') d.Command(std::string(s.text) + "\r\n");
    if (s.kind == 'R') d.ReplyLine(std::string(s.text) + "\r\n");
    if (s.kind == 'I') d.Info(std::string(s.text) + "\n");
  }
}

TEST(SmtpDialogue, LoginCredentialsNeverShown) {
  std::vector<std::string> statuses;
  SmtpDialogue d("mailer", [&](const std::string& s) { statuses.push_back(s); });
  Play(d, {{'R', "220 hi"},
           {'C', "EHLO me"},
           {'R', "250-mx"},
           {'R', "250-AUTH LOGIN PLAIN"},
           {'R', "250 HELP"},
           {'I', "SSL connection using TLSv1.3 / TLS_AES_256_GCM_SHA384"},
           {'C', "AUTH LOGIN"},
           {'R', "334 VXNlcm5hbWU6"},
           {'C', "bWFpbGVy"},
           {'R', "334 UGFzc3dvcmQ6"},
           {'C', "czNjcmV0"},
           {'R', "235 2.7.0 ok"},
           {'C', "MAIL FROM:<a@x>"},
           {'R', "250 OK"}});
  for (const auto& s : statuses) {
    EXPECT_EQ(s.find("bWFpbGVy"), std::string::npos);
    EXPECT_EQ(s.find("czNjcmV0"), std::string::npos);
  }
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Authenticating as mailer (LOGIN)"),
            statuses.end());
  EXPECT_EQ(statuses.back(), "250 OK");
  EXPECT_EQ(statuses[2], "250-mx\r\n250-AUTH LOGIN PLAIN\r\n250 HELP") << "one status per reply";
  EXPECT_TRUE(d.AuthOffered());
  EXPECT_EQ(d.AuthMechanism(), "LOGIN");
  EXPECT_EQ(d.TlsVersion(), "TLSv1.3");
}

TEST(SmtpDialogue, RecipientsAndFinalReply) {
  SmtpDialogue d("", [](const std::string&) {});
  Play(d, {{'R', "220 hi"},
           {'C', "EHLO me"},
           {'R', "250 mx"},
           {'C', "MAIL FROM:<a@x>"},
           {'R', "250 OK"},
           {'C', "RCPT TO:<nobody@x>"},
           {'R', "550-5.1.1 no such"},
           {'R', "550 5.1.1 user"},
           {'C', "RCPT TO:<bob@x>"},
           {'R', "250 OK"},
           {'C', "DATA"},
           {'R', "354 go"},
           {'R', "250 queued as 7"},
           {'C', "QUIT"},
           {'R', "221 bye"}});
  EXPECT_FALSE(d.AuthOffered());
  EXPECT_EQ(d.Accepted(), 1);
  ASSERT_EQ(d.Refused().size(), 1U);
  EXPECT_EQ(d.Refused()[0].recipient, "nobody@x");
  EXPECT_EQ(d.Refused()[0].code, 550);
  EXPECT_EQ(d.Refused()[0].text, "5.1.1 no such 5.1.1 user");
  EXPECT_EQ(d.FinalReply(), "250 queued as 7");
  EXPECT_EQ(d.LastCode(), 250) << "QUIT's answer is not the outcome";
}

}  // namespace
