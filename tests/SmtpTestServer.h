#pragma once
// Starts the aiosmtpd fixture server on 127.0.0.1 with a port it picks and
// ends it (by its process id) when the object goes. Received messages and
// the event log land in a temporary folder.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"

#ifndef TARNWICK_FIXTURES_DIR
#error "TARNWICK_FIXTURES_DIR must name tests/fixtures"
#endif

extern char** environ;  // NOLINT(readability-redundant-declaration)

// One of the Python fixture servers, started with a port it picks (its
// first line says "PORT n") and ended by its process id when the object
// goes; closing its standard input stops it even if the test crashes.
class FixtureProcess {
 public:
  FixtureProcess(const std::string& script, std::vector<std::string> flags) {
    std::vector<std::string> args = {"/usr/bin/python3",
                                     std::string(TARNWICK_FIXTURES_DIR) + "/" + script};
    args.insert(args.end(), flags.begin(), flags.end());
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      throw std::runtime_error("cannot start " + script);
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    stdin_ = toChild[1];
    FILE* out = ::fdopen(fromChild[0], "r");
    char line[64] = {};
    if (out == nullptr || std::fgets(line, sizeof line, out) == nullptr ||
        std::sscanf(line, "PORT %d", &port_) != 1) {
      Stop();
      throw std::runtime_error(script + " did not start");
    }
    std::fclose(out);
  }
  FixtureProcess(const FixtureProcess&) = delete;
  FixtureProcess& operator=(const FixtureProcess&) = delete;
  ~FixtureProcess() { Stop(); }

  int Port() const { return port_; }

 private:
  void Stop() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  int port_ = 0;
};

class SmtpTestServer {
 public:
  explicit SmtpTestServer(std::vector<std::string> flags = {})
      : process_("smtp_server.py", Flags(folder_, std::move(flags))) {}

  int Port() const { return process_.Port(); }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(Port()); }
  const std::filesystem::path& Folder() const { return folder_.path(); }

  std::string Events() const { return TempFolder::Read(folder_.File("events.log")); }
  // Message n (from 1) as received, and its envelope as JSON text.
  std::string Message(int n) const {
    return TempFolder::Read(folder_.File(std::to_string(n) + ".eml"));
  }
  std::string Envelope(int n) const {
    return TempFolder::Read(folder_.File(std::to_string(n) + ".json"));
  }
  int MessageCount() const {
    int n = 0;
    while (std::filesystem::exists(folder_.path() / (std::to_string(n + 1) + ".json"))) ++n;
    return n;
  }

 private:
  static std::vector<std::string> Flags(const TempFolder& folder, std::vector<std::string> more) {
    std::vector<std::string> flags = {"--out", folder.path().string(), "--lifetime", "300"};
    flags.insert(flags.end(), more.begin(), more.end());
    return flags;
  }

  TempFolder folder_;
  FixtureProcess process_;
};

// How often `what` stands in `text` (connections or commands in a log).
inline int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A test CA and a server certificate it signed, made by the fixture's
// script: "good" (localhost, 127.0.0.1), "othername" (mail.example.org
// only) or "expired".
class TestCertificate {
 public:
  explicit TestCertificate(const std::string& kind = "good") {
    const std::string cmd = std::string(TARNWICK_FIXTURES_DIR) + "/make_cert.sh " +
                            folder_.path().string() + " " + kind + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0)
      throw std::runtime_error("openssl could not make a certificate");
  }
  std::string Cert() const { return folder_.File("cert.pem"); }
  std::string Key() const { return folder_.File("key.pem"); }
  std::string Ca() const { return folder_.File("ca.pem"); }
  std::vector<std::string> ServerFlags() const { return {"--cert", Cert(), "--key", Key()}; }

 private:
  TempFolder folder_;
};
