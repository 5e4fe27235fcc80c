// The password kept out of Tarnwick.ini, end to end: the built program
// takes it from a command, a private file, a systemd credential, an
// environment variable or a headless keyring, and the fixture server checks
// it with AUTH PLAIN. The password never shows on standard error, in the
// log, or in what a password command is given.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <functional>

#include "IniFile.h"
#include "ProgramRun.h"
#include "PseudoTerminal.h"
#include "ReceivedMail.h"
#include "SmtpTestServer.h"
#include "StoredPassword.h"
#include "TestKeyring.h"

#ifndef TARNWICK_BINARY
#error "TARNWICK_BINARY must name the built program"
#endif

namespace {

const std::string kPassword = "s3cret Pw-7d31";
const std::vector<std::string> kSend = {"-t", "bob@example.com", "-s", "hi", "-m", "body", "-log"};

std::vector<std::string> AuthServer() { return {"--auth", "u:" + kPassword, "--auth-over-plain"}; }

std::string IniWith(const SmtpTestServer& server, const std::string& from) {
  return Ini(server, "SMTPUserName=u\r\nSMTPPasswordFrom=" + from + "\r\n");
}

// A shell script in the program's folder, made executable.
std::string Script(const ProgramCopy& program, const std::string& name, const std::string& body) {
  const std::string path = program.Write(name, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0700);
  return path;
}

std::string Private(const ProgramCopy& program, const std::string& name, const std::string& text,
                    mode_t mode = 0600) {
  const std::string path = program.Write(name, text);
  ::chmod(path.c_str(), mode);
  return path;
}

void ExpectNoLeak(const ProgramCopy& program, const RunResult& run, const char* name) {
  EXPECT_EQ(run.err.find(kPassword), std::string::npos) << name << ": " << run.err;
  EXPECT_EQ(program.Read("Tarnwick.log").find(kPassword), std::string::npos) << name;
}

TEST(PasswordSource, EachFormAndItsFailures) {
  struct Case {
    const char* name;
    // Makes what the source needs; gives the SMTPPasswordFrom value.
    std::function<std::string(const ProgramCopy&)> setUp;
    std::vector<std::string> env;
    std::vector<std::string> more;  // switches beyond the send's own
    int status;
    const char* says;  // on standard error and in the log; "" for a plain success
  };
  const Case cases[] = {
      {"file, relative to the program, first line only",
       [](const ProgramCopy& p) {
         Private(p, "pw.txt", kPassword + "\nnot this line\n");
         return std::string("file pw.txt");
       },
       {},
       {},
       0,
       ""},
      {"file with CR LF, absolute path",
       [](const ProgramCopy& p) { return "file " + Private(p, "pw.txt", kPassword + "\r\n"); },
       {},
       {},
       0,
       ""},
      {"file others can read",
       [](const ProgramCopy& p) { return "file " + Private(p, "pw.txt", kPassword, 0644); },
       {},
       {},
       2,
       "pw.txt can be read by other users"},
      {"file missing",
       [](const ProgramCopy&) { return std::string("file /nonexistent/pw.txt"); },
       {},
       {},
       2,
       "/nonexistent/pw.txt"},
      {"credential",
       [](const ProgramCopy& p) {
         ::mkdir(p.Folder().File("creds").c_str(), 0700);
         Private(p, "creds/smtp", kPassword + "\n", 0400);
         return std::string("credential smtp");
       },
       {"CREDENTIALS_DIRECTORY=/PROGRAM/creds"},
       {},
       0,
       ""},
      {"credential missing",
       [](const ProgramCopy& p) {
         ::mkdir(p.Folder().File("creds").c_str(), 0700);
         return std::string("credential smtp");
       },
       {"CREDENTIALS_DIRECTORY=/PROGRAM/creds"},
       {},
       2,
       "credential smtp"},
      {"credential outside a unit",
       [](const ProgramCopy&) { return std::string("credential smtp"); },
       {},
       {},
       2,
       "CREDENTIALS_DIRECTORY is not set"},
      {"environment variable",
       [](const ProgramCopy&) { return std::string("env TARNWICK_TEST_PW"); },
       {"TARNWICK_TEST_PW=" + kPassword},
       {},
       0,
       ""},
      {"environment variable unset",
       [](const ProgramCopy&) { return std::string("env TARNWICK_TEST_UNSET"); },
       {},
       {},
       2,
       "TARNWICK_TEST_UNSET"},
      {"command, quoted words, told nothing of the password",
       [](const ProgramCopy& p) {
         Private(p, "secret.txt", kPassword + "\n");
         const std::string folder = p.Folder().path().string();
         Script(p, "print pw",
                "cat /proc/$$/cmdline > '" + folder + "/seen-cmdline'\n" +
                    "cat /proc/$$/environ > '" + folder + "/seen-environ'\n" +
                    "[ \"$1\" = 'two words' ] || exit 9\n" + "read -r line || true\n" + "cat '" +
                    folder + "/secret.txt'\necho 'second line' \n");
         return "command \"" + folder + "/print pw\" \"two words\"";
       },
       {},
       {},
       0,
       ""},
      {"command fails, after printing the password",
       [](const ProgramCopy& p) {
         const std::string secret = Private(p, "secret.txt", kPassword + "\n");
         return "command " +
                Script(p, "vault",
                       "cat '" + secret + "'\necho 'vault sealed' >&2\necho more >&2\nexit 1\n");
       },
       {},
       {},
       1,
       "failed with exit status 1: vault sealed"},
      {"command asks to try later",
       [](const ProgramCopy& p) { return "command " + Script(p, "vault", "exit 75\n"); },
       {},
       {},
       75,
       "exit status 75"},
      {"command prints nothing",
       [](const ProgramCopy& p) { return "command " + Script(p, "vault", "exit 0\n"); },
       {},
       {},
       1,
       "printed no password"},
      {"command not there",
       [](const ProgramCopy&) { return std::string("command /nonexistent/vault"); },
       {},
       {},
       1,
       "could not be started"},
      {"not a form",
       [](const ProgramCopy&) { return std::string("vault x"); },
       {},
       {},
       2,
       "SMTPPasswordFrom setting is none of"},
      {"-xp wins over the source",
       [](const ProgramCopy& p) { return "command " + Script(p, "vault", "exit 1\n"); },
       {},
       {"-xp", kPassword},
       0,
       ""},
  };
  for (const auto& c : cases) {
    SmtpTestServer server(AuthServer());
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("Tarnwick.ini", IniWith(server, c.setUp(program)));
    RunOptions options;
    for (std::string entry : c.env) {
      if (const auto at = entry.find("/PROGRAM"); at != std::string::npos)
        entry.replace(at, 8, program.Folder().path().string());
      options.env.push_back(entry);
    }
    std::vector<std::string> args = kSend;
    args.insert(args.end(), c.more.begin(), c.more.end());
    const RunResult run = program.Run(args, options);
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
    EXPECT_EQ(server.MessageCount(), c.status == 0 ? 1 : 0) << c.name;
    if (*c.says != '\0') {
      EXPECT_NE(run.err.find(c.says), std::string::npos) << c.name << ": " << run.err;
      EXPECT_NE(program.Read("Tarnwick.log").find(" error: "), std::string::npos) << c.name;
      EXPECT_EQ(Count(run.err, "\n"), 1) << c.name << ": one line: " << run.err;
    }
    ExpectNoLeak(program, run, c.name);
    if (std::filesystem::exists(program.Folder().File("seen-cmdline"))) {
      EXPECT_EQ(program.Read("seen-cmdline").find(kPassword), std::string::npos) << c.name;
      EXPECT_EQ(program.Read("seen-environ").find(kPassword), std::string::npos) << c.name;
      EXPECT_NE(program.Read("seen-cmdline").find("two words"), std::string::npos) << c.name;
    }
  }
}

TEST(PasswordSource, CommandThatHangsIsStoppedAfterTenSeconds) {
  SmtpTestServer server(AuthServer());
  ProgramCopy program(TARNWICK_BINARY);
  // The hanging part runs in a child of the command: it is stopped too.
  const std::string pidFile = program.Folder().File("child.pid");
  program.Write("Tarnwick.ini",
                IniWith(server, "command " + Script(program, "vault",
                                                    "sleep 60 &\necho $! > '" + pidFile +
                                                        "'\necho 'asking the vault' >&2\nwait\n")));
  const RunResult run = program.Run(kSend);
  EXPECT_EQ(run.status, 75) << run.err;
  EXPECT_GE(run.seconds, 9.9);
  EXPECT_LT(run.seconds, 12);
  EXPECT_NE(run.err.find("within 10 s and was stopped: asking the vault"), std::string::npos)
      << run.err;
  // Killed, it is gone or a zombie left for whoever reaps orphans.
  const std::string child = program.Read("child.pid");
  const std::string stat = "/proc/" + child.substr(0, child.find('\n')) + "/stat";
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const std::string state = std::filesystem::exists(stat) ? TempFolder::Read(stat) : "";
  EXPECT_TRUE(state.empty() || state.find(") Z ") != std::string::npos)
      << "the command's own child outlived it: " << state;
  EXPECT_EQ(server.MessageCount(), 0);
}

TEST(PasswordSource, KeyringItemMadeBySecretTool) {
  TestKeyring keyring;
  SmtpTestServer server(AuthServer());
  ASSERT_EQ(keyring.Store("127.0.0.1", "u", kPassword), 0);
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", IniWith(server, "keyring"));
  const RunResult run = program.Run(kSend, {{keyring.BusEnv()}});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(server.MessageCount(), 1);
  ExpectNoLeak(program, run, "keyring");
}

TEST(PasswordSource, LockedKeyringWithoutADisplayIsATemporaryFailure) {
  TestKeyring keyring;
  SmtpTestServer server(AuthServer());
  ASSERT_EQ(keyring.Store("127.0.0.1", "u", kPassword), 0);
  ASSERT_EQ(keyring.Lock(), 0);
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", IniWith(server, "keyring"));
  const RunResult run = program.Run(kSend, {{keyring.BusEnv()}});
  EXPECT_EQ(run.status, 75) << run.err;
  EXPECT_NE(run.err.find("is locked, and there is no display to unlock it on"), std::string::npos)
      << run.err;
  EXPECT_LT(run.seconds, 2.0);
  EXPECT_EQ(server.MessageCount(), 0);
}

TEST(PasswordSource, KeyringWithoutTheItemSaysHowToStoreIt) {
  TestKeyring keyring;
  SmtpTestServer server(AuthServer());
  ASSERT_EQ(keyring.Store("127.0.0.1", "someone-else", kPassword), 0);
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", IniWith(server, "keyring"));
  const RunResult run = program.Run(kSend, {{keyring.BusEnv()}});
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_NE(run.err.find("secret-tool store --label='Tarnwick SMTP password for u@127.0.0.1' "
                         "host 127.0.0.1 service smtp user u"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(server.MessageCount(), 0);
}

TEST(PasswordSource, KeyringThatDoesNotAnswer) {
  // A bus that takes the connection and never says a word.
  TempFolder folder;
  const std::string path = folder.File("bus");
  const int silent = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(silent, 8), 0);
  struct Case {
    const char* name;
    std::string bus;
    const char* says;
  };
  const Case cases[] = {
      {"silent", "DBUS_SESSION_BUS_ADDRESS=unix:path=" + path, "did not answer within 2 s"},
      {"no bus", "DBUS_SESSION_BUS_ADDRESS=unix:path=" + folder.File("none"),
       "No keyring (Secret Service) answers"},
  };
  for (const auto& c : cases) {
    SmtpTestServer server(AuthServer());
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("Tarnwick.ini", IniWith(server, "keyring"));
    const RunResult run = program.Run(kSend, {{c.bus}});
    EXPECT_EQ(run.status, 75) << c.name << ": " << run.err;
    EXPECT_LT(run.seconds, 2.0) << c.name;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.name << ": " << run.err;
    EXPECT_NE(program.Read("Tarnwick.log").find(c.says), std::string::npos) << c.name;
  }
  ::close(silent);
}

TEST(PasswordSource, TerminalStoresIntoTheKeyringAndASendFindsIt) {
  TestKeyring keyring;
  SmtpTestServer server(AuthServer());
  ProgramCopy program(TARNWICK_BINARY);
  // An old enciphered password, which moving to the keyring must remove.
  program.Write("Tarnwick.ini", "[Options]\nFrom=alice@example.com\nSMTPPassword=" +
                                    StoredPassword::Encipher("old") + "\n");
  {
    Terminal terminal(program, {keyring.BusEnv()});
    const std::pair<const char*, std::string> steps[] = {
        {"From [alice@example.com]: ", ""},
        {"To []: ", ""},
        {"Subject []: ", ""},
        {"Message []: ", ""},
        {"Attachment []: ", ""},
        {"Server []: ", server.HostPort()},
        {"UserName []: ", "u"},
        {"Password [stored]: ", kPassword},
        {"2) in the keyring [1]: ", "2"},
    };
    for (const auto& [prompt, answer] : steps) {
      const std::string shown = terminal.Until(prompt);
      ASSERT_NE(shown.find(prompt), std::string::npos) << terminal.Seen();
      terminal.Type(answer);
    }
    terminal.Until("Saved to");
    EXPECT_EQ(terminal.Status(), 0) << terminal.Seen();
    EXPECT_EQ(terminal.Seen().find(kPassword), std::string::npos) << "echoed";
  }
  const std::string ini = program.Folder().File("Tarnwick.ini");
  EXPECT_EQ(IniFile::Read(ini, "Options", "SMTPPasswordFrom"), "keyring");
  EXPECT_EQ(IniFile::Read(ini, "Options", "SMTPPassword"), "");
  EXPECT_EQ(keyring.Lookup("127.0.0.1", "u"), kPassword);
  const RunResult run = program.Run({"-t", "bob@example.com", "-log"}, {{keyring.BusEnv()}});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(server.MessageCount(), 1);
  ExpectNoLeak(program, run, "stored by the terminal");
}

TEST(PasswordSource, SavingTheConfigurationNeverLosesAKeyringItem) {
  TestKeyring keyring;
  ASSERT_EQ(keyring.Store("127.0.0.1", "u", kPassword), 0);
  ASSERT_EQ(keyring.Store("127.0.0.1", "other", "theirs"), 0);
  ProgramCopy program(TARNWICK_BINARY);
  struct Case {
    const char* name;
    std::string ini;
    const char* user;      // typed at UserName
    const char* password;  // typed at Password ("" keeps)
    const char* where;     // typed at the keyring question
  };
  const Case cases[] = {
      // Moving to the keyring with nothing typed keeps the item secret-tool made.
      {"enter at the password", "[Options]\nSMTPServer=127.0.0.1\nSMTPUserName=u\n", "", "", "2"},
      // A password carried to another user does not replace that user's item.
      {"user changed",
       "[Options]\nSMTPServer=127.0.0.1\nSMTPUserName=u\nSMTPPasswordFrom=keyring\n", "other", "",
       ""},
  };
  for (const auto& c : cases) {
    program.Write("Tarnwick.ini", c.ini);
    Terminal terminal(program, {keyring.BusEnv()});
    for (const char* prompt : {"From []: ", "To []: ", "Subject []: ", "Message []: ",
                               "Attachment []: ", "Server [127.0.0.1]: "}) {
      ASSERT_NE(terminal.Until(prompt).find(prompt), std::string::npos)
          << c.name << terminal.Seen();
      terminal.Type("");
    }
    terminal.Until("UserName [u]: ");
    terminal.Type(c.user);
    terminal.Until("Password [");
    terminal.Type(c.password);
    terminal.Until("in the keyring [");
    terminal.Type(c.where);
    terminal.Until("Saved to");
    EXPECT_EQ(terminal.Status(), 0) << c.name << ": " << terminal.Seen();
    EXPECT_EQ(keyring.Lookup("127.0.0.1", "u"), kPassword) << c.name;
    EXPECT_EQ(keyring.Lookup("127.0.0.1", "other"), "theirs") << c.name;
  }
}

}  // namespace
