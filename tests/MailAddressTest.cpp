#include "MailAddress.h"

#include <gtest/gtest.h>

namespace {

struct Accepted {
  const char* text;
  const char* display;
  const char* envelope;
  bool utf8;
};

TEST(MailAddress, AcceptedForms) {
  const Accepted cases[] = {
      {" Bob Smith <bob@x.org> ", "Bob Smith", "bob@x.org", false},
      {"\"Smith, Bob\" <bob@x.org>", "Smith, Bob", "bob@x.org", false},
      {"bob@x.org", "", "bob@x.org", false},
      {"postmaster", "", "postmaster", false},
      {"\"odd local\"@x.org", "", "\"odd local\"@x.org", false},
      {"a@b\xC3\xBC"
       "cher.example",
       "", "a@xn--bcher-kva.example", false},
      {"J\xC3\xBCrgen <j\xC3\xBCrgen@x.org>", "J\xC3\xBCrgen", "j\xC3\xBCrgen@x.org", true},
      {"a@[192.0.2.1]", "", "a@[192.0.2.1]", false},
  };
  for (const auto& c : cases) {
    const auto checked = MailAddress::Check(c.text);
    ASSERT_TRUE(std::holds_alternative<MailAddress::Parsed>(checked))
        << c.text << ": " << std::get<std::string>(checked);
    const auto& p = std::get<MailAddress::Parsed>(checked);
    EXPECT_EQ(p.display, c.display) << c.text;
    EXPECT_EQ(p.envelope, c.envelope) << c.text;
    EXPECT_EQ(p.utf8LocalPart, c.utf8) << c.text;
  }
}

// Each of these would change the command on the wire, or break it.
TEST(MailAddress, RefusedForms) {
  const std::string longLocal(65, 'l');
  const std::string longDomain = std::string(250, 'd') + ".test";
  const std::pair<std::string, const char*> cases[] = {
      {"a@x.test> RET=FULL", "holds \" \""},
      {"<a@x.test> RET=FULL", "text after"},
      {"<a@x.test>>", "text after"},
      {"<a@x.test", "lacks"},
      {"a@x.test>", "holds \">\""},
      {"\"Bob <b@x.test>", "unbalanced quote"},
      {std::string("a\x01@x.test"), "control character"},
      {std::string("a\x1B[2J@x.test"), "control character"},
      {std::string("a\x7F@x.test"), "control character"},
      {std::string("a\t@x.test"), "control character"},
      {std::string("a\0b@x.test", 10), "control character"},
      {std::string("a\r\nRCPT TO:<c@x>@x.test"), "control character"},
      {longLocal + "@x.test", "local part of 65 bytes"},
      {"a@" + longDomain, "domain of 255 bytes"},
      {"a@" + longDomain + "x", "domain of 256 bytes"},
      {"caf\xE9@x.test", "neither ASCII nor UTF-8"},
      {"a@", "no domain"},
  };
  for (const auto& [text, why] : cases) {
    const auto checked = MailAddress::Check(text);
    if (std::string(why).find("255 bytes") != std::string::npos) {
      EXPECT_TRUE(std::holds_alternative<MailAddress::Parsed>(checked)) << "255 is allowed";
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<std::string>(checked)) << text;
    EXPECT_NE(std::get<std::string>(checked).find(why), std::string::npos)
        << std::get<std::string>(checked);
  }
}

TEST(MailAddress, HeaderFormsAndLists) {
  const auto header = [](const char* text) {
    return MailAddress::HeaderForm(std::get<MailAddress::Parsed>(MailAddress::Check(text)));
  };
  EXPECT_EQ(header("Bob <b@x>"), "\"Bob\" <b@x>");
  EXPECT_EQ(header("\"Say \\\"hi\\\"\" <b@x>"), "\"Say \\\"hi\\\"\" <b@x>");
  EXPECT_EQ(header("J\xC3\xBCrgen <j@x>"), "=?UTF-8?B?SsO8cmdlbg==?= <j@x>");
  EXPECT_EQ(header("a@b\xC3\xBC"
                   "cher.example"),
            "a@xn--bcher-kva.example");
  EXPECT_EQ(MailAddress::SplitList("a@x, ,b@x,,  c@x  ,"),
            (std::vector<std::string>{"a@x", "b@x", "c@x"}));
  EXPECT_EQ(MailAddress::SplitList("\"Smith, Bob\" <b@x>, <c,d@x>"),
            (std::vector<std::string>{"\"Smith, Bob\" <b@x>", "<c,d@x>"}));
  EXPECT_TRUE(MailAddress::SplitList(" , ").empty());
}

}  // namespace
