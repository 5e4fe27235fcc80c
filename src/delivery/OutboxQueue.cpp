#include "OutboxQueue.h"

#include <ctime>
#include <filesystem>
#include <random>
#include <variant>
#include <vector>

#include "MailSender.h"
#include "Outbox.h"
#include "Places.h"

namespace OutboxQueue {

Queued Put(const MailSender& smtp, const std::string& settingsPath, int attempts,
           const std::string& lastError) {
  Queued queued;
  auto built = smtp.Build();
  if (const auto* refused = std::get_if<MailError>(&built)) {
    queued.problem = "SMTP Error " + std::to_string(refused->number) + ": " + refused->description;
    queued.badInput = true;
    return queued;
  }
  OutgoingMail& mail = std::get<OutgoingMail>(built);
  std::string problem;
  const std::string folder = Places::OutboxFolder(problem);
  if (folder.empty()) {
    queued.problem = "the message could not be queued: " + problem;
    return queued;
  }
  OutboxEntry entry;
  std::error_code ignored;
  entry.settings = std::filesystem::absolute(settingsPath, ignored).string();
  const SessionSettings& session = mail.session;
  entry.host = session.host;
  entry.port = session.port;
  entry.serverLabel = session.serverLabel;
  entry.ehloName = session.ehloName;
  entry.implicitTls = session.implicitTls;
  entry.requireTls = session.requireTls;
  entry.user = session.user;
  entry.timeoutMs = session.timeoutMs;
  entry.caFile = session.caFile;
  entry.mailFrom = mail.mailFrom;
  entry.recipients = mail.recipients;
  entry.needsSmtpUtf8 = mail.needsSmtpUtf8;
  entry.eightBit = mail.eightBit;
  entry.dsnNotify = mail.dsnNotify;
  entry.dsnReturn = mail.dsnReturn;
  entry.messageId = mail.messageId;
  entry.size = mail.message.Size();
  entry.queued = std::time(nullptr);
  entry.attempts = attempts;
  entry.lastError = lastError;
  std::mt19937 random(std::random_device{}());
  entry.nextTry = entry.queued + (attempts > 0 ? Outbox::Backoff(attempts, random).count() : 0);
  queued.id = Outbox::Put(
      folder, entry,
      [&mail](const Outbox::Writer& write, std::string& why) {
        std::vector<char> buffer(std::size_t{1} << 16U);
        for (;;) {
          const std::size_t n = mail.message.Read(buffer.data(), buffer.size());
          if (n == 0) break;
          if (!write(buffer.data(), n)) return false;
        }
        why = mail.message.Problem();
        return why.empty();
      },
      problem);
  if (queued.id.empty())
    queued.problem = "the message could not be queued (" + problem + "); it is not in the outbox.";
  return queued;
}

std::string QueuedLine(const std::string& id) {
  return "queued as " + id + "; it will be sent by tarnwick -flush";
}

}  // namespace OutboxQueue
