#include "SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "Places.h"
#include "ProgramFolder.h"

namespace SettingsFile {
namespace {
constexpr const char* kName = "Tarnwick.ini";
}  // namespace

std::string ForReading() { return Places::FindAdminFile(kName); }

std::string ReadProblem(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return errno == ENOENT ? std::string()
                           : "The settings file " + path + " cannot be read: " +
                                 std::error_code(errno, std::generic_category()).message() + ".";
  }
  if (!S_ISREG(info.st_mode)) return "The settings file " + path + " is not a file.";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    return "The settings file " + path +
           " cannot be read: " + std::error_code(errno, std::generic_category()).message() + ".";
  }
  ::close(fd);
  return {};
}

std::string ForSaving(std::string& problem) {
  std::string path = Places::ForWriting(kName, problem);
  if (path.empty() || Places::Portable()) return path;
  std::error_code error;
  const std::string shared = Places::AdminFile(kName);
  if (!std::filesystem::exists(path, error) && ReadProblem(shared).empty() &&
      std::filesystem::exists(shared, error)) {
    std::filesystem::copy_file(shared, path, error);
    // The copy will hold the user's password: the user's alone.
    std::filesystem::permissions(
        path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, error);
  }
  return path;
}

}  // namespace SettingsFile
