#include "Places.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "ProgramFolder.h"

namespace Places {
namespace {

std::optional<bool>& PortableOverride() {
  static std::optional<bool> portable;
  return portable;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): read, never set
  return value != nullptr ? value : "";
}

// $XDG_... when it is an absolute path (relative ones are to be ignored), else
// $HOME and the default below it.
std::string XdgFolder(const char* variable, const char* fallback) {
  const std::string set = Env(variable);
  const std::string base = !set.empty() && set.front() == '/' ? set : Env("HOME") + "/" + fallback;
  return base + "/tarnwick";
}

// Folders of the system's programs: never a portable copy's, even for root.
bool SystemFolder(const std::string& folder) {
  for (const char* system : {"/usr/bin", "/usr/sbin", "/usr/local/bin", "/usr/local/sbin", "/bin",
                             "/sbin", "/usr/games"}) {
    if (folder == system) return true;
  }
  return false;
}

bool MakeFolder(const std::string& folder, std::string& problem) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), error);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    problem = "The folder " + folder +
              " cannot be made: " + std::error_code(errno, std::generic_category()).message() + ".";
    return false;
  }
  return true;
}

std::optional<std::string>& AdminFolderOverride() {
  static std::optional<std::string> folder;
  return folder;
}

std::string UserCopy(std::string_view name) {
  return UserFolder() + "/" + ProgramFolder::WithSlashes(name);
}

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

}  // namespace

bool Portable() {
  if (PortableOverride()) return *PortableOverride();
  const std::string folder = ProgramFolder::Get();
  return !SystemFolder(folder) && ::access(folder.c_str(), W_OK) == 0;
}

std::string UserFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config"); }

std::string StateFolder() { return XdgFolder("XDG_STATE_HOME", ".local/state"); }

std::string Find(std::string_view name) {
  if (Portable() || name.empty() || name.front() == '/') return ProgramFolder::FileIn(name);
  std::string own = UserCopy(name);
  return Exists(own) ? own : ProgramFolder::FileIn(name);
}

std::string AdminFile(std::string_view name) {
  if (Portable()) return ProgramFolder::FileIn(name);
  return AdminFolderOverride().value_or("/etc/tarnwick") + "/" + std::string(name);
}

std::string FindAdminFile(std::string_view name) {
  if (Portable()) return ProgramFolder::FileIn(name);
  std::string own = UserCopy(name);
  return Exists(own) ? own : AdminFile(name);
}

std::string ForWriting(std::string_view name, std::string& problem) {
  if (Portable()) return ProgramFolder::FileIn(name);
  const std::string folder = UserFolder();
  if (!MakeFolder(folder, problem)) return {};
  return folder + "/" + std::string(name);
}

std::string LogFile() {
  if (Portable()) return ProgramFolder::FileIn("Tarnwick.log");
  const std::string folder = StateFolder();
  std::string ignored;  // a folder that cannot be made shows as a log that cannot be written
  MakeFolder(folder, ignored);
  return folder + "/Tarnwick.log";
}

std::string OutboxFolder(std::string& problem) {
  std::string folder = Portable() ? ProgramFolder::FileIn("outbox") : StateFolder() + "/outbox";
  if (!MakeFolder(folder, problem)) return {};
  return folder;
}

void SetPortableForTesting(std::optional<bool> portable) { PortableOverride() = portable; }

void SetAdminFolderForTesting(std::optional<std::string> folder) {
  AdminFolderOverride() = std::move(folder);
}

}  // namespace Places
