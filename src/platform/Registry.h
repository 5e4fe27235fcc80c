#pragma once
// The registry's open/query/close contract, over a store that Linux fills
// with what it has: the system-information entry names the first
// system-information program found on PATH. Tests inject their own store.
#include <cstdint>
#include <memory>
#include <string>

namespace Registry {

inline constexpr std::uint32_t kLocalMachine = 0x80000002U;
inline constexpr std::uint32_t kTypeString = 1;
inline constexpr std::uint32_t kTypeNumber = 4;
inline constexpr long kSuccess = 0;
inline constexpr long kNotFound = 2;
inline constexpr long kMoreData = 234;

class Store {
 public:
  virtual ~Store() = default;
  // 0 and a key handle when the key is there.
  virtual long OpenKey(std::uint32_t root, const std::string& key, std::uint32_t access,
                       std::uintptr_t& handle) = 0;
  // 0 with type, data and its length; kMoreData when it needs more than `size`.
  virtual long QueryValue(std::uintptr_t handle, const std::string& value, std::uint32_t& type,
                          char* data, std::uint32_t& size) = 0;
  virtual long CloseKey(std::uintptr_t handle) = 0;
};

Store& Current();
void SetStoreForTesting(std::unique_ptr<Store> store);  // nullptr: the Linux store again

}  // namespace Registry
