#pragma once
// Splits the server's bytes into SMTP replies ("250-..." lines up to a
// "250 ..." line). A reply over 64 KB or 1,000 lines, or a line that does
// not start with a reply code, is an error: memory stays bounded whatever
// the server sends.
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SmtpReply {
  int code = 0;
  std::vector<std::string> lines;  // without the code and separator, control bytes removed

  bool Positive() const { return code >= 200 && code < 300; }
  std::string Text() const;            // the lines joined by spaces
  std::string Display() const;         // "250-a\r\n250 b", as the server sent it, cleaned
  std::string EnhancedStatus() const;  // "2.0.0" when the first line starts with one
};

class ReplyParser {
 public:
  static constexpr std::size_t kMaxReplyBytes = std::size_t{64} * 1024;
  static constexpr std::size_t kMaxReplyLines = 1000;

  // Takes bytes; complete replies go to Take(). False once the input broke a
  // rule (see Problem()); nothing more is accepted then.
  bool Feed(std::string_view bytes);
  std::optional<SmtpReply> Take();
  bool Pending() const { return !partial_.empty() || !current_.lines.empty(); }
  void Clear();  // drops whatever came before (the STARTTLS handshake)
  const std::string& Problem() const { return problem_; }

 private:
  bool Line(std::string_view line);

  std::string partial_;  // an unfinished line
  SmtpReply current_;
  std::size_t currentBytes_ = 0;
  std::deque<SmtpReply> done_;
  std::string problem_;
};
