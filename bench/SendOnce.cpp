// Sends one message with SmtpClient, for the benchmarks:
//   tarnwick-send-once SERVER FROM TO SUBJECT BODY-FILE [ATTACHMENT]
// Exit status 0 when the server took it.
#include <QCoreApplication>
#include <fstream>
#include <iostream>
#include <sstream>

#include "SmtpClient.h"

int main(int argc, char** argv) {
  if (argc < 6) {
    std::cerr << "usage: tarnwick-send-once SERVER FROM TO SUBJECT BODY-FILE [ATTACHMENT]\n";
    return 2;
  }
  QCoreApplication app(argc, argv);
  std::ifstream in(argv[5], std::ios::binary);
  std::stringstream body;
  body << in.rdbuf();
  SmtpClient client;
  client.ServerHost(argv[1]);
  client.TimeoutMs(60000);
  client.SenderAddress(argv[2]);
  client.RecipientList(argv[3]);
  client.SubjectText(argv[4]);
  client.BodyText(body.str());
  if (argc > 6) client.AttachmentList().Add(argv[6]);
  int status = 1;
  QObject::connect(&client, &SmtpClient::SendSMTP, [&] {
    status = 0;
    QCoreApplication::quit();
  });
  QObject::connect(&client, &SmtpClient::ErrorSMTP, [&](std::int16_t n, const std::string& d) {
    std::cerr << "SMTP Error " << n << ": " << d << "\n";
    if (n != 12250) QCoreApplication::quit();
  });
  client.Send();
  QCoreApplication::exec();
  return status;
}
