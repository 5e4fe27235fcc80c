#pragma once
// What the end-to-end tests read back from the test server, and the
// settings that point a program copy at it.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <string>

#include "SmtpTestServer.h"

// Message n's envelope and parts as the server's mail reader saw them.
inline QJsonObject Envelope(const SmtpTestServer& server, int n) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(server.Envelope(n))).object();
}

// The decoded bytes of part `index`.
inline std::string PartData(const QJsonObject& envelope, int index) {
  const auto part = envelope["parts"].toArray()[index].toObject();
  return QByteArray::fromBase64(part["data"].toString().toLatin1()).toStdString();
}

inline int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Tarnwick.ini for a copy that sends through `server`, plus `more` lines.
inline std::string Ini(const SmtpTestServer& server, const std::string& more = "") {
  return "[Options]\r\nFrom=alice@example.com\r\nSMTPServer=" + server.HostPort() + "\r\n" + more;
}
