#include "JobFiles.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "MailJobAssembly.h"
#include "PathHelpers.h"
#include "Places.h"
#include "ProgramFolder.h"
#include "SwitchParser.h"

namespace JobFiles {
namespace {

// Lines of a text file; CR LF, LF and CR all end a line.
bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  const std::string text = buffer.str();
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return true;
}

// Where an attachment name points: a bare name next to the program, a name
// with a folder as written ("\\" read as "/").
std::string AttachmentPath(const std::string& name) {
  if (SwitchParser::IsBlank(PathHelpers::GetPathFolder(name))) return Places::Find(name);
  return name.front() == '/' ? name : ProgramFolder::WithSlashes(name);
}

}  // namespace

// A folder or a wildcard match is no list, body or attachment.
std::string FileProblem(const std::string& what, const std::string& path) {
  std::error_code ignored;
  const auto status = std::filesystem::status(path, ignored);
  if (!std::filesystem::is_regular_file(status) || !std::ifstream(path, std::ios::binary).good()) {
    return "The " + what + " " + path + " cannot be read as a file; nothing was sent.";
  }
  return {};
}

NamedFile ReadNamedFile(const std::string& value, const std::string& what) {
  NamedFile file;
  if (value.empty()) return file;  // the folder itself is no file
  const std::string path = Places::Find(value);
  if (!PathHelpers::FileExists(path)) return file;
  file.named = true;
  file.problem = FileProblem(what, path);
  if (file.problem.empty() && !ReadLines(path, file.lines)) {
    file.problem = "The " + what + " " + path + " cannot be read; nothing was sent.";
  }
  return file;
}

// One name, or, when the whole value names no file, each word of it: the
// help promises FILE [FILE ...]. A file that is not there is
// said, never dropped silently.
void ResolveAttachments(const std::string& value, AssemblyResult& result) {
  if (SwitchParser::IsBlank(value)) return;
  std::vector<std::string> names{value};
  if (!PathHelpers::FileExists(AttachmentPath(value)) && value.find(' ') != std::string::npos) {
    names.clear();
    std::istringstream words(value);
    for (std::string word; std::getline(words, word, ' ');) {
      if (!word.empty()) names.push_back(word);
    }
  }
  for (const auto& name : names) {
    const std::string path = AttachmentPath(name);
    if (!PathHelpers::FileExists(path)) {
      result.attachmentMissing = true;
      result.warnings.push_back("the attachment " + path +
                                " is not there; the mail goes without it.");
      continue;
    }
    if (auto problem = FileProblem("attachment", path); !problem.empty()) {
      result.problem = problem;
      return;
    }
    result.attachments.push_back(path);
  }
}

// A full path names a file only where the program reads none: say so, or a
// report.txt sent as the words "/tmp/report.txt" goes unnoticed.
void WarnOutsideFile(const std::string& value, const char* sw, const char* usedAs,
                     AssemblyResult& result) {
  std::error_code ignored;
  if (value.empty() || value.front() != '/' || !std::filesystem::is_regular_file(value, ignored))
    return;
  result.warnings.push_back(std::string("the -") + sw + " value " + value +
                            " is a file outside the program's folder; only files next to the "
                            "program are read, so the text itself is used as " +
                            usedAs + ".");
}

bool ReadAll(std::istream& input, std::string& text) {
  std::ostringstream buffer;
  buffer << input.rdbuf();
  text = buffer.str();
  return !input.bad();
}

}  // namespace JobFiles
