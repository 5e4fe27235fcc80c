#include "ReplyParser.h"

#include "MailText.h"

namespace {

int Code(std::string_view line) {
  if (line.size() < 3) return 0;
  int code = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    code = code * 10 + (line[i] - '0');
  }
  return code >= 100 ? code : 0;
}

}  // namespace

std::string SmtpReply::Text() const {
  std::string out;
  for (const auto& line : lines) {
    if (line.empty()) continue;
    if (!out.empty()) out += ' ';
    out += line;
  }
  return out;
}

std::string SmtpReply::Display() const {
  std::string out;
  const std::string number = std::to_string(code);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out += "\r\n";
    out += number;
    out += i + 1 < lines.size() ? '-' : ' ';
    out += lines[i];
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string SmtpReply::EnhancedStatus() const {
  if (lines.empty()) return {};
  const std::string& first = lines.front();
  // class.subject.detail, each a number: "5.1.1", "4.7.0"
  const auto end = first.find(' ');
  std::string word = first.substr(0, end);
  int dots = 0;
  bool digitBefore = false;
  for (const char c : word) {
    if (c == '.') {
      if (!digitBefore) return {};
      ++dots;
      digitBefore = false;
    } else if (c >= '0' && c <= '9') {
      digitBefore = true;
    } else {
      return {};
    }
  }
  if (dots != 2 || !digitBefore || word[0] != static_cast<char>('0' + code / 100)) return {};
  return word;
}

bool ReplyParser::Feed(std::string_view bytes) {
  if (!problem_.empty()) return false;
  while (!bytes.empty()) {
    const auto newline = bytes.find('\n');
    const auto piece = bytes.substr(0, newline);
    if (partial_.size() + piece.size() + currentBytes_ > kMaxReplyBytes) {
      problem_ = "a reply longer than " + std::to_string(kMaxReplyBytes / 1024) + " KB";
      return false;
    }
    partial_.append(piece);
    if (newline == std::string_view::npos) break;
    bytes.remove_prefix(newline + 1);
    std::string line = std::move(partial_);
    partial_.clear();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!Line(line)) return false;
  }
  return true;
}

bool ReplyParser::Line(std::string_view line) {
  const int code = Code(line);
  if (code == 0 || (line.size() > 3 && line[3] != ' ' && line[3] != '-') ||
      (!current_.lines.empty() && code != current_.code)) {
    problem_ =
        "a reply line that is not SMTP: \"" + MailText::CleanServerText(line.substr(0, 60)) + "\"";
    return false;
  }
  if (current_.lines.size() >= kMaxReplyLines) {
    problem_ = "a reply of more than " + std::to_string(kMaxReplyLines) + " lines";
    return false;
  }
  current_.code = code;
  current_.lines.push_back(MailText::CleanServerText(line.size() > 4 ? line.substr(4) : ""));
  currentBytes_ += line.size() + 2;
  if (line.size() > 3 && line[3] == '-') return true;
  done_.push_back(std::move(current_));
  current_ = SmtpReply{};
  currentBytes_ = 0;
  return true;
}

std::optional<SmtpReply> ReplyParser::Take() {
  if (done_.empty()) return std::nullopt;
  SmtpReply reply = std::move(done_.front());
  done_.pop_front();
  return reply;
}

void ReplyParser::Clear() {
  partial_.clear();
  current_ = SmtpReply{};
  currentBytes_ = 0;
  done_.clear();
}
