#pragma once
// The configuration's load and save, shared by the window and the terminal:
// the fields of the settings table read from the file a run reads, the
// password from where SMTPPasswordFrom keeps it; saved where the next run
// reads, the password enciphered into the file or stored in the keyring,
// every other line of the file kept.
#include <string>
#include <vector>

#include "SecretSource.h"
#include "StoredPassword.h"

namespace ConfigFields {

inline constexpr const char* kPasswordKey = "SMTPPassword";

struct Loaded {
  std::string path;                 // the file read
  std::vector<std::string> values;  // one per SettingsKeys::Fields(), the password in plain text
  std::string readProblem;          // the file is there but cannot be read
  std::string passwordProblem;      // the stored password cannot be read; it reads as empty
  // SMTPPasswordFrom as read. The terminal may change it between "" and
  // "keyring" before saving; any other source keeps the password out of reach.
  std::string passwordFrom;
  std::string loadedHost, loadedUser;  // the keyring item the password came from
};

// `reader` decides how the not-hex message tells the user to mend it.
Loaded Load(StoredPassword::Reader reader);

// Where the password is kept, and so whether its field edits it: not when
// a command, file, credential or variable supplies it.
struct PasswordPlace {
  bool editable = true;
  bool keyring = false;
  std::string where;  // "the command pass", for a tooltip or a terminal line
};
PasswordPlace WherePasswordIs(const Loaded& loaded);

// The password field's position among the values.
std::size_t PasswordIndex();

struct Saved {
  std::string path;     // empty: there is nowhere to save, `problem` says why
  std::string problem;  // also: the keyring did not take the password
  bool written = false;
};

// Saves `values` (edited from `loaded`).
Saved Save(const std::vector<std::string>& values, const Loaded& loaded);

}  // namespace ConfigFields
