#include "ShellOpen.h"

#include <QDesktopServices>
#include <QUrl>
#include <utility>

#include "WindowText.h"

namespace ShellOpen {
namespace {
Opener& Override() {
  static Opener opener;
  return opener;
}

bool DesktopOpen(const std::string& target) {
  QString text = WindowText::FromBytes(target);
  // A text without a scheme ("www.example.com/x") is a web address.
  QUrl url(text, QUrl::StrictMode);
  if (!url.isValid() || url.scheme().isEmpty() || url.scheme().size() == 1) {
    url = QUrl("https://" + text, QUrl::TolerantMode);
  }
  return url.isValid() && QDesktopServices::openUrl(url);
}
}  // namespace

bool Open(const std::string& target) {
  return Override() ? Override()(target) : DesktopOpen(target);
}

void SetOpenerForTesting(Opener opener) { Override() = std::move(opener); }

}  // namespace ShellOpen
