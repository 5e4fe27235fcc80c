#include "ProgramStart.h"

#include <QProcess>
#include <utility>

#include "WindowText.h"

namespace ProgramStart {
namespace {
std::function<bool(const std::string&)>& Override() {
  static std::function<bool(const std::string&)> starter;
  return starter;
}
}  // namespace

bool Start(const std::string& commandLine) {
  if (Override()) return Override()(commandLine);
  return QProcess::startDetached(WindowText::FromBytes(commandLine), {});
}

void SetStarterForTesting(std::function<bool(const std::string&)> starter) {
  Override() = std::move(starter);
}

}  // namespace ProgramStart
