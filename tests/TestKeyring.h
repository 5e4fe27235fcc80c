#pragma once
// A headless Secret Service of the test's own: a private D-Bus session
// (dbus-run-session) with gnome-keyring unlocked by a password, its keyrings
// in a temporary home. It ends, bus and keyring, when the object goes.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "TempFolder.h"

extern char** environ;  // NOLINT(readability-redundant-declaration)

class TestKeyring {
 public:
  TestKeyring() {
    const std::string runtime = home_.File("run");
    ::mkdir(runtime.c_str(), 0700);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("WAYLAND_DISPLAY=", 0) != 0 &&
          entry.rfind("DBUS_SESSION_BUS_ADDRESS=", 0) != 0)
        env.push_back(entry);
    }
    env.push_back("HOME=" + home_.path().string());
    env.push_back("XDG_DATA_HOME=" + home_.File("data"));
    env.push_back("XDG_RUNTIME_DIR=" + runtime);
    std::vector<char*> cenv;
    for (auto& e : env) cenv.push_back(e.data());
    cenv.push_back(nullptr);
    // The keyring needs a non-empty password to be created unlocked; the
    // session lasts until our end of its input closes.
    std::string script =
        "printf %s test-keyring-password | gnome-keyring-daemon --unlock --components=secrets "
        ">/dev/null 2>&1 || exit 1; echo \"BUS $DBUS_SESSION_BUS_ADDRESS\"; exec cat >/dev/null";
    std::vector<std::string> argv = {"/usr/bin/dbus-run-session", "--", "/bin/sh", "-c", script};
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (::posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, cargv.data(), cenv.data()) != 0)
      throw std::runtime_error("cannot start dbus-run-session");
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    input_ = toChild[1];
    FILE* out = ::fdopen(fromChild[0], "r");
    char line[512] = {};
    if (out == nullptr || std::fgets(line, sizeof line, out) == nullptr ||
        std::string(line).rfind("BUS ", 0) != 0) {
      if (out != nullptr) std::fclose(out);
      throw std::runtime_error("the test keyring did not start");
    }
    std::fclose(out);
    address_ = std::string(line + 4);
    while (!address_.empty() && address_.back() == '\n') address_.pop_back();
  }
  ~TestKeyring() {
    ::close(input_);  // the session's shell ends, and the bus and keyring with it
    ::waitpid(pid_, nullptr, 0);
  }
  TestKeyring(const TestKeyring&) = delete;
  TestKeyring& operator=(const TestKeyring&) = delete;

  // For a program that is to find this keyring.
  std::string BusEnv() const { return "DBUS_SESSION_BUS_ADDRESS=" + address_; }

  // secret-tool, as a user would run it; its exit status.
  int Store(const std::string& host, const std::string& user, const std::string& secret) const {
    FILE* pipe = ::popen(
        Tool("store --label=test host " + host + " service smtp user " + user).c_str(), "w");
    if (pipe == nullptr) return -1;
    std::fputs(secret.c_str(), pipe);
    return ::pclose(pipe);
  }
  // Locks the keyring the daemon made ("login") through the Secret
  // Service's own Lock call; its exit status.
  int Lock() const {
    const std::string script =
        "import dbus; s = dbus.Interface(dbus.SessionBus().get_object("
        "'org.freedesktop.secrets', '/org/freedesktop/secrets'), "
        "'org.freedesktop.Secret.Service'); "
        "s.Lock(['/org/freedesktop/secrets/collection/login'])";
    return std::system(
        ("DBUS_SESSION_BUS_ADDRESS='" + address_ + "' /usr/bin/python3 -c \"" + script + "\"")
            .c_str());
  }
  std::string Lookup(const std::string& host, const std::string& user) const {
    FILE* pipe = ::popen(Tool("lookup host " + host + " service smtp user " + user).c_str(), "r");
    if (pipe == nullptr) return "";
    std::string found;
    char buffer[256];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      found.append(buffer, n);
    ::pclose(pipe);
    return found;
  }

 private:
  std::string Tool(const std::string& args) const {
    return "DBUS_SESSION_BUS_ADDRESS='" + address_ + "' secret-tool " + args;
  }

  TempFolder home_;
  pid_t pid_ = -1;
  int input_ = -1;
  std::string address_;
};
