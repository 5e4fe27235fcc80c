#pragma once
// Opening a document, web address or mailto: link with the desktop's
// handler. Results follow the old shell rule: above 32 is success, 32 or
// below failure. Tests put a recording opener in place.
#include <functional>
#include <string>

namespace ShellOpen {

using Opener = std::function<int(const std::string& target)>;

int Open(const std::string& target);

// Replaces the desktop opener; an empty function puts it back.
void SetOpenerForTesting(Opener opener);

}  // namespace ShellOpen
