#include "ConfigFields.h"

#include "IniFile.h"
#include "SettingsFile.h"
#include "SettingsKeys.h"

namespace ConfigFields {

Loaded Load(StoredPassword::Reader reader) {
  Loaded loaded;
  loaded.path = SettingsFile::ForReading();
  loaded.readProblem = SettingsFile::ReadProblem(loaded.path);
  for (const auto& key : SettingsKeys::Fields()) {
    std::string value = IniFile::Read(loaded.path, SettingsKeys::kSection, std::string(key.name));
    if (key.name == kPasswordKey) {
      // A hand-edited password that is not hex: say so, and start it empty.
      const auto password = StoredPassword::Decipher(value);
      if (!password) loaded.passwordProblem = StoredPassword::NotHexMessage(loaded.path, reader);
      value = password.value_or("");
    }
    loaded.values.push_back(std::move(value));
  }
  return loaded;
}

Saved Save(const std::vector<std::string>& values) {
  Saved saved;
  saved.path = SettingsFile::ForSaving(saved.problem);
  if (saved.path.empty()) return saved;
  const auto keys = SettingsKeys::Fields();
  for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i) {
    const std::string value =
        keys[i].name == kPasswordKey ? StoredPassword::Encipher(values[i]) : values[i];
    if (!IniFile::Write(saved.path, SettingsKeys::kSection, std::string(keys[i].name), value))
      return saved;
  }
  saved.written = true;
  return saved;
}

}  // namespace ConfigFields
