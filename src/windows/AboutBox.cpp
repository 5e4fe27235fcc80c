#include "AboutBox.h"

#include <QLabel>
#include <QWidget>

#include "SwitchParser.h"
#include "VersionString.h"
#include "WindowText.h"

namespace AboutBox {

void FillAboutBox(QWidget& frm, const VersionInfo& info) {
  frm.setWindowTitle(WindowText::FromBytes(std::string("About ") + info.title));
  const std::string product = info.productName;
  const std::string description = info.fileDescription;
  if (auto* title = frm.findChild<QLabel*>("lblTitle")) {
    title->setText(
        WindowText::FromBytes(description != product ? product + " - " + description : product));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
  }
  if (auto* version = frm.findChild<QLabel*>("lblVersion")) {
    version->setText(WindowText::FromBytes(VersionString::Text(info)));
  }
  if (auto* label = frm.findChild<QLabel*>("lblDescription")) {
    std::string text = info.copyright;
    if (SwitchParser::IsBlank(info.companyName) == 0) {
      text = std::string(info.companyName) + "\r\n\r\n" + info.copyright;
    }
    label->setText(WindowText::FromBytes(text));
  }
}

}  // namespace AboutBox
