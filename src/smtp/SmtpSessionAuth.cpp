// The session's login: SASL through GNU SASL, or a bearer token.
#include <algorithm>
#include <nlohmann/json.hpp>

#include "SmtpErrors.h"
#include "SmtpSession.h"

namespace {

// SMTP's longest command line, CR LF included.
constexpr std::size_t kCommandLineLimit = 512;

// The status and scope of an error challenge's JSON, as one short text: only
// those values are picked out of what the server sent, never the rest.
std::string BearerChallengeText(const std::string& json) {
  const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
  auto value = [&parsed](const char* name) -> std::string {
    if (!parsed.is_object() || !parsed.contains(name) || !parsed[name].is_string()) return {};
    std::string text = parsed[name].get<std::string>().substr(0, 200);
    for (char& c : text) {
      if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return text;
  };
  const std::string status = value("status");
  const std::string scope = value("scope");
  std::string text = "status " + (status.empty() ? std::string("unknown") : status);
  if (!scope.empty()) text += ", scope " + scope;
  return text;
}

}  // namespace

void SmtpSession::StartAuth() {
  SetState(State::Auth);
  const std::string& user = settings_.user;
  if (!settings_.bearerMechanism.empty()) {
    mechanism_ = settings_.bearerMechanism;
    const auto& offered = capabilities_.mechanisms;
    if (std::find(offered.begin(), offered.end(), mechanism_) == offered.end()) {
      // The sign-in asked for, or none: never another mechanism instead.
      Fail(SmtpOutcome::Kind::LoginFailure, SmtpErrors::kNoMechanism,
           settings_.serverLabel + " does not offer AUTH " + mechanism_ + ", the sign-in " +
               "SMTPAuth asks for; nothing was sent.");
      return;
    }
    std::string initial =
        mechanism_ == "OAUTHBEARER"
            ? SaslClient::OAuthBearer(user, settings_.host, settings_.port, settings_.password)
            : SaslClient::XOAuth2(user, settings_.password);
    bearerChallenge_.clear();
    bearerLater_.clear();
    // A command line may hold 512 bytes with its CR LF; a longer token (a
    // large Microsoft one) goes after the server's empty 334 instead.
    const std::string command = "AUTH " + mechanism_ + " " + initial;
    if (command.size() + 2 <= kCommandLineLimit) {
      Command(command, State::Auth, "");
    } else {
      bearerLater_ = std::move(initial);
      Command("AUTH " + mechanism_, State::Auth, "");
    }
    status_("Authenticating as " + user + " (" + mechanism_ + ")");
    return;
  }
  if (!capabilities_.auth) {
    Fail(SmtpOutcome::Kind::LoginFailure, SmtpErrors::kAuthNotOffered,
         settings_.serverLabel + " offers no AUTH, so user " + user +
             " cannot log in; the message was not sent.");
    return;
  }
  mechanisms_ = sasl_.Candidates(capabilities_.mechanisms);
  if (!TryMechanism()) {
    std::string offered;
    for (const auto& m : capabilities_.mechanisms) offered += (offered.empty() ? "" : " ") + m;
    Fail(SmtpOutcome::Kind::LoginFailure, SmtpErrors::kNoMechanism,
         settings_.serverLabel + " offers AUTH " + offered +
             ", and none of them can log in here with a user name and password; nothing was sent.");
  }
}

// The next mechanism that can start here; a client-side failure (GSSAPI
// without a ticket) moves on to the next one.
bool SmtpSession::TryMechanism() {
  while (!mechanisms_.empty()) {
    mechanism_ = mechanisms_.front();
    mechanisms_.erase(mechanisms_.begin());
    std::string initial;
    std::string error;
    saslDone_ = false;
    if (!sasl_.Start(mechanism_, settings_.user, settings_.password, settings_.host, initial,
                     error))
      continue;
    Command("AUTH " + mechanism_ + (initial.empty() ? "" : " " + initial), State::Auth, "");
    status_("Authenticating as " + settings_.user + " (" + mechanism_ + ")");
    return true;
  }
  return false;
}

void SmtpSession::OnAuth(const SmtpReply& reply) {
  if (reply.code == 235) {
    // SCRAM's last step checks that the server knows the password too.
    if (mechanism_.rfind("SCRAM-", 0) == 0 && !saslDone_) {
      Fail(SmtpOutcome::Kind::LoginFailure, SmtpErrors::kLoginFailed,
           settings_.serverLabel + " accepted the login without proving it knows the password (" +
               mechanism_ + "); nothing was sent.");
      return;
    }
    AfterLogin();
    return;
  }
  if (reply.code != 334) {
    // What the error challenge said (status, scope) goes with the refusal.
    const std::string said = bearerChallenge_.empty()
                                 ? std::string()
                                 : " (the token was refused: " + bearerChallenge_ + ")";
    Fail(SmtpOutcome::Kind::LoginFailure, reply.code, reply.Text() + said, &reply);
    return;
  }
  const std::string challenge = reply.lines.empty() ? "" : reply.lines.front();
  if (!settings_.bearerMechanism.empty()) {
    if (!bearerLater_.empty()) {
      Command(bearerLater_, State::Auth, "");
      bearerLater_.clear();
      return;
    }
    // An error challenge (JSON): the server wants an empty answer before it
    // gives its final refusal.
    bearerChallenge_ = BearerChallengeText(SaslClient::FromBase64(challenge));
    Command(mechanism_ == "OAUTHBEARER" ? "AQ==" : "", State::Auth, "");
    return;
  }
  std::string response;
  std::string error;
  const SaslClient::Step step = sasl_.Next(challenge, response, error);
  saslDone_ = step == SaslClient::Step::Done;
  if (step == SaslClient::Step::Failed) {
    Command("*", State::Auth, "");  // cancels the exchange
    Fail(SmtpOutcome::Kind::LoginFailure, SmtpErrors::kLoginFailed,
         "Logging in to " + settings_.serverLabel + " with " + mechanism_ + " failed: " + error +
             ".");
    return;
  }
  Command(response, State::Auth, "");
}

void SmtpSession::AfterLogin() {
  SetState(State::Ready);
  StartMessage();
}
