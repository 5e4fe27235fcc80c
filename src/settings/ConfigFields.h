#pragma once
// The configuration's load and save, shared by the window and the terminal:
// the fields of the settings table read from the file a run reads, the
// password deciphered; saved where the next run reads, the password
// enciphered, every other line of the file kept.
#include <string>
#include <vector>

#include "StoredPassword.h"

namespace ConfigFields {

inline constexpr const char* kPasswordKey = "SMTPPassword";

struct Loaded {
  std::string path;                 // the file read
  std::vector<std::string> values;  // one per SettingsKeys::Fields(), the password in plain text
  std::string readProblem;          // the file is there but cannot be read
  std::string passwordProblem;      // the stored password is not hex; it reads as empty
};

// `reader` decides how the not-hex message tells the user to mend it.
Loaded Load(StoredPassword::Reader reader);

struct Saved {
  std::string path;     // empty: there is nowhere to save, `problem` says why
  std::string problem;  //
  bool written = false;
};

Saved Save(const std::vector<std::string>& values);

}  // namespace ConfigFields
