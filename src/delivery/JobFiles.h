#pragma once
// The files a command-line run reads for its job: a recipient list or body
// named by a switch or setting, attachments, and the body from standard
// input. A name that a directory search finds must be a readable file.
#include <iosfwd>
#include <string>
#include <vector>

struct AssemblyResult;

namespace JobFiles {

// A value that names a file next to the program: its lines (CR LF, LF and
// CR all end one), or why they cannot be had. Not named: the value is the
// text itself.
struct NamedFile {
  bool named = false;
  std::vector<std::string> lines;
  std::string problem;
};
NamedFile ReadNamedFile(const std::string& value, const std::string& what);

// Why `path` cannot be read as a file; empty when it can.
std::string FileProblem(const std::string& what, const std::string& path);

// The attachments `value` asks for, added to `result`: its paths, warnings
// for files that are not there, or a problem that stops the run.
void ResolveAttachments(const std::string& value, AssemblyResult& result);

// A full path names a file only where the program reads none: a warning
// that says so, for `sw` ("t", "m") whose text is used as `usedAs`.
void WarnOutsideFile(const std::string& value, const char* sw, const char* usedAs,
                     AssemblyResult& result);

// All of `input`; false when it cannot be read.
bool ReadAll(std::istream& input, std::string& text);

}  // namespace JobFiles
