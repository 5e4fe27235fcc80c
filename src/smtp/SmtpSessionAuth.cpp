// The session's login: SASL through GNU SASL, or a bearer token.
#include "SmtpErrors.h"
#include "SmtpSession.h"

void SmtpSession::StartAuth() {
  SetState(State::Auth);
  const std::string& user = settings_.user;
  if (!settings_.bearerMechanism.empty()) {
    mechanism_ = settings_.bearerMechanism;
    const std::string initial =
        mechanism_ == "OAUTHBEARER"
            ? SaslClient::OAuthBearer(user, settings_.host, settings_.port, settings_.password)
            : SaslClient::XOAuth2(user, settings_.password);
    Command("AUTH " + mechanism_ + " " + initial, State::Auth, "");
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
    Fail(SmtpOutcome::Kind::LoginFailure, reply.code, reply.Text(), &reply);
    return;
  }
  const std::string challenge = reply.lines.empty() ? "" : reply.lines.front();
  if (!settings_.bearerMechanism.empty()) {
    // An error challenge (JSON): the server wants an empty answer before it
    // gives its final refusal.
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
