#include "Keyring.h"

#include "KeyringEntry.h"
#include "ModuleLoader.h"

namespace Keyring {
namespace {

struct Library {
  KeyringEntry::Lookup lookup = nullptr;
  KeyringEntry::Store store = nullptr;
  KeyringEntry::Ping ping = nullptr;
  KeyringEntry::Free free = nullptr;
  std::string problem;
};

const Library& Load() {
  static const Library loaded = [] {
    Library library;
    void* handle = ModuleLoader::Open(KeyringEntry::kFileName, library.problem);
    if (handle == nullptr) {
      library.problem =
          "The keyring cannot be used: " + library.problem + " (libsecret-1-0 must be installed).";
      return library;
    }
    library.lookup = ModuleLoader::Symbol<KeyringEntry::Lookup>(handle, KeyringEntry::kLookupName);
    library.store = ModuleLoader::Symbol<KeyringEntry::Store>(handle, KeyringEntry::kStoreName);
    library.ping = ModuleLoader::Symbol<KeyringEntry::Ping>(handle, KeyringEntry::kPingName);
    library.free = ModuleLoader::Symbol<KeyringEntry::Free>(handle, KeyringEntry::kFreeName);
    if (library.lookup == nullptr || library.store == nullptr || library.ping == nullptr ||
        library.free == nullptr) {
      library.problem = std::string("The keyring cannot be used: ") + KeyringEntry::kFileName +
                        " lacks its entry points.";
    }
    return library;
  }();
  return loaded;
}

Status StatusOf(int status) {
  switch (status) {
    case KeyringEntry::kFound:
      return Status::Found;
    case KeyringEntry::kNotFound:
      return Status::NotFound;
    case KeyringEntry::kUnavailable:
      return Status::Unavailable;
    default:
      return Status::Failed;
  }
}

// Takes a string the library handed over, wiping and freeing its copy.
std::string Take(const Library& library, char* text) {
  std::string taken = text != nullptr ? text : "";
  library.free(text);
  return taken;
}

// A word a shell takes as it stands, else in single quotes.
std::string ShellWord(const std::string& word) {
  const bool plain = !word.empty() && word.find_first_not_of(
                                          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "0123456789@%+=:,./_-") == std::string::npos;
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

Result Lookup(const std::string& host, const std::string& user) {
  const Library& library = Load();
  if (!library.problem.empty()) return {Status::Failed, "", library.problem};
  char* secret = nullptr;
  char* message = nullptr;
  const int status = library.lookup(host.c_str(), user.c_str(), &secret, &message);
  Result result{StatusOf(status), Take(library, secret), Take(library, message)};
  if (result.status == Status::NotFound) {
    result.message = "No password for " + user + "@" + host +
                     " is in the keyring. Store one with: " + StoreCommand(host, user);
  }
  return result;
}

Result Store(const std::string& host, const std::string& user, const std::string& secret) {
  const Library& library = Load();
  if (!library.problem.empty()) return {Status::Failed, "", library.problem};
  char* message = nullptr;
  const int status = library.store(host.c_str(), user.c_str(), Label(host, user).c_str(),
                                   secret.c_str(), &message);
  return {StatusOf(status), "", Take(library, message)};
}

bool Answers() {
  const Library& library = Load();
  if (!library.problem.empty()) return false;
  char* message = nullptr;
  const int status = library.ping(&message);
  Take(library, message);
  return status == KeyringEntry::kFound;
}

std::string Label(const std::string& host, const std::string& user) {
  return "Tarnwick SMTP password for " + user + "@" + host;
}

std::string StoreCommand(const std::string& host, const std::string& user) {
  return "secret-tool store --label=" + ShellWord(Label(host, user)) + " host " + ShellWord(host) +
         " service smtp user " + ShellWord(user);
}

}  // namespace Keyring
