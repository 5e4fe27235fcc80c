#pragma once
// Follows an SMTP dialogue from what libcurl reports (commands sent, reply
// lines, its own notes): turns it into status steps, and keeps what the
// outcome needs: the last reply, refused recipients, TLS and AUTH facts.
// Credentials sent during AUTH never reach a status text, and the server's
// control bytes never reach anything.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class SmtpDialogue {
 public:
  struct Refusal {
    std::string recipient;
    int code = 0;
    std::string text;
  };

  SmtpDialogue(std::string authUser, std::function<void(const std::string&)> status);

  void Command(std::string_view line);
  void ReplyLine(std::string_view line);
  void Info(std::string_view text);

  int LastCode() const { return lastCode_; }
  const std::string& LastText() const { return lastText_; }  // without the code
  const std::vector<Refusal>& Refused() const { return refused_; }
  int Accepted() const { return accepted_; }
  bool AuthOffered() const { return authOffered_; }
  bool SmtpUtf8Offered() const { return smtpUtf8Offered_; }
  // The reply to the end of the message has come (FinalReply() holds it).
  bool FinalReplyIn() const { return finalCode_ != 0; }
  int FinalCode() const { return finalCode_; }
  bool InData() const { return inData_; }
  bool Quitting() const { return verb_ == "QUIT"; }
  bool AuthSent() const { return !authMechanism_.empty(); }
  const std::string& AuthMechanism() const { return authMechanism_; }
  bool MailStarted() const { return mailStarted_; }
  const std::string& TlsVersion() const { return tlsVersion_; }
  bool StartTls() const { return startTls_; }
  const std::string& FinalReply() const { return finalReply_; }  // to the message itself
  const std::string& Waiting() const { return waiting_; }        // what an answer is awaited for

 private:
  void FinishReply();

  std::string authUser_;
  std::function<void(const std::string&)> status_;
  std::string verb_;  // the command the next reply answers
  std::string verbArgument_;
  std::vector<std::string> replyLines_;
  bool inAuth_ = false;
  bool inData_ = false;
  int lastCode_ = 0;
  std::string lastText_;
  std::vector<Refusal> refused_;
  int accepted_ = 0;
  bool authOffered_ = false;
  bool smtpUtf8Offered_ = false;
  int finalCode_ = 0;
  std::string authMechanism_;
  bool mailStarted_ = false;
  std::string tlsVersion_;
  bool startTls_ = false;
  std::string finalReply_;
  std::string waiting_ = "the server's greeting";
};
