#include "Registry.h"

#include <QStandardPaths>
#include <QString>
#include <array>
#include <cstring>

namespace Registry {
namespace {

constexpr std::uintptr_t kMsInfoKey = 1;

// The entry Windows keeps for its system-information tool, pointed at what
// this machine offers instead.
class LinuxStore : public Store {
 public:
  long OpenKey(std::uint32_t root, const std::string& key, std::uint32_t /*access*/,
               std::uintptr_t& handle) override {
    if (root != kLocalMachine || key != R"(SOFTWARE\Microsoft\Shared Tools\MSINFO)")
      return kNotFound;
    handle = kMsInfoKey;
    return kSuccess;
  }

  long QueryValue(std::uintptr_t handle, const std::string& value, std::uint32_t& type, char* data,
                  std::uint32_t& size) override {
    if (handle != kMsInfoKey || value != "PATH") return kNotFound;
    const std::string path = Tool();
    if (path.empty()) return kNotFound;
    if (path.size() + 1 > size) return kMoreData;
    std::memcpy(data, path.c_str(), path.size() + 1);
    size = static_cast<std::uint32_t>(path.size() + 1);
    type = kTypeString;
    return kSuccess;
  }

  long CloseKey(std::uintptr_t /*handle*/) override { return kSuccess; }

 private:
  static std::string Tool() {
    static constexpr std::array<const char*, 5> kTools = {
        "hardinfo2", "hardinfo", "gnome-system-monitor", "kinfocenter", "xfce4-taskmanager"};
    for (const char* tool : kTools) {
      const QString found = QStandardPaths::findExecutable(tool);
      if (!found.isEmpty()) return found.toStdString();
    }
    return {};
  }
};

std::unique_ptr<Store>& Installed() {
  static std::unique_ptr<Store> store = std::make_unique<LinuxStore>();
  return store;
}

}  // namespace

Store& Current() { return *Installed(); }

void SetStoreForTesting(std::unique_ptr<Store> store) {
  Installed() = store ? std::move(store) : std::make_unique<LinuxStore>();
}

}  // namespace Registry
