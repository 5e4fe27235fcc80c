#include "ArgumentText.h"

#include <utility>

namespace ArgumentText {
namespace {
std::string& Stored() {
  static std::string text;
  return text;
}
}  // namespace

std::string FromArgv(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i] != nullptr ? argv[i] : "";
    if (i > 1) text += ' ';
    if (word.empty() || word.find(' ') != std::string::npos) {
      text += '"' + word + '"';
    } else {
      text += word;
    }
  }
  return text;
}

const std::string& Get() { return Stored(); }

void Set(std::string text) { Stored() = std::move(text); }

}  // namespace ArgumentText
