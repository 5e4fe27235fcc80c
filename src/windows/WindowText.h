#pragma once
// Byte strings shown in windows: UTF-8, or windows-1252 when the bytes are
// not valid UTF-8 (text typed or stored on Windows).
#include <QString>
#include <string>

namespace WindowText {

QString FromBytes(const std::string& bytes);
std::string ToBytes(const QString& text);

}  // namespace WindowText
