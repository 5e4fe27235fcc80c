#include "SubmittedMessage.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <istream>
#include <system_error>

#include "AsciiText.h"
#include "MailText.h"

namespace SubmittedMessage {
namespace {

constexpr std::size_t kChunk = std::size_t{64} * 1024;
// A header larger than this is no message a program means to send.
constexpr std::size_t kLongestHeader = std::size_t{1} << 20U;

// Buffered writes to the spool; the first failure is kept.
class Writer {
 public:
  explicit Writer(int fd) : fd_(fd) {}
  void Put(std::string_view text) {
    buffer_.append(text);
    size_ += text.size();
    if (buffer_.size() >= kChunk) Flush();
  }
  void Flush() {
    std::size_t done = 0;
    while (problem_.empty() && done < buffer_.size()) {
      const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) problem_ = std::error_code(errno, std::generic_category()).message();
      if (n > 0) done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
  }
  std::uint64_t Size() const { return size_; }
  const std::string& Problem() const { return problem_; }

 private:
  int fd_;
  std::string buffer_;
  std::uint64_t size_ = 0;
  std::string problem_;
};

// Lines ending in LF, read in large blocks; a line longer than `cap` comes
// in pieces (`whole` false for all but its last), so memory stays flat.
class LineReader {
 public:
  explicit LineReader(std::istream& in) : in_(in), buffer_(kChunk) {}
  bool Next(std::string& line, bool& whole, std::size_t cap) {
    line.clear();
    for (;;) {
      for (std::size_t i = at_; i < end_; ++i) {
        if (buffer_[i] == '\n') {
          line.append(buffer_.data() + at_, i - at_);
          at_ = i + 1;
          whole = true;
          return true;
        }
        if (line.size() + (i - at_) >= cap) {
          line.append(buffer_.data() + at_, i - at_);
          at_ = i;
          whole = false;
          return true;
        }
      }
      line.append(buffer_.data() + at_, end_ - at_);
      at_ = end_ = 0;
      in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
      end_ = static_cast<std::size_t>(in_.gcount());
      if (end_ == 0) {
        whole = true;
        ended_ = true;
        return !line.empty();
      }
    }
  }
  bool Ended() const { return ended_; }

 private:
  std::istream& in_;
  std::vector<char> buffer_;
  std::size_t at_ = 0, end_ = 0;
  bool ended_ = false;
};

bool Eight(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 127) return true;
  }
  return false;
}

std::string WithoutCr(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

struct Field {
  std::string name;                // as written
  std::vector<std::string> lines;  // the first and its continuation lines, without CR
  std::string Value() const {
    std::string value = lines.front().substr(lines.front().find(':') + 1);
    for (std::size_t i = 1; i < lines.size(); ++i) value += lines[i];
    return value;
  }
};

// A field name: printable characters but the colon, up to it.
bool StartsField(const std::string& line) {
  const auto colon = line.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    if (byte <= 32 || byte >= 127) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> Addresses(std::string_view value) {
  std::vector<std::string> found;
  std::string item;   // the current address's text, comments left out
  std::string angle;  // what stood inside <...>, when any
  bool inQuote = false, inAngle = false, hadAngle = false;
  int comment = 0;
  auto finish = [&] {
    const std::string address = hadAngle ? AsciiText::Trim(angle) : AsciiText::Trim(item);
    if (!address.empty()) found.push_back(address);
    item.clear();
    angle.clear();
    hadAngle = false;
  };
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (comment > 0) {
      if (c == '\\')
        ++i;
      else if (c == '(')
        ++comment;
      else if (c == ')')
        --comment;
      continue;
    }
    if (inQuote) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inQuote = false;
      if (!hadAngle) item += c;
      continue;
    }
    if (inAngle) {
      if (c == '>')
        inAngle = false;
      else
        angle += c;
      continue;
    }
    switch (c) {
      case '"':
        inQuote = true;
        item += c;
        break;
      case '(':
        comment = 1;
        break;
      case '<':
        inAngle = true;
        hadAngle = true;
        angle.clear();
        break;
      case ':':  // a group's name ends: what came before was no address
        item.clear();
        break;
      case ',':
      case ';':
        finish();
        break;
      default:
        item += c;
    }
  }
  finish();
  return found;
}

Result Read(std::istream& in, int out, const Options& options) {
  Result result;
  LineReader reader(in);
  std::vector<Field> fields;
  std::string line;
  bool whole = true;
  bool ended = false;      // the lone "." came
  bool bodyFirst = false;  // a line that is no field started the body
  std::size_t headerSize = 0;
  std::string firstBodyLine;
  while (reader.Next(line, whole, kLongestHeader)) {
    std::string text = WithoutCr(line);
    headerSize += line.size() + 1;
    if (headerSize > kLongestHeader) {
      result.problem = "the message's header is larger than 1 MB";
      result.badInput = true;
      return result;
    }
    if (options.dotEnds && text == ".") {
      ended = true;
      break;
    }
    if (text.empty()) break;
    if ((text[0] == ' ' || text[0] == '\t') && !fields.empty()) {
      fields.back().lines.push_back(text);
      continue;
    }
    if (!StartsField(text)) {
      bodyFirst = true;
      firstBodyLine = line;
      break;
    }
    fields.push_back({text.substr(0, text.find(':')), {text}});
  }
  bool hasDate = false, hasId = false, hasFrom = false;
  bool localFrom = false;  // a From of bare local names ("root (Cron Daemon)")
  for (const auto& field : fields) {
    const std::string name = field.name;
    if (MailText::SameLetters(name, "Date")) hasDate = true;
    if (MailText::SameLetters(name, "From")) {
      hasFrom = true;
      const auto from = Addresses(field.Value());
      localFrom = !from.empty() && std::none_of(from.begin(), from.end(), [](const auto& a) {
        return a.find('@') != std::string::npos;
      });
    }
    if (MailText::SameLetters(name, "Message-ID")) {
      hasId = true;
      result.messageId = AsciiText::Trim(field.Value());
    }
    if (MailText::SameLetters(name, "To") || MailText::SameLetters(name, "Cc") ||
        MailText::SameLetters(name, "Bcc")) {
      for (auto& address : Addresses(field.Value())) result.toCcBcc.push_back(std::move(address));
    }
  }
  Writer writer(out);
  if (!hasDate) {
    writer.Put("Date: " + MailText::FormatDate(std::time(nullptr)) + "\r\n");
    result.addedDate = true;
  }
  if (!hasId) {
    result.messageId = MailText::MakeMessageId(options.messageIdDomain);
    writer.Put("Message-ID: " + result.messageId + "\r\n");
    result.addedMessageId = true;
  }
  // No server takes a From without a domain, and many refuse one that is
  // not the sending mailbox: a local one gives way to the sender's.
  const bool replaceFrom = localFrom && !options.from.empty();
  if ((!hasFrom || replaceFrom) && !options.from.empty()) {
    const std::string from = options.fullName.empty() ? options.from
                                                      : MailText::DisplayName(options.fullName) +
                                                            " <" + options.from + ">";
    writer.Put("From: " + from + "\r\n");
    result.addedFrom = true;
  }
  for (const auto& field : fields) {
    // Blind copies stay blind: the field goes, its addresses were kept.
    if (MailText::SameLetters(field.name, "Bcc")) continue;
    if (replaceFrom && MailText::SameLetters(field.name, "From")) continue;
    for (const auto& text : field.lines) {
      result.eightBit = result.eightBit || Eight(text);
      writer.Put(text);
      writer.Put("\r\n");
    }
  }
  writer.Put("\r\n");
  // The body, one line (or a piece of a long one) at a time.
  auto body = [&](const std::string& raw, bool complete) {
    result.eightBit = result.eightBit || Eight(raw);
    if (!complete) {
      writer.Put(raw);
      return true;
    }
    const std::string text = WithoutCr(raw);
    if (options.dotEnds && text == ".") return false;
    writer.Put(text);
    writer.Put("\r\n");
    return true;
  };
  bool open = !ended;
  if (open && bodyFirst) open = body(firstBodyLine, true);
  bool atLineStart = true;
  while (open && reader.Next(line, whole, kChunk)) {
    // A lone "." counts only as a whole line of its own.
    if (!atLineStart) {
      writer.Put(whole ? WithoutCr(line) + "\r\n" : line);
      result.eightBit = result.eightBit || Eight(line);
    } else {
      open = body(line, whole);
    }
    atLineStart = whole;
  }
  writer.Flush();
  result.size = writer.Size();
  result.problem = writer.Problem();
  if (!result.problem.empty())
    result.problem = "the message could not be spooled: " + result.problem;
  return result;
}

}  // namespace SubmittedMessage
