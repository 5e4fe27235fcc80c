#include "TerminalConfig.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "ConfigFields.h"
#include "Keyring.h"
#include "SettingsKeys.h"

namespace TerminalConfig {
namespace {

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

// Echo goes off before the prompt is shown, so nothing typed ahead of it
// shows either.
std::optional<std::string> ReadHidden(int in, int out, const std::string& prompt) {
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
  Write(out, prompt);
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

// The label the window shows, without its colon: "Server", "Password".
std::string Prompt(const SettingsKeys::Key& key) {
  std::string caption(key.field.caption);
  if (!caption.empty() && caption.back() == ':') caption.pop_back();
  return caption;
}

// Where the typed password goes, asked after it (so nothing typed ahead is
// echoed) and only when a keyring answers. False when input ended.
bool AskWhereToKeep(int in, int out, ConfigFields::Loaded& loaded, std::string& value,
                    const std::string& current) {
  const bool keyring = ConfigFields::WherePasswordIs(loaded).keyring;
  if (!Keyring::Answers()) {
    if (keyring && value != current) {
      Write(out, "The keyring does not answer now; the password was not stored.\n");
      value = current;
    }
    return true;
  }
  for (;;) {
    Write(out, std::string("Keep the password 1) enciphered in Tarnwick.ini (hidden from a glance "
                           "only) or 2) in the keyring [") +
                   (keyring ? "2" : "1") + "]: ");
    const auto answer = ReadLine(in);
    if (!answer) return false;
    if (answer->empty()) return true;
    if (*answer == "1" || *answer == "2") {
      loaded.passwordFrom = *answer == "2" ? "keyring" : "";
      return true;
    }
  }
}

}  // namespace

int Run(int in, int out) {
  ConfigFields::Loaded loaded = ConfigFields::Load(StoredPassword::Reader::Terminal);
  if (!loaded.readProblem.empty()) {
    Write(out, "Tarnwick: " + loaded.readProblem + "\n");
    return 2;
  }
  Write(out, "Tarnwick configuration (" + loaded.path +
                 ").\nEnter keeps the value in brackets; a lone \"-\" empties it.\n\n");
  const auto keys = SettingsKeys::Fields();
  std::vector<std::string> values;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const bool password = keys[i].name == ConfigFields::kPasswordKey;
    const std::string& current = loaded.values[i];
    if (password && !loaded.passwordProblem.empty()) Write(out, loaded.passwordProblem + "\n");
    const ConfigFields::PasswordPlace place =
        password ? ConfigFields::WherePasswordIs(loaded) : ConfigFields::PasswordPlace{};
    if (!place.editable) {
      Write(out, "Password: comes from " + place.where + " (SMTPPasswordFrom in " + loaded.path +
                     "); change it there.\n");
      values.push_back(current);
      continue;
    }
    // Never the password itself.
    const std::string shown = !password ? current : (current.empty() ? "none" : "stored");
    const std::string prompt = Prompt(keys[i]) + " [" + shown + "]: ";
    if (!password) Write(out, prompt);
    const auto answer = password ? ReadHidden(in, out, prompt) : ReadLine(in);
    if (!answer) {
      Write(out, "\nNothing was saved.\n");
      return 1;
    }
    std::string value = answer->empty() ? current : (*answer == "-" ? std::string() : *answer);
    if (password && !AskWhereToKeep(in, out, loaded, value, current)) {
      Write(out, "\nNothing was saved.\n");
      return 1;
    }
    values.push_back(std::move(value));
  }
  const ConfigFields::Saved saved = ConfigFields::Save(values, loaded);
  if (saved.path.empty()) {
    Write(out, "Tarnwick: " + saved.problem + " Nothing was saved.\n");
    return 2;
  }
  if (!saved.written && !saved.problem.empty()) {
    Write(out, "Tarnwick: " + saved.problem + " Nothing was saved.\n");
    return 2;
  }
  if (!saved.written) {
    Write(out, "Tarnwick: the settings could not be saved to " + saved.path + ".\n");
    return 2;
  }
  Write(out, "Saved to " + saved.path + ".\n");
  return 0;
}

}  // namespace TerminalConfig
