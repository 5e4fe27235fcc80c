#include "SmtpDialogue.h"

#include <utility>

#include "MailText.h"

namespace {

std::string_view StripLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

std::string UpperWord(std::string_view line, std::size_t index) {
  std::size_t start = 0;
  for (std::size_t k = 0; k <= index; ++k) {
    start = line.find_first_not_of(' ', start);
    if (start == std::string_view::npos) return {};
    const auto end = line.find(' ', start);
    if (k == index) {
      std::string word(line.substr(start, end == std::string_view::npos ? end : end - start));
      for (char& c : word) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      return word;
    }
    if (end == std::string_view::npos) return {};
    start = end;
  }
  return {};
}

int ReplyCode(std::string_view line) {
  if (line.size() < 3) return 0;
  int code = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

std::string Join(const std::vector<std::string>& lines, std::string_view separator) {
  std::string out;
  for (const auto& line : lines) {
    if (!out.empty()) out += separator;
    out += line;
  }
  return out;
}

}  // namespace

SmtpDialogue::SmtpDialogue(std::string authUser, std::function<void(const std::string&)> status)
    : authUser_(std::move(authUser)), status_(std::move(status)) {}

void SmtpDialogue::Command(std::string_view line) {
  line = StripLineEnd(line);
  if (inAuth_) return;  // the answers to the server's challenges are credentials
  verb_ = UpperWord(line, 0);
  verbArgument_.clear();
  if (verb_ == "AUTH") {
    inAuth_ = true;
    authMechanism_ = UpperWord(line, 1);
    waiting_ = "the reply to AUTH";
    status_("Authenticating as " + authUser_ + " (" + authMechanism_ + ")");
    return;
  }
  if (verb_ == "EHLO") {  // asked again after STARTTLS
    authOffered_ = false;
    smtpUtf8Offered_ = false;
  }
  if (verb_ == "STARTTLS") {
    startTls_ = true;
    status_("Starting TLS");
  } else {
    if (verb_ == "MAIL") mailStarted_ = true;
    if (verb_ == "RCPT" || verb_ == "MAIL") {
      const auto open = line.find('<');
      const auto close = line.find('>', open);
      if (open != std::string_view::npos && close != std::string_view::npos) {
        verbArgument_ = std::string(line.substr(open + 1, close - open - 1));
      }
    }
    status_(std::string(line));
  }
  waiting_ = "the reply to " + (verb_ == "MAIL"   ? std::string("MAIL FROM")
                                : verb_ == "RCPT" ? std::string("RCPT TO")
                                                  : verb_);
}

void SmtpDialogue::ReplyLine(std::string_view line) {
  const std::string clean = MailText::CleanServerText(StripLineEnd(line));
  line = clean;
  replyLines_.emplace_back(line);
  if (verb_ == "EHLO" && line.size() >= 8) {
    const std::string_view keyword = line.substr(4, 8);
    if (MailText::SameLetters(keyword.substr(0, 4), "AUTH")) authOffered_ = true;
    if (MailText::SameLetters(keyword, "SMTPUTF8")) smtpUtf8Offered_ = true;
  }
  // "250-..." goes on; "250 ..." or a bare "250" ends the reply.
  if (line.size() > 3 && line[3] == '-') return;
  FinishReply();
}

void SmtpDialogue::FinishReply() {
  const std::vector<std::string> lines = std::move(replyLines_);
  replyLines_.clear();
  status_(Join(lines, "\r\n"));
  // The goodbye after a failure would hide the reply that failed.
  if (verb_ == "QUIT") return;
  lastCode_ = ReplyCode(lines.back());
  std::vector<std::string> texts;
  texts.reserve(lines.size());
  for (const auto& l : lines) texts.push_back(l.size() > 4 ? l.substr(4) : std::string());
  lastText_ = Join(texts, " ");
  if (inAuth_ && lastCode_ != 334) inAuth_ = false;
  if (verb_ == "RCPT") {
    if (lastCode_ >= 200 && lastCode_ < 300) {
      ++accepted_;
    } else {
      refused_.push_back({verbArgument_, lastCode_, lastText_});
    }
  } else if (verb_ == "DATA") {
    if (lastCode_ == 354) {
      inData_ = true;
      waiting_ = "the server to take the message";
      return;
    }
    if (inData_) {
      inData_ = false;
      finalReply_ = Join(lines, " ");
      finalCode_ = lastCode_;
    }
  }
  waiting_ = "the next step";
}

void SmtpDialogue::Info(std::string_view text) {
  text = StripLineEnd(text);
  // OpenSSL's note: "SSL connection using TLSv1.3 / TLS_AES_256_GCM_SHA384".
  constexpr std::string_view kTls = "SSL connection using ";
  if (text.substr(0, kTls.size()) == kTls) {
    const auto rest = text.substr(kTls.size());
    tlsVersion_ = std::string(rest.substr(0, rest.find(' ')));
    status_("TLS established: " + std::string(rest));
  }
}
