// Reading the SMTPPasswordFrom setting: each form, its words, and the
// settings that are none of them.
#include "SecretSource.h"

#include <gtest/gtest.h>

namespace {

using SecretSource::Form;

TEST(SecretSource, ParsesEachForm) {
  struct Case {
    const char* setting;
    Form form;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"", Form::Settings, {}},
      {"   ", Form::Settings, {}},
      {"keyring", Form::Keyring, {}},
      {" Keyring ", Form::Keyring, {}},
      {"command pass show smtp", Form::Command, {"pass", "show", "smtp"}},
      {"command \"/opt/my vault/get\" \"a b\"  c",
       Form::Command,
       {"/opt/my vault/get", "a b", "c"}},
      {"file /etc/tarnwick/pass word", Form::File, {"/etc/tarnwick/pass word"}},
      {"file \"~/.smtp pass\"", Form::File, {"~/.smtp pass"}},
      {"credential smtp-password", Form::Credential, {"smtp-password"}},
      {"env SMTP_PASSWORD", Form::Env, {"SMTP_PASSWORD"}},
  };
  for (const auto& c : cases) {
    const auto source = SecretSource::Parse(c.setting);
    EXPECT_EQ(source.problem, "") << c.setting;
    EXPECT_EQ(source.form, c.form) << c.setting;
    EXPECT_EQ(source.words, c.words) << c.setting;
  }
}

TEST(SecretSource, RefusesWhatIsNoForm) {
  for (const char* setting :
       {"vault x", "keyring extra", "command", "command  ", "file", "credential ../etc/shadow",
        "credential a/b", "credential ..", "env", "env 1ABC", "env A-B", "plain s3cret"}) {
    const auto source = SecretSource::Parse(setting);
    EXPECT_NE(source.problem.find("SMTPPasswordFrom setting "), std::string::npos) << setting;
    EXPECT_EQ(source.problem.find("s3cret"), std::string::npos) << "a password typed there";
    // Fetching it says the same and asks nobody.
    const auto fetched = SecretSource::Fetch(source, "h", "u");
    EXPECT_EQ(fetched.status, SecretSource::Status::BadSetting) << setting;
    EXPECT_EQ(fetched.problem, source.problem) << setting;
  }
}

TEST(SecretSource, KeyringHostIsTheServerName) {
  const std::pair<const char*, const char*> cases[] = {
      {"smtp.example.com", "smtp.example.com"},
      {" smtp.example.com:587 ", "smtp.example.com"},
      {"[::1]:2525", "::1"},
      {"127.0.0.1", "127.0.0.1"}};
  for (const auto& [server, host] : cases) EXPECT_EQ(SecretSource::KeyringHost(server), host);
}

}  // namespace
