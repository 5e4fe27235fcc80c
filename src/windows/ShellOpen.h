#pragma once
// Opening a document, web address or mailto: link with the desktop's
// handler; a text without a scheme is a web address. Tests put a recording
// opener in place.
#include <functional>
#include <string>

namespace ShellOpen {

using Opener = std::function<bool(const std::string& target)>;

// True when the desktop took the target.
bool Open(const std::string& target);

// Replaces the desktop opener; an empty function puts it back.
void SetOpenerForTesting(Opener opener);

}  // namespace ShellOpen
