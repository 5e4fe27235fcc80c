#include "IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "AsciiText.h"

namespace IniFile {
namespace {

std::function<bool()>& BeforeReplaceHook() {
  static std::function<bool()> hook;
  return hook;
}

struct IniText {
  std::vector<std::string> lines;  // without their line ends
  std::string lineEnd = "\n";
  bool endsWithLineEnd = true;
};

std::optional<std::string> ReadWholeFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return buffer.str();
}

IniText ParseLines(const std::string& text) {
  IniText ini;
  if (text.empty()) return ini;
  std::size_t start = 0;
  bool first = true;
  while (start < text.size()) {
    const auto lf = text.find('\n', start);
    std::string line = text.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
    const bool crlf = !line.empty() && line.back() == '\r';
    if (crlf) line.pop_back();
    if (first && lf != std::string::npos) ini.lineEnd = crlf ? "\r\n" : "\n";
    first = false;
    ini.lines.push_back(std::move(line));
    if (lf == std::string::npos) {
      ini.endsWithLineEnd = false;
      break;
    }
    start = lf + 1;
  }
  return ini;
}

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

// Editors on other systems start a UTF-8 file with a byte-order mark; it is
// kept on write but is no part of the first line's text.
std::string_view WithoutBom(std::string_view line) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  return line.substr(0, kBom.size()) == kBom ? line.substr(kBom.size()) : line;
}

// "[name]" gives name; any other line gives nothing.
std::optional<std::string_view> SectionName(std::string_view line) {
  const auto t = Trim(WithoutBom(line));
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  const auto close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

bool IsComment(std::string_view line) {
  const auto t = Trim(line);
  return !t.empty() && (t.front() == ';' || t.front() == '#');
}

// "key=value" split into trimmed key and raw value; nothing for other lines.
std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view line) {
  line = WithoutBom(line);
  if (IsComment(line)) return std::nullopt;
  const auto eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return std::make_pair(Trim(line.substr(0, eq)), line.substr(eq + 1));
}

// Blanks around a value are not part of it; a pair of quotes around it keeps
// blanks and quotes inside it.
std::string ValueOf(std::string_view raw) {
  auto v = Trim(raw);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return std::string(v);
}

std::string StoredForm(const std::string& value) {
  const bool blankAtEnd = !value.empty() && (value.front() == ' ' || value.front() == '\t' ||
                                             value.back() == ' ' || value.back() == '\t');
  const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
  return (blankAtEnd || quoted) ? '"' + value + '"' : value;
}

struct Location {
  std::optional<std::size_t> section;  // index of the header line
  std::size_t sectionEnd = 0;          // one past its last line
  std::optional<std::size_t> key;      // index of the key's line
};

Location Find(const IniText& ini, std::string_view section, std::string_view key) {
  Location at;
  for (std::size_t i = 0; i < ini.lines.size(); ++i) {
    const auto name = SectionName(ini.lines[i]);
    if (!at.section) {
      if (name && AsciiText::EqualsIgnoreCase(*name, section)) {
        at.section = i;
        at.sectionEnd = ini.lines.size();
      }
      continue;
    }
    if (name) {
      at.sectionEnd = i;
      break;
    }
    if (at.key) continue;
    const auto kv = KeyValue(ini.lines[i]);
    if (kv && AsciiText::EqualsIgnoreCase(kv->first, key)) at.key = i;
  }
  return at;
}

std::string JoinLines(const IniText& ini) {
  std::string text;
  for (std::size_t i = 0; i < ini.lines.size(); ++i) {
    text += ini.lines[i];
    if (i + 1 < ini.lines.size() || ini.endsWithLineEnd) text += ini.lineEnd;
  }
  return text;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A symbolic link is followed, so the link itself survives the replace.
std::string ReplaceTarget(const std::string& fileName) {
  char* resolved = ::realpath(fileName.c_str(), nullptr);
  if (resolved == nullptr) return fileName;
  std::string target(resolved);
  std::free(resolved);  // NOLINT(cppcoreguidelines-no-malloc): realpath allocates with malloc
  return target;
}

bool ReplaceFile(const std::string& fileName, const std::string& text) {
  const std::string target = ReplaceTarget(fileName);
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  std::string temp = target + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  // A new file holds the password: owner only. An old one keeps its mode.
  const mode_t mode = exists ? (existing.st_mode & 07777) : (S_IRUSR | S_IWUSR);
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok && BeforeReplaceHook()) ok = BeforeReplaceHook()();
  if (ok) ok = std::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) (void)std::remove(temp.c_str());
  return ok;
}

}  // namespace

std::string Read(const std::string& fileName, const std::string& section, const std::string& key) {
  const auto text = ReadWholeFile(fileName);
  if (!text) return {};
  const IniText ini = ParseLines(*text);
  const Location at = Find(ini, section, key);
  if (!at.key) return {};
  std::string value = ValueOf(KeyValue(ini.lines[*at.key])->second);
  // The value ends at its first zero byte: nothing after it is text.
  if (const auto nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
  if (value.size() > kIniValueLimit) value.resize(kIniValueLimit);
  return value;
}

bool Write(const std::string& fileName, const std::string& section, const std::string& key,
           const std::string& value) {
  if (value.find_first_of("\r\n") != std::string::npos ||
      key.find_first_of("\r\n=") != std::string::npos ||
      section.find_first_of("\r\n]") != std::string::npos) {
    return false;
  }
  IniText ini;
  if (const auto text = ReadWholeFile(fileName)) {
    ini = ParseLines(*text);
  } else if (::access(fileName.c_str(), F_OK) == 0) {
    return false;  // there but unreadable: rewriting it would lose its keys
  }
  const std::string line = key + "=" + StoredForm(value);
  const Location at = Find(ini, section, key);
  if (at.key) {
    ini.lines[*at.key] = line;
  } else if (at.section) {
    // After the section's last non-blank line, so a blank separator stays.
    std::size_t insertAt = at.sectionEnd;
    while (insertAt > *at.section + 1 && Trim(ini.lines[insertAt - 1]).empty()) --insertAt;
    ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), line);
  } else {
    if (!ini.lines.empty() && !Trim(ini.lines.back()).empty()) ini.lines.emplace_back();
    ini.lines.push_back("[" + section + "]");
    ini.lines.push_back(line);
  }
  ini.endsWithLineEnd = true;
  return ReplaceFile(fileName, JoinLines(ini));
}

void SetIniBeforeReplaceHookForTesting(std::function<bool()> hook) {
  BeforeReplaceHook() = std::move(hook);
}

}  // namespace IniFile
