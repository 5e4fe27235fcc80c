#include "RunLog.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <system_error>

#include "ProgramFolder.h"

Bool16 LogEnabled = kFalse16;

namespace {
bool& FailureReported() {
  static bool reported = false;
  return reported;
}
}  // namespace

namespace ProcLib {

void SplitLines(std::string_view text, std::vector<std::string>& lines) {
  lines.assign(1, std::string());
  std::size_t start = 0;
  for (auto at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n", start)) {
    lines.emplace_back(text.substr(start, at - start));
    start = at + 2;
  }
  lines.emplace_back(text.substr(start));
}

bool WriteLogLines(const std::vector<std::string>& lines) {
  if (LogEnabled == kFalse16) return false;
  const std::string path = RunLogPath();
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  std::FILE* file = std::fopen(path.c_str(), "ab");
  bool ok = file != nullptr;
  int error = errno;
  if (ok) {
    ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    error = errno;
    ok = std::fclose(file) == 0 && ok;
  }
  if (!ok && !FailureReported()) {
    FailureReported() = true;
    std::cerr << "Tarnwick: cannot write the run log " << path << ": "
              << std::error_code(error, std::generic_category()).message()
              << "; the delivery goes on without it.\n";
  }
  return ok;
}

}  // namespace ProcLib

std::string RunLogStamp() {
  const QLocale locale = QLocale::system();
  const QString date = locale.toString(QDate::currentDate(), QLocale::ShortFormat);
  const QString time = locale.toString(QTime::currentTime(), QLocale::LongFormat);
  return (date + " " + time).toStdString();
}

std::string RunLogPath() { return ProgramFolder::FileIn("Tarnwick.log"); }

void ResetRunLogFailureForTesting() { FailureReported() = false; }
