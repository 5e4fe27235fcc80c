#include "SevenBitMessage.h"

#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>
#include <vector>

#include "AsciiText.h"
#include "MailText.h"

namespace SevenBitMessage {
namespace {

// Lines longer than this go through in pieces; a quoted-printable soft
// break joins them again.
constexpr std::size_t kPiece = std::size_t{64} * 1024;

std::string ErrorText() { return std::error_code(errno, std::generic_category()).message(); }

// A parameter of a Content-Type value (boundary="x"), unquoted; empty when
// it is not there.
std::string Parameter(std::string_view value, std::string_view name) {
  const std::string lower = AsciiText::Lower(value);
  std::size_t at = 0;
  while ((at = lower.find(name, at)) != std::string::npos) {
    const bool starts =
        at > 0 && (lower[at - 1] == ';' || lower[at - 1] == ' ' || lower[at - 1] == '\t');
    std::size_t i = at + name.size();
    while (i < lower.size() && (lower[i] == ' ' || lower[i] == '\t')) ++i;
    if (!starts || i >= lower.size() || lower[i] != '=') {
      at += name.size();
      continue;
    }
    ++i;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
    if (i < value.size() && value[i] == '"') {
      const auto end = value.find('"', i + 1);
      return std::string(value.substr(i + 1, end == std::string_view::npos ? end : end - i - 1));
    }
    const auto end = value.find_first_of("; \t", i);
    return std::string(value.substr(i, end == std::string_view::npos ? end : end - i));
  }
  return {};
}

class Reader {
 public:
  explicit Reader(int fd) : fd_(fd) {}
  // The next line without its CR LF (`ended` false: a piece of a longer
  // line, or the last line lacking its end). False at the end or on error.
  bool Next(std::string& line, bool& ended) {
    line.clear();
    for (;;) {
      const auto lf = std::string_view(buffer_).find('\n', at_);
      if (lf != std::string_view::npos && lf - at_ <= kPiece) {
        line.assign(buffer_, at_, lf - at_);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        at_ = lf + 1;
        ended = true;
        return true;
      }
      if (buffer_.size() - at_ >= kPiece || eof_) {
        const std::size_t take = std::min(kPiece, buffer_.size() - at_);
        if (take == 0) return false;
        line.assign(buffer_, at_, take);
        at_ += take;
        ended = false;
        return true;
      }
      if (!Fill()) return false;
    }
  }
  const std::string& Problem() const { return problem_; }

 private:
  bool Fill() {
    buffer_.erase(0, at_);
    at_ = 0;
    char chunk[kPiece];
    const ssize_t got = ::read(fd_, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) return true;
      problem_ = ErrorText();
      return false;
    }
    if (got == 0) eof_ = true;
    buffer_.append(chunk, static_cast<std::size_t>(got));
    return true;
  }
  int fd_;
  std::string buffer_;
  std::size_t at_ = 0;
  bool eof_ = false;
  std::string problem_;
};

class Writer {
 public:
  explicit Writer(int fd) : fd_(fd) {}
  void Add(std::string_view text) {
    buffer_ += text;
    if (buffer_.size() >= kPiece) Flush();
  }
  bool Flush() {
    std::size_t done = 0;
    while (problem_.empty() && done < buffer_.size()) {
      const ssize_t put = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (put < 0 && errno != EINTR) problem_ = ErrorText();
      if (put > 0) done += static_cast<std::size_t>(put);
    }
    buffer_.clear();
    return problem_.empty();
  }
  const std::string& Problem() const { return problem_; }

 private:
  int fd_;
  std::string buffer_;
  std::string problem_;
};

// What a header block says about the part that follows it.
struct PartHead {
  std::string type;  // lower case, without parameters
  std::string boundary;
  std::string encoding;  // lower case
  bool mimeVersion = false;
};

PartHead ReadHead(const std::vector<std::string>& lines) {
  PartHead head;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string value;
    const auto colon = lines[i].find(':');
    if (colon == std::string::npos || lines[i][0] == ' ' || lines[i][0] == '\t') continue;
    const std::string name =
        AsciiText::Lower(AsciiText::Trim(std::string_view(lines[i]).substr(0, colon)));
    value = lines[i].substr(colon + 1);
    for (std::size_t j = i + 1; j < lines.size() && (lines[j][0] == ' ' || lines[j][0] == '\t');
         ++j) {
      value += lines[j];
    }
    if (name == "content-type") {
      const std::string full = AsciiText::Trim(value);
      head.type = AsciiText::Lower(AsciiText::Trim(full.substr(0, full.find(';'))));
      head.boundary = Parameter(full, "boundary");
    } else if (name == "content-transfer-encoding") {
      head.encoding = AsciiText::Lower(AsciiText::Trim(value));
    } else if (name == "mime-version") {
      head.mimeVersion = true;
    }
  }
  return head;
}

bool IsEncodingLine(const std::string& line) {
  constexpr std::string_view kName = "content-transfer-encoding";
  const auto colon = line.find(':');
  return colon != std::string::npos &&
         AsciiText::Lower(AsciiText::Trim(line.substr(0, colon))) == kName;
}

class Converter {
 public:
  Converter(int in, int out) : reader_(in), writer_(out) {}

  std::string Run() {
    std::string line;
    bool ended = false;
    std::vector<std::string> head;
    bool inHead = true;
    bool topLevel = true;
    while (reader_.Next(line, ended)) {
      if (inHead) {
        if (!line.empty()) {
          head.push_back(line);
          continue;
        }
        inHead = WriteHead(head, topLevel);
        topLevel = false;
        head.clear();
        writer_.Add("\r\n");
        continue;
      }
      if (const int closes = Delimiter(line); closes != 0) {
        writer_.Add(line);
        writer_.Add("\r\n");
        encode_ = false;
        inHead = closes > 0;  // a part follows; after the closing one, the epilogue
        continue;
      }
      WriteBody(line, ended);
    }
    if (inHead) {
      for (const auto& l : head) writer_.Add(l + "\r\n");
    }
    writer_.Flush();
    if (!reader_.Problem().empty()) return reader_.Problem();
    return writer_.Problem();
  }

 private:
  // Writes a part's header, relabelled when its text is to be encoded.
  // True when another header follows at once (an attached message's).
  bool WriteHead(const std::vector<std::string>& head, bool topLevel) {
    const PartHead part = ReadHead(head);
    const bool multipart = part.type.rfind("multipart/", 0) == 0 && !part.boundary.empty();
    const bool message = part.type == "message/rfc822" || part.type == "message/global";
    encode_ = !multipart && !message &&
              (part.encoding.empty() || part.encoding == "7bit" || part.encoding == "8bit");
    if (multipart) boundaries_.push_back(part.boundary);
    bool skipping = false;
    for (const auto& line : head) {
      const bool continuation = line[0] == ' ' || line[0] == '\t';
      if (!continuation) skipping = encode_ && IsEncodingLine(line);
      if (!skipping) writer_.Add(line + "\r\n");
    }
    if (encode_) {
      if (topLevel && !part.mimeVersion) writer_.Add("MIME-Version: 1.0\r\n");
      // Without one, the text would count as US-ASCII, which 8-bit text is not.
      if (part.type.empty()) writer_.Add("Content-Type: text/plain; charset=UTF-8\r\n");
      writer_.Add("Content-Transfer-Encoding: quoted-printable\r\n");
    }
    return message;
  }

  // 1: a delimiter of an open multipart ("--b"), -1: its close ("--b--"),
  // 0: a body line. Closing an outer multipart closes the inner ones too.
  int Delimiter(const std::string& line) {
    if (line.size() < 3 || line[0] != '-' || line[1] != '-') return 0;
    for (std::size_t i = boundaries_.size(); i-- > 0;) {
      const std::string& b = boundaries_[i];
      if (line.compare(2, b.size(), b) != 0) continue;
      const std::string rest = AsciiText::Trim(std::string_view(line).substr(2 + b.size()));
      if (rest.empty()) {
        boundaries_.resize(i + 1);
        return 1;
      }
      if (rest == "--") {
        boundaries_.resize(i);
        return -1;
      }
    }
    return 0;
  }

  void WriteBody(const std::string& line, bool ended) {
    if (!encode_) {
      writer_.Add(line);
      if (ended) writer_.Add("\r\n");
      return;
    }
    writer_.Add(MailText::QuotedPrintable(ended ? line + "\r\n" : line));
    if (!ended) writer_.Add("=\r\n");  // the piece goes on in the next one
  }

  Reader reader_;
  Writer writer_;
  std::vector<std::string> boundaries_;
  bool encode_ = false;
};

}  // namespace

std::string Convert(int in, int out) { return Converter(in, out).Run(); }

}  // namespace SevenBitMessage
