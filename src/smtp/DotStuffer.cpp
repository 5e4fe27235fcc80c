#include "DotStuffer.h"

#include <cstring>

void DotStuffer::Add(std::string_view piece, std::string& out) {
  if (piece.empty()) return;
  std::size_t from = 0;
  // Only a "." right after a line feed (or at the very start) needs a copy.
  while (from < piece.size()) {
    if (lineStart_ && piece[from] == '.') out += '.';
    const void* found = std::memchr(piece.data() + from, '\n', piece.size() - from);
    if (found == nullptr) {
      out.append(piece.substr(from));
      lineStart_ = false;
      break;
    }
    const auto end = static_cast<std::size_t>(static_cast<const char*>(found) - piece.data()) + 1;
    out.append(piece.substr(from, end - from));
    from = end;
    lineStart_ = true;
  }
  afterCr_ = !lineStart_ && piece.back() == '\r';
}

void DotStuffer::Finish(std::string& out) {
  if (afterCr_) {
    out += "\n";
  } else if (!lineStart_) {
    out += "\r\n";
  }
  out += ".\r\n";
  lineStart_ = true;
  afterCr_ = false;
}
