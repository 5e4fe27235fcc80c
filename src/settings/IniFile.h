#pragma once
// The settings file: one key per read or write of an INI file. Section and
// key names match without regard to case; a value reads back at most 259
// bytes; a missing file, section or key reads as empty.
#include <functional>
#include <string>

namespace IniFile {

inline constexpr std::size_t kIniValueLimit = 259;

// The key's value, or empty when there is none.
std::string Read(const std::string& fileName, const std::string& section, const std::string& key);

// Sets the key, creating file, section and key as needed. Every other line
// is kept; the file is replaced atomically, and a new one is readable by its
// owner only. Returns false (and leaves the file as it was) when the write
// fails or the value holds a line break, which the format cannot store.
bool Write(const std::string& fileName, const std::string& section, const std::string& key,
           const std::string& value);

// Called after the new text is written and before it replaces the file;
// returning false abandons the write. Lets tests stand in for a crash there.
void SetIniBeforeReplaceHookForTesting(std::function<bool()> hook);

}  // namespace IniFile
