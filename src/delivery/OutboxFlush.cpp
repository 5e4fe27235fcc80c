#include "OutboxFlush.h"

#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <tuple>
#include <variant>

#include "MailJobAssembly.h"
#include "Outbox.h"
#include "Places.h"
#include "RunLog.h"
#include "RunOutcome.h"
#include "SettingsFile.h"
#include "SettingsKeys.h"
#include "SmtpSession.h"
#include "SwitchParser.h"
#include "TransferControl.h"

namespace OutboxFlush {
namespace {

constexpr int kDefaultLifetimeHours = 72;

bool Terminal() { return ::isatty(STDERR_FILENO) == 1; }

// One line on standard error; no name or server text can start another.
void SayLine(const std::string& text) {
  std::cerr << RunLog::OneLine("Tarnwick: " + text) << "\n" << std::flush;
}

// The outbox folder, made when missing; empty when it cannot be, said.
std::string OpenFolder() {
  std::string problem;
  std::string folder = Places::OutboxFolder(problem);
  if (folder.empty()) SayLine(problem);
  return folder;
}

std::string Recipients(const OutboxEntry& entry) {
  std::string list;
  for (const auto& to : entry.recipients) list += (list.empty() ? "" : ", ") + to;
  return list;
}

std::string Duration(std::int64_t seconds) {
  if (seconds < 60) return std::to_string(std::max<std::int64_t>(seconds, 0)) + " s";
  if (seconds < 3600) return std::to_string(seconds / 60) + " min";
  if (seconds < 86400) return std::to_string(seconds / 3600) + " h";
  return std::to_string(seconds / 86400) + " d";
}

std::string ErrorText(const SmtpOutcome& outcome) {
  return "SMTP Error " + std::to_string(outcome.number) + ": " + outcome.text;
}

// What a flush does with one message's outcome. Only the server's own
// refusal of the message fails it, and a message it may already have (no
// reply, or a garbled one, where the end of data may have gone) is never
// sent again; everything else (the network, the login, a busy server)
// waits for a later flush, bounded by the lifetime.
enum class Next { Sent, Defer, Fail };

Next Decide(const SmtpOutcome& outcome) {
  using Kind = SmtpOutcome::Kind;
  if (outcome.Delivered()) return Next::Sent;
  switch (outcome.kind) {
    case Kind::Refused:
      return outcome.replyCode >= 500 ? Next::Fail : Next::Defer;
    case Kind::MayAlreadyHaveIt:
    case Kind::ProtocolError:
    case Kind::NotSupported:
    case Kind::BadInput:
      return Next::Fail;
    default:
      return Next::Defer;
  }
}

// Whether the connection can carry the next message: not after it was lost,
// refused outright, or the server said it is closing.
bool SessionGoesOn(const SmtpOutcome& outcome) {
  using Kind = SmtpOutcome::Kind;
  if (outcome.Delivered() || outcome.kind == Kind::NotSupported) return true;
  return outcome.kind == Kind::Refused && outcome.replyCode != 421 && outcome.replyCode != 554;
}

class Flush {
 public:
  Flush(std::string folder, int lifetimeHours, RunLog& log)
      : folder_(std::move(folder)),
        lifetimeHours_(lifetimeHours),
        log_(log),
        random_(std::random_device{}()) {}

  int Run();

 private:
  void Say(const std::string& text, const char* kind) {
    SayLine(text);
    log_.Line(std::string(" ") + kind + ": " + text);
  }
  // A message that waits is no news for cron's mail every five minutes:
  // the exit status and tarnwick -outbox tell; a person at a terminal sees it.
  void Note(const std::string& text) {
    if (Terminal()) SayLine(text);
    log_.Line(" status: " + text);
  }
  void Expire(std::vector<OutboxEntry>& entries);
  void SendGroup(const std::vector<OutboxEntry*>& group);
  void Sent(OutboxEntry& entry, const SmtpOutcome& outcome);
  void Fail(const OutboxEntry& entry, const std::string& reason);
  std::int64_t Defer(OutboxEntry& entry, const std::string& reason);

  std::string folder_;
  int lifetimeHours_;
  RunLog& log_;
  std::mt19937 random_;
  std::int64_t now_ = std::time(nullptr);
  int sent_ = 0, deferred_ = 0, failed_ = 0;
};

void Flush::Expire(std::vector<OutboxEntry>& entries) {
  const std::int64_t lifetime = std::int64_t{lifetimeHours_} * 3600;
  std::erase_if(entries, [&](const OutboxEntry& entry) {
    if (now_ - entry.queued < lifetime) return false;
    const std::string reason = "not delivered within " + std::to_string(lifetimeHours_) +
                               " hours (" + std::to_string(entry.attempts) + " attempts" +
                               (entry.lastError.empty() ? "" : "; last: " + entry.lastError) + ")";
    std::string problem;
    if (Outbox::MoveToFailed(entry, reason, problem)) {
      ++failed_;
      Say(entry.id + " to " + Recipients(entry) + " was " + reason + "; moved to " + folder_ + "/" +
              Outbox::kFailedFolder,
          "warning");
    } else {
      Say(entry.id + " could not be moved to the failed folder: " + problem, "error");
    }
    return true;
  });
}

void Flush::Sent(OutboxEntry& entry, const SmtpOutcome& outcome) {
  // Recipients refused for now still get it later; the others have it.
  std::vector<std::string> later;
  for (const auto& refused : outcome.refused) {
    const bool temporary = refused.code >= 400 && refused.code < 500;
    if (temporary) later.push_back(refused.recipient);
    Say(entry.id + ": the server refused " + refused.recipient + " (" +
            std::to_string(refused.code) + " " + refused.text + ")" +
            (temporary ? "; it stays queued for that recipient" : ""),
        "warning");
  }
  ++sent_;
  if (!later.empty()) {
    log_.Line(" status: " + entry.id + " sent to all but " + std::to_string(later.size()));
    entry.recipients = later;
    Defer(entry, "recipients refused for now");
    return;
  }
  // At once, before the next message: a crash from here on cannot send it again.
  if (!Outbox::MarkSent(entry)) Say(entry.id + " was sent but could not be marked so", "error");
  log_.Line(" status: " + entry.id + " sent to " + Recipients(entry));
}

void Flush::Fail(const OutboxEntry& entry, const std::string& reason) {
  std::string problem;
  ++failed_;
  if (!Outbox::MoveToFailed(entry, reason, problem)) {
    Say(entry.id + " to " + Recipients(entry) + ": " + reason +
            "; it could not be moved to the failed folder: " + problem,
        "error");
    return;
  }
  Say(entry.id + " to " + Recipients(entry) + ": " + reason + "; moved to " + folder_ + "/" +
          Outbox::kFailedFolder,
      "error");
}

std::int64_t Flush::Defer(OutboxEntry& entry, const std::string& reason) {
  ++deferred_;
  entry.attempts += 1;
  entry.lastError = reason;
  const std::int64_t wait = Outbox::Backoff(entry.attempts, random_).count();
  entry.nextTry = now_ + wait;
  std::string problem;
  if (!Outbox::Update(entry, problem))
    Say(entry.id + ": its history could not be written: " + problem, "warning");
  return wait;
}

void Flush::SendGroup(const std::vector<OutboxEntry*>& group) {
  const OutboxEntry& first = *group.front();
  SessionSettings session;
  session.host = first.host;
  session.port = first.port;
  session.serverLabel = first.serverLabel;
  session.ehloName = first.ehloName;
  session.implicitTls = first.implicitTls;
  session.requireTls = first.requireTls;
  session.user = first.user;
  session.timeoutMs = first.timeoutMs;
  session.caFile = first.caFile;
  std::string stopped;  // why the rest of the group waits
  if (!first.user.empty()) {
    // The password is never in the outbox: it comes from the settings now.
    if (!std::filesystem::exists(first.settings)) {
      stopped = "the settings file " + first.settings + " it was queued from is gone";
    } else {
      const PasswordFetch fetched = FetchPassword(
          first.settings, SettingsKeys::ReadAll(first.settings), first.host, first.user);
      if (fetched.problem.empty()) {
        session.password = fetched.password;
        session.bearerMechanism = fetched.bearerMechanism;
      } else {
        stopped = fetched.problem;
      }
    }
  }
  if (Terminal() && stopped.empty()) {
    Say("sending " + std::to_string(group.size()) + " queued message(s) to " + first.serverLabel,
        "status");
  }
  TransferControl control;
  SmtpSession smtp(session, control, [](const std::string&) {});
  int waiting = 0;
  std::int64_t wait = 0;
  for (OutboxEntry* entry : group) {
    if (!stopped.empty()) {
      wait = Defer(*entry, stopped);
      ++waiting;
      continue;
    }
    auto opened = OpenFile::Open(entry->path);
    // Gone since it was listed: someone removed it, which is allowed.
    if (std::holds_alternative<std::string>(opened)) continue;
    const auto& file = std::get<std::shared_ptr<const OpenFile>>(opened);
    if (file->Size() != entry->bodyOffset + entry->size) {
      Fail(*entry, "its file is " + std::to_string(file->Size()) + " bytes, not the " +
                       std::to_string(entry->bodyOffset + entry->size) +
                       " it was written with: damaged, not sent");
      continue;
    }
    OutgoingMail mail;
    mail.session = session;
    mail.mailFrom = entry->mailFrom;
    mail.recipients = entry->recipients;
    mail.needsSmtpUtf8 = entry->needsSmtpUtf8;
    mail.messageId = entry->messageId;
    mail.dsnNotify = entry->dsnNotify;
    mail.dsnReturn = entry->dsnReturn;
    mail.eightBit = entry->eightBit;
    mail.ready = file;
    mail.readyFrom = entry->bodyOffset;
    mail.message.AddRawFile(file, entry->bodyOffset);
    const SmtpOutcome outcome = smtp.Send(mail);
    switch (Decide(outcome)) {
      case Next::Sent:
        Sent(*entry, outcome);
        break;
      case Next::Fail:
        Fail(*entry, ErrorText(outcome));
        break;
      case Next::Defer: {
        const std::int64_t next = Defer(*entry, ErrorText(outcome));
        Note(entry->id + " to " + Recipients(*entry) + " deferred: " + ErrorText(outcome) +
             "; next try in " + Duration(next));
        break;
      }
    }
    if (!SessionGoesOn(outcome)) stopped = ErrorText(outcome);
  }
  smtp.Quit();
  Outbox::SyncFolder(folder_);
  // One line for what waits behind a server that is away: no storm.
  if (waiting > 0) {
    Note(std::to_string(waiting) + " queued message(s) for " + first.serverLabel +
         " deferred: " + stopped + "; next try in about " + Duration(wait));
  }
}

int Flush::Run() {
  Outbox::Sweep(folder_);
  std::vector<std::string> unreadable;
  std::vector<OutboxEntry> entries = Outbox::List(folder_, &unreadable);
  for (const auto& problem : unreadable) Say(problem + "; left as it is", "warning");
  Expire(entries);
  // Due messages, grouped by the connection they need, oldest first.
  using Key = std::tuple<std::string, std::string, int, std::string, bool, bool, std::string>;
  std::map<Key, std::vector<OutboxEntry*>> groups;
  std::vector<Key> order;
  int notDue = 0;
  for (auto& entry : entries) {
    if (entry.nextTry > now_) {
      ++notDue;
      continue;
    }
    const Key key{entry.settings,    entry.host,       entry.port,  entry.user,
                  entry.implicitTls, entry.requireTls, entry.caFile};
    auto& group = groups[key];
    if (group.empty()) order.push_back(key);
    group.push_back(&entry);
  }
  for (const auto& key : order) SendGroup(groups[key]);
  if (Terminal()) {
    Say(std::to_string(sent_) + " sent, " + std::to_string(deferred_) + " deferred, " +
            std::to_string(failed_) + " failed, " + std::to_string(notDue) + " not yet due",
        "status");
  }
  if (failed_ > 0) return RunOutcome::kExitPermanent;
  return deferred_ > 0 ? RunOutcome::kExitTemporary : RunOutcome::kExitSent;
}

int LifetimeHours() {
  const SettingsKeys::Values settings = SettingsKeys::ReadAll(SettingsFile::ForReading());
  const std::string text = SettingsKeys::ValueOrDefault(settings, "OutboxLifetimeHours");
  const int hours = std::atoi(text.c_str());
  return hours > 0 ? hours : kDefaultLifetimeHours;
}

}  // namespace

int Run() {
  const std::string folder = OpenFolder();
  if (folder.empty()) return RunOutcome::kExitTemporary;
  const Outbox::FlushLock lock(folder);
  RunLog log(SwitchParser::FindSwitch("log").has_value());
  log.Write({"", RunLog::Stamp() + " *** Tarnwick started: outbox flush"});
  if (!lock.Problem().empty()) {
    SayLine(lock.Problem());
    log.Line(" error: " + lock.Problem());
    return RunOutcome::kExitTemporary;
  }
  if (!lock.Locked()) {
    // The timer and cron may overlap a long flush: the running one has it.
    if (Terminal()) std::cerr << "Tarnwick: another flush of " << folder << " is running.\n";
    log.Line(" status: another flush of " + folder + " is running; nothing done");
    return RunOutcome::kExitSent;
  }
  return Flush(folder, LifetimeHours(), log).Run();
}

int List() {
  const std::string folder = OpenFolder();
  if (folder.empty()) return RunOutcome::kExitPermanent;
  const std::int64_t now = std::time(nullptr);
  auto show = [&](const std::string& where, const char* title) {
    const std::vector<OutboxEntry> entries = Outbox::List(where, nullptr);
    std::cout << title << " (" << entries.size() << ") in " << where << ":\n";
    for (const auto& entry : entries) {
      const std::string next = entry.nextTry <= now ? "now" : "in " + Duration(entry.nextTry - now);
      std::cout << RunLog::OneLine(
                       "  " + entry.id + "  age " + Duration(now - entry.queued) + "  attempts " +
                       std::to_string(entry.attempts) + "  next try " + next + "  to " +
                       Recipients(entry) +
                       (entry.lastError.empty() ? "" : "  last error: " + entry.lastError))
                << "\n";
    }
  };
  show(folder, "Queued");
  show(folder + "/" + Outbox::kFailedFolder, "Failed");
  std::cout << "A message is its file, ID.msg: removing the file removes the message.\n";
  return RunOutcome::kExitSent;
}

}  // namespace OutboxFlush
