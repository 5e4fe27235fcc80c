#pragma once
// Local names (root, www-data) made into addresses a remote server takes:
// the aliases file's line for the name ("root: admin@example.com, ops"),
// else its "default:" line, else name@LocalDomain. A name none of them
// maps is refused, never sent to a server to bounce.
#include <string>
#include <vector>

namespace LocalNames {

struct Mapped {
  std::vector<std::string> addresses;  // in order, each once
  std::string problem;                 // not empty: a name could not be mapped
};

// `aliasesPath` may name no file; `localDomain` may be empty.
Mapped Resolve(const std::vector<std::string>& recipients, const std::string& aliasesPath,
               const std::string& localDomain);

}  // namespace LocalNames
