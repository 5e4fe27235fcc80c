#include "SecretSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "AsciiText.h"
#include "CapturedCommand.h"
#include "Keyring.h"
#include "Places.h"
#include "ServerAddress.h"
#include "SwitchParser.h"

namespace SecretSource {
namespace {

constexpr std::size_t kLongest = std::size_t{64} * 1024;  // no password file is larger

const char* Env(const char* name) {
  return std::getenv(name);  // NOLINT(concurrency-mt-unsafe): read before any thread writes it
}

bool IsEnvName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  return name.find_first_not_of(
             "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") ==
         std::string_view::npos;
}

bool IsCredentialName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A path as the user wrote it: "~/" is their home, a relative name lies
// next to the program (the user's copy first), as CAFile's does.
std::string ResolvePath(const std::string& path) {
  if (path.rfind("~/", 0) == 0) {
    const char* home = Env("HOME");
    return std::string(home != nullptr ? home : "") + path.substr(1);
  }
  if (!path.empty() && path.front() == '/') return path;
  return Places::Find(path);
}

std::string ErrorText(int error) {
  return std::strerror(error);  // NOLINT(concurrency-mt-unsafe): text of a fixed number
}

// The first line of a regular file; `what` names it in the problem.
Result FirstLineOf(const std::string& path, const std::string& what, bool privateOnly) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return {error == ENOENT ? Status::NotFound : Status::Unreadable, "",
            what + " cannot be read: " + ErrorText(error) + "."};
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return {Status::Unreadable, "", what + " is not a regular file."};
  }
  if (privateOnly && (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    ::close(fd);
    return {Status::Unreadable, "",
            what + " can be read by other users; make it private (chmod 600 " + path +
                ") and try again."};
  }
  std::string text;
  char buffer[4096];
  for (ssize_t n; text.size() < kLongest && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  std::string line = text.substr(0, text.find('\n'));
  ::explicit_bzero(text.data(), text.size());
  while (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return {Status::NotFound, "", what + " holds no password on its first line."};
  return {Status::Found, line, ""};
}

Result FromCommand(const std::vector<std::string>& words) {
  const std::string name = Quoted(words.front());
  const auto run = CapturedCommand::Run(words, kCommandLimit);
  const std::string said = run.firstErrLine.empty() ? "" : ": " + run.firstErrLine;
  if (!run.started)
    return {Status::Failed, "",
            "The password command " + name + " could not be started: " + run.startProblem + "."};
  if (run.exitStatus < 0 && !run.timedOut) {
    return {Status::Failed, "",
            "The password command " + name + " could not be watched: " + run.startProblem + "."};
  }
  if (run.timedOut) {
    return {Status::Unavailable, "",
            "The password command " + name + " gave no password within " +
                std::to_string(kCommandLimit.count()) + " s and was stopped" + said};
  }
  // EX_TEMPFAIL: the command itself says a later try may work.
  constexpr int kTryLater = 75;
  if (run.exitStatus != 0) {
    return {run.exitStatus == kTryLater ? Status::Unavailable : Status::Failed, "",
            "The password command " + name + " failed with exit status " +
                std::to_string(run.exitStatus) + said};
  }
  if (run.firstOutLine.empty())
    return {Status::Failed, "", "The password command " + name + " printed no password" + said};
  return {Status::Found, run.firstOutLine, ""};
}

Result FromCredential(const std::string& name) {
  const char* folder = Env("CREDENTIALS_DIRECTORY");
  if (folder == nullptr || *folder == '\0') {
    return {Status::NotFound, "",
            "The systemd credential " + name +
                " is not there: CREDENTIALS_DIRECTORY is not set (start Tarnwick from a unit "
                "with LoadCredential=" +
                name + ":FILE)."};
  }
  const std::string path = std::string(folder) + "/" + name;
  return FirstLineOf(path, "The systemd credential " + name + " (" + path + ")", false);
}

Result FromEnvironment(const std::string& name) {
  const char* value = Env(name.c_str());
  if (value == nullptr || *value == '\0')
    return {Status::NotFound, "", "The environment variable " + name + " holds no password."};
  return {Status::Found, value, ""};
}

Result FromKeyring(const std::string& host, const std::string& user) {
  const Keyring::Result found = Keyring::Lookup(host, user);
  switch (found.status) {
    case Keyring::Status::Found:
      return {Status::Found, found.secret, ""};
    case Keyring::Status::NotFound:
      return {Status::NotFound, "", found.message};
    case Keyring::Status::Unavailable:
      return {Status::Unavailable, "", found.message};
    case Keyring::Status::Failed:
      break;
  }
  return {Status::Failed, "", found.message};
}

}  // namespace

Source Parse(std::string_view setting) {
  Source source;
  const std::string text = SwitchParser::TrimSpaces(setting);
  if (text.empty()) return source;
  const std::size_t space = text.find(' ');
  const std::string form = AsciiText::Lower(text.substr(0, space));
  const std::string rest =
      space == std::string::npos ? "" : SwitchParser::TrimSpaces(text.substr(space + 1));
  const std::string one = SwitchParser::StripQuotes(rest);
  // Only a known form's word is repeated: a password typed here by
  // mistake must not reach standard error or the log.
  auto bad = [&](const std::string& why) {
    source.problem = "The " + std::string(kKey) + " setting " + why;
    return source;
  };
  if (form == "keyring" && rest.empty()) {
    source.form = Form::Keyring;
  } else if (form == "command" && !rest.empty()) {
    source.form = Form::Command;
    source.words = SwitchParser::SplitCommandLine(rest);
    if (source.words.empty()) return bad("\"command\" names no program.");
  } else if (form == "file" && !one.empty()) {
    source.form = Form::File;
    source.words = {one};
  } else if (form == "credential") {
    if (!IsCredentialName(one)) return bad("\"credential\" needs a name without \"/\".");
    source.form = Form::Credential;
    source.words = {one};
  } else if (form == "env") {
    if (!IsEnvName(one)) return bad("\"env\" needs the name of an environment variable.");
    source.form = Form::Env;
    source.words = {one};
  } else {
    return bad(
        "is none of: keyring, command PROGRAM [ARGS...], file PATH, credential NAME, env NAME "
        "(its text is not repeated here, in case it is the password itself).");
  }
  return source;
}

std::string Describe(const Source& source) {
  switch (source.form) {
    case Form::Settings:
      return "Tarnwick.ini";
    case Form::Keyring:
      return "the keyring";
    case Form::Command:
      return "the command " + source.words.front();
    case Form::File:
      return "the file " + source.words.front();
    case Form::Credential:
      return "the systemd credential " + source.words.front();
    case Form::Env:
      return "the environment variable " + source.words.front();
  }
  return {};
}

std::string KeyringHost(std::string_view server) {
  const std::string text = SwitchParser::TrimSpaces(server);
  const auto parsed = ServerAddress::Parse(text);
  return parsed ? parsed->host : text;
}

Result Fetch(const Source& source, const std::string& host, const std::string& user) {
  if (!source.problem.empty()) return {Status::BadSetting, "", source.problem};
  switch (source.form) {
    case Form::Keyring:
      return FromKeyring(host, user);
    case Form::Command:
      return FromCommand(source.words);
    case Form::File: {
      const std::string path = ResolvePath(source.words.front());
      return FirstLineOf(path, "The password file " + path, true);
    }
    case Form::Credential:
      return FromCredential(source.words.front());
    case Form::Env:
      return FromEnvironment(source.words.front());
    case Form::Settings:
      break;
  }
  return {Status::BadSetting, "", "The password is kept in Tarnwick.ini, not in another source."};
}

}  // namespace SecretSource
