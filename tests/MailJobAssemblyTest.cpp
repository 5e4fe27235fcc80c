#include "MailJobAssembly.h"

#include <gtest/gtest.h>

#include <sstream>

#include "ArgumentText.h"
#include "CommandLine.h"
#include "ProgramFolder.h"
#include "RunLog.h"
#include "TempFolder.h"

namespace {

TEST(ReadDeliveryOption, LeadingNumberRoundedHalfToEven) {
  struct Case {
    const char* text;
    std::int16_t value;
  };
  const Case cases[] = {
      {"", 15},     {"0", 15},          {"-5", 15},       {"abc", 15}, {"2.5", 2},
      {"3.5", 4},   {"20 seconds", 20}, {" 7", 7},        {"0.4", 15}, {"0.6", 1},
      {"1e2", 100}, {"40000", 32767},   {"32767", 32767}, {".5e1", 5}, {"+3", 3},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadDeliveryOption(c.text, 15), c.value) << c.text;
}

TEST(MaskedSwitches, PasswordNeverShown) {
  struct Case {
    const char* text;
    const char* masked;
  };
  const Case cases[] = {
      {"-t bob -xp secret -log", "-t bob -xp ******** -log"},
      {"-xp:Secret", "-xp:********"},
      {R"("-xp:se cret" -t b)", R"("-xp:********" -t b)"},
      {"/XP two words -t x", "/XP ******** -t x"},
      {"-xp first -xp second", "-xp ******** -xp ********"},
      {"-xp -t bob", "-xp -t bob"},
      {"-xpx keep -xu xp", "-xpx keep -xu xp"},
      {R"(-s "a b"  -xp "p w")", R"(-s "a b"  -xp ********)"},
      {"-xp=pa:ss -log", "-xp=******** -log"},
      {R"("-xp Secret4" -log)", R"("-xp ********" -log)"},
      {R"(-t a "-XP:x y" /xp=z)", R"(-t a "-XP:********" /xp=********)"},
      {"-xp /home/me/pw", "-xp ********"},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskedSwitches(c.text), c.masked) << c.text;
}

TEST(SplitLines, Pieces) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {""}},
      {"A\r\nB", {"A", "B"}},
      {"A\r\n", {"A", ""}},
      {"A\nB\r", {"A\nB\r"}},
      {"\r\n\r\n", {"", "", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(RunLog::SplitLines(c.text), c.lines) << c.text;
}

class AssembleMailJobTest : public testing::Test {
 protected:
  void SetUp() override { ProgramFolder::OverrideForTesting(folder_.path().string()); }
  AssemblyResult Assemble(const std::string& args, const std::string& ini) {
    ArgumentText::Set(args);
    folder_.Write("Tarnwick.ini", "[Options]\n" + ini);
    std::istringstream input(input_);
    return AssembleMailJob(folder_.File("Tarnwick.ini"), input);
  }
  TempFolder folder_;
  std::string input_;
};

std::string Joined(const std::vector<std::string>& paths) {
  std::string out;
  for (const auto& p : paths) out += (out.empty() ? "" : " ") + p;
  return out;
}

TEST_F(AssembleMailJobTest, Ports) {
  struct Case {
    const char* port;
    int passed;  // -1: refused
  };
  const Case cases[] = {{"", 0},          {"25", 25},  {"20", 20},    {"587", 587}, {" 587 ", 587},
                        {"40000", 40000}, {"abc", -1}, {"70000", -1}, {"5x", -1}};
  for (const auto& c : cases) {
    const auto r = Assemble("-t b", std::string("Port=") + c.port + "\n");
    if (c.passed < 0) {
      EXPECT_NE(r.problem.find(c.port), std::string::npos) << c.port << ": " << r.problem;
    } else {
      EXPECT_EQ(r.problem, "") << c.port;
      EXPECT_EQ(r.port, c.passed) << c.port;
    }
  }
}

TEST_F(AssembleMailJobTest, ValuesAndFiles) {
  std::filesystem::create_directory(folder_.path() / "lists");
  folder_.Write("lists/weekly.txt", "alice@x\r\n  bob@x  \r\n# all staff\r\nab\r\n\r\n");
  folder_.Write("body.txt", "one\ntwo");
  folder_.Write("report.pdf", "%PDF");
  struct Case {
    const char* args;
    const char* ini;
    MailJob expected;
  };
  const std::string pdf = folder_.File("report.pdf");
  const Case cases[] = {
      {R"(-t lists\weekly.txt -m body.txt -a report.pdf)",
       "",
       {"", "alice@x bob@x", "", "one\r\ntwo\r\n", pdf, "", "", "", ""}},
      {"-t alice, bob -m missing.txt -a missing.pdf -s",
       "Subject=stored\nFrom=f@x\n",
       {"f@x", "alice, bob", "stored", "missing.txt", "", "", "", "", ""}},
      {R"(-t C:\lists\weekly.txt -s Hello -xu me -xp typed)",
       "Subject=stored\nSMTPUserName=other\n",
       {"", R"(C:\lists\weekly.txt)", "Hello", "", "", "", "", "me", "typed"}},
  };
  for (const auto& c : cases) {
    const auto r = Assemble(c.args, c.ini);
    EXPECT_EQ(r.problem, "") << c.args;
    const MailJob& j = r.job;
    const MailJob& e = c.expected;
    EXPECT_EQ(j.From, e.From) << c.args;
    EXPECT_EQ(j.To, e.To) << c.args;
    EXPECT_EQ(j.Subject, e.Subject) << c.args;
    EXPECT_EQ(j.Message, e.Message) << c.args;
    EXPECT_EQ(Joined(r.attachments), e.Attachment) << c.args;
    EXPECT_EQ(j.SMTPUserName, e.SMTPUserName) << c.args;
    EXPECT_EQ(j.SMTPPassword, e.SMTPPassword) << c.args;
  }
}

}  // namespace

namespace {

// Several attachments, missing ones, and the warnings a script sees.
TEST_F(AssembleMailJobTest, AttachmentsAndWarnings) {
  folder_.Write("a1.txt", "1");
  folder_.Write("a2.txt", "2");
  folder_.Write("with space.txt", "3");
  const std::string outside = (folder_.path() / "outside.txt").string();
  folder_.Write("outside.txt", "x");
  const std::string a1 = folder_.File("a1.txt"), a2 = folder_.File("a2.txt");
  struct Case {
    std::string args;
    std::string attached;
    bool missing;
    std::vector<std::string> warningWords;  // one entry per warning, a word it holds
  };
  const Case cases[] = {
      {"-t b -a a1.txt a2.txt", a1 + " " + a2, false, {}},
      {"-t b -a a1.txt gone.txt a2.txt", a1 + " " + a2, true, {"gone.txt"}},
      {"-t b -a gone.txt", "", true, {"gone.txt"}},
      {R"(-t b -a "with space.txt")", folder_.File("with space.txt"), false, {}},
      {"-t b -a " + a1 + " " + a2, a1 + " " + a2, false, {}},
      {"-t b -q -a a1.txt", a1, false, {"-q"}},
      {"-t b -xp=pa:ss", "", false, {"-xp:VALUE"}},
      {R"(-t b "-xp Secret4")", "", false, {"-xp:VALUE"}},
      {"-t b -m " + outside, "", false, {"outside the program's folder"}},
      {"-t " + outside, "", false, {"the address list"}},
      {"-s -5 degrees -t b", "", false, {"-5"}},
  };
  for (const auto& c : cases) {
    const auto r = Assemble(c.args, "");
    EXPECT_EQ(r.problem, "") << c.args;
    EXPECT_EQ(Joined(r.attachments), c.attached) << c.args;
    EXPECT_EQ(r.attachmentMissing, c.missing) << c.args;
    ASSERT_EQ(r.warnings.size(), c.warningWords.size()) << c.args << ": " << Joined(r.warnings);
    for (std::size_t i = 0; i < r.warnings.size(); ++i) {
      EXPECT_NE(r.warnings[i].find(c.warningWords[i]), std::string::npos) << r.warnings[i];
      EXPECT_EQ(r.warnings[i].find("Secret4"), std::string::npos) << r.warnings[i];
      EXPECT_EQ(r.warnings[i].find("pa:"), std::string::npos) << r.warnings[i];
    }
  }
}

TEST_F(AssembleMailJobTest, BodyFromStandardInput) {
  input_ = std::string("line one\nline two\n\0binary", 24);
  for (const char* args : {"-t b -m:-", "-t b -m=-"}) {
    const auto r = Assemble(args, "Message=stored\n");
    EXPECT_EQ(r.problem, "") << args;
    EXPECT_EQ(r.job.Message, input_) << args;
  }
  // A lone "-" is a switch token with no name: no body from the pipe.
  EXPECT_EQ(Assemble("-t b -m -", "Message=stored\n").job.Message, "stored");
}

}  // namespace
