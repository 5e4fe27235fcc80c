// The whole program over links and servers that test the SMTP engine's
// promises: exit statuses, one session where a retry could deliver twice,
// bounded memory, and a program that links no libcurl.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "ReceivedMail.h"
#include "SmtpTestServer.h"

namespace {

TEST(EngineRun, OutcomesAndSessions) {
  struct Case {
    const char* name;
    std::vector<std::string> serverFlags;
    std::string ini;
    int status;
    int sessions;
    const char* says;
  };
  const Case cases[] = {
      {"drop right after 354",
       {"--fault", "drop-after-354"},
       "TotalAttempts=1\r\n",
       75,
       1,
       "SMTP Error 10054: "},
      // The server may have it: never a second session, whatever TotalAttempts says.
      {"no reply after the final dot",
       {"--fault", "no-eod-reply"},
       "TimeOutSecs=1\r\nTotalAttempts=3\r\nRetryWaitSecs=1\r\n",
       1,
       1,
       "SMTP Error 12140: "},
      {"over the SIZE limit", {"--size", "100"}, "", 1, 1, "SMTP Error 12123: "},
      {"time-outs are retried",
       {"--fault", "no-greeting"},
       "TimeOutSecs=1\r\nTotalAttempts=2\r\nRetryWaitSecs=1\r\n",
       75,
       2,
       "SMTP Error 10060: "},
  };
  for (const auto& c : cases) {
    SmtpTestServer server(c.serverFlags);
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("Tarnwick.ini", Ini(server, c.ini));
    const auto run = program.Run({"-t", "bob@example.com"});
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
    EXPECT_EQ(Occurrences(server.Events(), "CONNECT"), c.sessions)
        << c.name << ": " << server.Events();
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.name << ": " << run.err;
  }
}

// The DSN keys reach the wire, and a value that is none says so.
TEST(EngineRun, DsnSettings) {
  {
    SmtpTestServer server({"--dsn"});
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("Tarnwick.ini", Ini(server, "DsnNotify=FAILURE,DELAY\r\nDsnReturn=HDRS\r\n"));
    const auto run = program.Run({"-t", "bob@example.com"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string envelope = server.Envelope(1);
    EXPECT_NE(envelope.find("NOTIFY=FAILURE,DELAY"), std::string::npos) << envelope;
    EXPECT_NE(envelope.find("RET=HDRS"), std::string::npos) << envelope;
  }
  {
    SmtpTestServer server({"--dsn"});
    ProgramCopy program(TARNWICK_BINARY);
    program.Write("Tarnwick.ini", Ini(server, "DsnNotify=SOMETIMES\r\n"));
    const auto run = program.Run({"-t", "bob@example.com"});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find("\"SOMETIMES\""), std::string::npos) << run.err;
    EXPECT_EQ(server.Events(), "");
  }
}

// A 5 MB attachment to a server that reads 200 KB a second takes half a
// minute, far beyond the time-out: it flows, so it is never cut.
TEST(EngineRun, SlowReaderTakesALargeAttachment) {
  SmtpTestServer server({"--fault", "throttle", "--rate", "0.2"});
  ProgramCopy program(TARNWICK_BINARY);
  // The time-out stays far below the 20 s the transfer takes; it leaves room
  // for the test server to read the 5 MB it took before it replies, which a
  // busy CI machine can stretch past 3 s.
  program.Write("Tarnwick.ini", Ini(server, "TimeOutSecs=8\r\n"));
  program.Write("big.bin", std::string(5 << 20, 'x'));
  const auto run = program.Run({"-t", "bob@example.com", "-a", "big.bin"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_GT(run.seconds, 20.0) << "the link was not slow enough to prove anything";
  EXPECT_EQ(Occurrences(server.Events(), "CONNECT"), 1) << server.Events();
  EXPECT_EQ(Occurrences(server.Events(), "EOD "), 1) << server.Events();
}

TEST(EngineRun, EndlessReplyKeepsMemoryBounded) {
  SmtpTestServer server({"--fault", "endless-ehlo"});
  ProgramCopy program(TARNWICK_BINARY);
  program.Write("Tarnwick.ini", Ini(server, "TimeOutSecs=3\r\nTotalAttempts=1\r\n"));
  const auto run = program.Run({"-t", "bob@example.com"});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("SMTP Error 12150: "), std::string::npos) << run.err;
  EXPECT_LT(run.seconds, 3.0);
  EXPECT_LT(run.peakRssKb, 40 * 1024);
}

TEST(EngineRun, ProgramLinksNoLibcurl) {
  const std::string command = std::string("readelf -d ") + TARNWICK_BINARY;
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string listing;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    listing.append(buffer, n);
  ASSERT_EQ(::pclose(pipe), 0);
  ASSERT_NE(listing.find("NEEDED"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("libcurl"), std::string::npos) << listing;
  EXPECT_NE(listing.find("libssl"), std::string::npos) << listing;
  // The keyring's libraries load only for a run that uses the keyring.
  EXPECT_EQ(listing.find("libsecret"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("libglib"), std::string::npos) << listing;
}

}  // namespace
