// The outbox end to end, against the fixture server: a message that cannot
// go now is kept (exit 0), sent later exactly once and byte for byte, backs
// off, moves to the failed folder on a refusal or when its lifetime passes,
// goes with others over one connection, survives a kill in mid-flush, is
// never sent twice by two flushes, and is never half-written on a full disk.
// Later times come from faketime, as a flush run from a timer would see them.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/mount.h>
#include <sys/socket.h>

#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "ProgramRun.h"
#include "ReceivedMail.h"
#include "SmtpTestServer.h"
#include "StoredPassword.h"

#ifndef TARNWICK_BINARY
#error "TARNWICK_BINARY must name the built program"
#endif

namespace {

namespace fs = std::filesystem;

const std::string kPassword = "0utbox-Secret";

// A port nothing listens on (yet).
int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(s);
  return ntohs(address.sin_port);
}

RunOptions Later(const char* offset) {
  return {{}, nullptr, 0, SIGTERM, {"faketime", "-f", offset}};
}

std::vector<fs::path> Files(const ProgramCopy& program, const std::string& sub = "") {
  std::vector<fs::path> files;
  const fs::path folder = program.Folder().path() / "outbox" / sub;
  if (!fs::exists(folder)) return files;
  for (const auto& item : fs::directory_iterator(folder)) {
    if (item.is_regular_file() && item.path().extension() == ".msg") files.push_back(item.path());
  }
  return files;
}

// The message as queued: what follows the header's blank line.
std::string QueuedBody(const fs::path& file) {
  const std::string text = TempFolder::Read(file.string());
  return text.substr(text.find("\n\n") + 2);
}

std::string HeaderValue(const std::string& text, const std::string& name) {
  const auto at = text.find(name + ": ");
  if (at == std::string::npos) return "";
  const auto from = at + name.size() + 2;
  return text.substr(from, text.find_first_of("\r\n", from) - from);
}

std::map<std::string, int> ArrivedIds(const SmtpTestServer& server) {
  std::map<std::string, int> ids;
  for (int n = 1; n <= server.MessageCount(); ++n)
    ++ids[HeaderValue(server.Message(n), "Message-ID")];
  return ids;
}

std::vector<std::string> Queue(const ProgramCopy& program, int count) {
  for (int i = 0; i < count; ++i) {
    const RunResult run = program.Run({"-t", "bob@example.com", "-s", "n" + std::to_string(i), "-m",
                                       "body " + std::to_string(i), "-queue"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "") << "a queued message from a script is silent";
  }
  std::vector<std::string> ids;
  for (const auto& file : Files(program))
    ids.push_back(HeaderValue(TempFolder::Read(file.string()), "Message-ID"));
  return ids;
}

TEST(Outbox, ClosedPortQueuesAndAFlushSendsItOnceByteForByte) {
  const int port = FreePort();
  ProgramCopy program(TARNWICK_BINARY);
  const std::string enciphered = StoredPassword::Encipher(kPassword);
  program.Write("Tarnwick.ini",
                "[Options]\nFrom=alice@example.com\nSMTPServer=127.0.0.1:" + std::to_string(port) +
                    "\nOutbox=1\nTotalAttempts=1\nSMTPUserName=u\nSMTPPassword=" + enciphered +
                    "\n");
  const RunResult run = program.Run({"-t", "bob@example.com", "-s", "kept", "-m", "for later"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("SMTP Error 10061"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("queued as "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("; it will be sent by tarnwick -flush"), std::string::npos) << run.err;
  const auto files = Files(program);
  ASSERT_EQ(files.size(), 1U);
  const std::string whole = TempFolder::Read(files[0].string());
  EXPECT_EQ(whole.find(kPassword), std::string::npos) << "no password in the outbox";
  EXPECT_EQ(whole.find(enciphered), std::string::npos) << "nor its enciphered form";
  const std::string body = QueuedBody(files[0]);

  SmtpTestServer server(
      {"--port", std::to_string(port), "--auth", "u:" + kPassword, "--auth-over-plain"});
  const RunResult early = program.Run({"-flush"});
  EXPECT_EQ(early.status, 0) << "not yet due does not count: " << early.err;
  EXPECT_EQ(server.MessageCount(), 0);
  const RunResult flush = program.Run({"-flush"}, Later("+5m"));
  EXPECT_EQ(flush.status, 0) << flush.err;
  ASSERT_EQ(server.MessageCount(), 1);
  EXPECT_EQ(server.Message(1), body) << "the bytes queued are the bytes sent";
  EXPECT_TRUE(Files(program).empty());
  EXPECT_EQ(program.Run({"-flush"}, Later("+30m")).status, 0);
  EXPECT_EQ(server.MessageCount(), 1) << "sent once";
}

TEST(Outbox, TemporaryRefusalsBackOffThenItGoes) {
  SmtpTestServer server({"--data-reply", "451:2"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server));
  Queue(program, 1);
  struct Step {
    const char* at;
    int status;
    int messages;
  };
  // Due at once, then a minute (give or take a fifth), then two.
  const Step steps[] = {{"+0", 75, 0}, {"+30s", 0, 0}, {"+2m", 75, 0}, {"+10m", 0, 1}};
  for (const auto& step : steps) {
    const RunResult flush = program.Run({"-flush", "-log"}, Later(step.at));
    EXPECT_EQ(flush.status, step.status) << step.at << ": " << flush.err;
    EXPECT_EQ(server.MessageCount(), step.messages) << step.at;
    // A wait is no news for cron's mail: the status says it, the log tells.
    EXPECT_EQ(flush.err, "") << step.at;
  }
  EXPECT_EQ(Count(program.Read("Tarnwick.log"), "deferred: SMTP Error 451"), 2);
  EXPECT_EQ(Count(server.Events(), "DATA refused"), 2);
  EXPECT_TRUE(Files(program).empty());
}

TEST(Outbox, PermanentRefusalAndLifetimeMoveToFailed) {
  struct Case {
    const char* name;
    std::vector<std::string> serverFlags;
    std::string more;
    const char* at;
    const char* says;
  };
  const Case cases[] = {
      {"550", {"--data-reply", "550:0"}, "", "+0", "SMTP Error 550"},
      // The end of data went and no reply came: it is never sent again.
      {"no reply after the end",
       {"--fault", "no-eod-reply"},
       "TimeOutSecs=1\r\n",
       "+0",
       "SMTP Error 12140"},
      {"lifetime, default 72 hours",
       {"--data-reply", "451:0"},
       "",
       "+73h",
       "not delivered within 72 hours"},
      {"lifetime set",
       {"--data-reply", "451:0"},
       "OutboxLifetimeHours=2\r\n",
       "+3h",
       "not delivered within 2 hours"},
  };
  for (const auto& c : cases) {
    SmtpTestServer server(c.serverFlags);
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("Tarnwick.ini", Ini(server, c.more));
    Queue(program, 1);
    const RunResult flush = program.Run({"-flush"}, Later(c.at));
    EXPECT_EQ(flush.status, 1) << c.name << ": " << flush.err;
    EXPECT_NE(flush.err.find(c.says), std::string::npos) << c.name << ": " << flush.err;
    EXPECT_EQ(Count(flush.err, "\n"), 1) << c.name << ": one line, no storm: " << flush.err;
    EXPECT_TRUE(Files(program).empty()) << c.name;
    const auto failed = Files(program, "failed");
    ASSERT_EQ(failed.size(), 1U) << c.name;
    EXPECT_NE(HeaderValue(TempFolder::Read(failed[0].string()), "Last-Error").find(c.says),
              std::string::npos)
        << c.name;
    const RunResult list = program.Run({"-outbox"});
    EXPECT_NE(list.out.find("Queued (0)"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Failed (1)"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(failed[0].stem().string()), std::string::npos) << list.out;
    EXPECT_EQ(server.MessageCount(), 0);
  }
}

TEST(Outbox, AHundredQueuedGoOverOneConnection) {
  SmtpTestServer server({"--pipelining"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server));
  const auto ids = Queue(program, 100);
  ASSERT_EQ(ids.size(), 100U);
  const RunResult list = program.Run({"-outbox"});
  EXPECT_NE(list.out.find("Queued (100)"), std::string::npos) << list.out;
  const RunResult flush = program.Run({"-flush"});
  EXPECT_EQ(flush.status, 0) << flush.err;
  EXPECT_EQ(server.MessageCount(), 100);
  EXPECT_EQ(Count(server.Events(), "CONNECT"), 1);
  const auto arrived = ArrivedIds(server);
  EXPECT_EQ(arrived.size(), 100U);
  for (const auto& id : ids) EXPECT_EQ(arrived.count(id), 1U) << id;
}

TEST(Outbox, KilledMidFlushThenFlushedAgainLosesNothing) {
  SmtpTestServer server({"--fault", "slow-mail", "--delay", "0.01"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server));
  const auto ids = Queue(program, 200);
  ASSERT_EQ(ids.size(), 200U);
  RunOptions kill;
  kill.stopAfter = 0.8;
  kill.stopSignal = SIGKILL;
  const RunResult cut = program.Run({"-flush"}, kill);
  EXPECT_EQ(cut.status, 128 + SIGKILL);
  const int before = server.MessageCount();
  EXPECT_GT(before, 0);
  EXPECT_LT(before, 200) << "the kill came too late to test anything";
  const RunResult rest = program.Run({"-flush"});
  EXPECT_EQ(rest.status, 0) << rest.err;
  const auto arrived = ArrivedIds(server);
  for (const auto& id : ids) EXPECT_GE(arrived.count(id), 1U) << id << " was lost";
  EXPECT_LE(server.MessageCount() - static_cast<int>(arrived.size()), 1)
      << "at most the one message between its 250 and its mark";
  EXPECT_TRUE(Files(program).empty());
}

TEST(Outbox, TwoFlushesAtOnceSendNothingTwice) {
  SmtpTestServer server({"--fault", "slow-mail", "--delay", "0.01"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server));
  Queue(program, 50);
  RunResult first;
  std::thread running([&] { first = program.Run({"-flush"}); });
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const RunResult second = program.Run({"-flush", "-log"});
  running.join();
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_NE(program.Read("Tarnwick.log").find("another flush of"), std::string::npos)
      << "the second one met the lock";
  EXPECT_LT(second.seconds, first.seconds) << "the second one ends at once";
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(server.MessageCount(), 50);
  EXPECT_EQ(ArrivedIds(server).size(), 50U);
}

TEST(Outbox, GreylistedRecipientStaysQueuedForThatRecipientOnly) {
  SmtpTestServer server({"--defer-rcpt", "grey@example.com"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server));
  ASSERT_EQ(program.Run({"-t", "bob@example.com", "grey@example.com", "-m", "x", "-queue"}).status,
            0);
  const RunResult flush = program.Run({"-flush"});
  EXPECT_EQ(flush.status, 75) << flush.err;
  EXPECT_EQ(server.MessageCount(), 1);
  const auto files = Files(program);
  ASSERT_EQ(files.size(), 1U) << "kept for the greylisted recipient";
  const std::string header = TempFolder::Read(files[0].string());
  EXPECT_EQ(HeaderValue(header, "Rcpt"), "grey@example.com");
  EXPECT_EQ(Count(header.substr(0, header.find("\n\n")), "Rcpt: "), 1) << header;
}

TEST(Outbox, ACutFileIsNotSent) {
  SmtpTestServer server;
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server));
  Queue(program, 1);
  const auto files = Files(program);
  ASSERT_EQ(files.size(), 1U);
  fs::resize_file(files[0], fs::file_size(files[0]) - 10);
  const RunResult flush = program.Run({"-flush"});
  EXPECT_EQ(flush.status, 1) << flush.err;
  EXPECT_NE(flush.err.find("damaged, not sent"), std::string::npos) << flush.err;
  EXPECT_EQ(server.MessageCount(), 0);
  EXPECT_EQ(Files(program, "failed").size(), 1U);
}

TEST(Outbox, FullDiskQueuesNothingAndSaysSo) {
  ProgramCopy program(TARNWICK_BINARY);
  TempFolder disk;
  if (::mount("tmpfs", disk.path().c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "a small tmpfs cannot be mounted here (needs root)";
  fs::create_symlink(disk.path(), program.Folder().path() / "outbox");
  program.Write("Tarnwick.ini", "[Options]\nFrom=a@example.com\nSMTPServer=127.0.0.1:" +
                                    std::to_string(FreePort()) + "\nOutbox=1\nTotalAttempts=1\n");
  program.Write("big.bin", std::string(200 * 1024, 'x'));
  const RunResult run = program.Run({"-t", "bob@example.com", "-a", "big.bin"});
  const RunResult queue = program.Run({"-t", "bob@example.com", "-a", "big.bin", "-queue"});
  std::vector<std::string> left;
  for (const auto& item : fs::directory_iterator(disk.path())) left.push_back(item.path().string());
  ::umount2(disk.path().c_str(), MNT_DETACH);
  for (const auto& r : {run, queue}) {
    EXPECT_EQ(r.status, 75) << r.err;
    EXPECT_NE(r.err.find("could not be queued"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("queued as"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(left.empty()) << "left behind: " << left.front();
}

}  // namespace
