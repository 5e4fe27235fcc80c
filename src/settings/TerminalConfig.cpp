#include "TerminalConfig.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <string>

#include "CommandLine.h"
#include "IniFile.h"
#include "SettingsFile.h"
#include "StoredPassword.h"

namespace TerminalConfig {
namespace {

constexpr const char* kSection = "Options";

struct Field {
  const char* label;
  const char* key;
};
// The window's fields, in its tab order.
constexpr Field kFields[] = {{"From", "From"},
                             {"To", "To"},
                             {"Subject", "Subject"},
                             {"Message", "Message"},
                             {"Attachment", "Attachment"},
                             {"Server", "SMTPServer"},
                             {"UserName", "SMTPUserName"},
                             {"Password", "SMTPPassword"}};

// Echo is given back even when a signal ends the program mid-password.
termios savedModes{};
int echoFd = -1;

extern "C" void RestoreEcho(int signal) {
  if (echoFd >= 0) ::tcsetattr(echoFd, TCSANOW, &savedModes);
  (void)std::signal(signal, SIG_DFL);
  (void)std::raise(signal);
}

void Write(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// One line without its end; nothing at the end of input.
std::optional<std::string> ReadLine(int fd) {
  std::string line;
  char c = 0;
  for (;;) {
    const ssize_t n = ::read(fd, &c, 1);
    if (n <= 0) {
      if (line.empty()) return std::nullopt;
      return line;
    }
    if (c == '\n') break;
    if (c != '\r') line += c;
  }
  return line;
}

std::optional<std::string> ReadHidden(int in, int out) {
  termios modes{};
  const bool terminal = ::tcgetattr(in, &modes) == 0;
  if (terminal) {
    savedModes = modes;
    echoFd = in;
    (void)std::signal(SIGINT, RestoreEcho);
    (void)std::signal(SIGTERM, RestoreEcho);
    modes.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    modes.c_lflag |= ECHONL;
    ::tcsetattr(in, TCSANOW, &modes);
  }
  auto line = ReadLine(in);
  if (terminal) {
    ::tcsetattr(in, TCSANOW, &savedModes);
    echoFd = -1;
    (void)std::signal(SIGINT, SIG_DFL);
    (void)std::signal(SIGTERM, SIG_DFL);
  } else {
    Write(out, "\n");
  }
  return line;
}

}  // namespace

int Run(int in, int out) {
  const std::string readPath = SettingsFile::ForReading();
  if (auto problem = SettingsFile::ReadProblem(readPath); !problem.empty()) {
    Write(out, "Tarnwick: " + problem + "\n");
    return 2;
  }
  Write(out, "Tarnwick configuration (" + readPath +
                 ").\nEnter keeps the value in brackets; a lone \"-\" empties it.\n\n");
  std::string values[std::size(kFields)];
  for (std::size_t i = 0; i < std::size(kFields); ++i) {
    std::string current;
    ProcLib::ReadIni(readPath, kSection, kFields[i].key, current);
    const bool password = i + 1 == std::size(kFields);
    std::string shown = current;
    if (password) {
      const auto plain = StoredPassword::Decipher(current, CommandLine::CipherKey);
      if (!plain) {
        Write(out,
              StoredPassword::NotHexMessage(readPath, StoredPassword::Reader::Terminal) + "\n");
        current.clear();
      } else {
        current = *plain;
      }
      shown = current.empty() ? "none" : "stored";  // never the password itself
    }
    Write(out, std::string(kFields[i].label) + " [" + shown + "]: ");
    const auto answer = password ? ReadHidden(in, out) : ReadLine(in);
    if (!answer) {
      Write(out, "\nNothing was saved.\n");
      return 1;
    }
    values[i] = answer->empty() ? current : (*answer == "-" ? std::string() : *answer);
  }
  std::string problem;
  const std::string savePath = SettingsFile::ForSaving(problem);
  if (savePath.empty()) {
    Write(out, "Tarnwick: " + problem + " Nothing was saved.\n");
    return 2;
  }
  for (std::size_t i = 0; i < std::size(kFields); ++i) {
    const bool password = i + 1 == std::size(kFields);
    const std::string value =
        password ? StoredPassword::Encipher(values[i], CommandLine::CipherKey) : values[i];
    if (!ProcLib::WriteIni(savePath, kSection, kFields[i].key, value)) {
      Write(out, "Tarnwick: the settings could not be saved to " + savePath + ".\n");
      return 2;
    }
  }
  Write(out, "Saved to " + savePath + ".\n");
  return 0;
}

}  // namespace TerminalConfig
