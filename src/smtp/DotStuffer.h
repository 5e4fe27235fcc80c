#pragma once
// The message as it goes after DATA: a "." that starts a line is doubled,
// and the end is "\r\n.\r\n" (the line break only when the text does not
// end with one). Works on pieces, so no message is ever held whole.
#include <string>
#include <string_view>

class DotStuffer {
 public:
  // Appends `piece`, stuffed, to `out`.
  void Add(std::string_view piece, std::string& out);
  // Appends the end of data to `out`.
  void Finish(std::string& out);

 private:
  bool lineStart_ = true;
  bool afterCr_ = false;
};
