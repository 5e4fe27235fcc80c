#include "Connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace {

std::string SystemError(int error) {
  return std::error_code(error, std::generic_category()).message();
}

std::string OpenSslError() {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    text = buffer;  // the last is the most specific
  }
  return text;
}

bool IsIpAddress(const std::string& host) {
  unsigned char probe[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, host.c_str(), probe) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), probe) == 1;
}

// What an SSL call's failure means for the loop.
Connection::Io SslIo(SSL* ssl, int rc, std::string& error) {
  switch (SSL_get_error(ssl, rc)) {
    case SSL_ERROR_WANT_READ:
      return Connection::Io::WantRead;
    case SSL_ERROR_WANT_WRITE:
      return Connection::Io::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
      return Connection::Io::Closed;
    case SSL_ERROR_SYSCALL:
      if (errno == 0 || errno == ECONNRESET || errno == EPIPE) {
        ERR_clear_error();
        return Connection::Io::Closed;
      }
      error = SystemError(errno);
      return Connection::Io::Failed;
    default: {
      error = OpenSslError();
      // A peer that just goes away without close_notify is a closed connection.
      if (error.find("unexpected eof") != std::string::npos) return Connection::Io::Closed;
      return Connection::Io::Failed;
    }
  }
}

}  // namespace

Connection::~Connection() { Close(); }

void Connection::Close() {
  if (ssl_ != nullptr) SSL_free(ssl_);
  ssl_ = nullptr;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  plainWritten_ = 0;
}

bool Connection::Open(const Resolver::Address& address, std::string& error) {
  Close();
  fd_ = ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error = SystemError(errno);
    return false;
  }
  const int one = 1;
  (void)::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  const auto* target = reinterpret_cast<const sockaddr*>(address.bytes.data());
  if (::connect(fd_, target, static_cast<socklen_t>(address.bytes.size())) != 0 &&
      errno != EINPROGRESS) {
    error = SystemError(errno);
    Close();
    return false;
  }
  return true;
}

int Connection::ConnectResult() const {
  int result = 0;
  socklen_t length = sizeof result;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &result, &length) != 0) return errno;
  return result;
}

bool Connection::StartTls(SSL_CTX* context, const std::string& host, std::string& error) {
  ssl_ = SSL_new(context);
  if (ssl_ == nullptr || SSL_set_fd(ssl_, fd_) != 1) {
    error = OpenSslError();
    return false;
  }
  SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
  bool named = false;
  if (IsIpAddress(host)) {
    named = X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1;
  } else {
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    named = X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0) == 1 &&
            SSL_set_tlsext_host_name(ssl_, host.c_str()) == 1;
  }
  if (!named) {
    error = "cannot check the certificate against " + host;
    return false;
  }
  SSL_set_connect_state(ssl_);
  return true;
}

Connection::Io Connection::Handshake(std::string& error, bool& untrusted) {
  ERR_clear_error();
  const int rc = SSL_do_handshake(ssl_);
  if (rc == 1) return Io::Done;
  const long verify = SSL_get_verify_result(ssl_);
  Io io = SslIo(ssl_, rc, error);
  if (io == Io::WantRead || io == Io::WantWrite) return io;
  if (verify != X509_V_OK) {
    untrusted = true;
    error = X509_verify_cert_error_string(verify);
  } else if (io == Io::Closed) {
    error = "the server closed the connection during the handshake";
  }
  return Io::Failed;
}

std::string Connection::TlsSummary() const {
  if (ssl_ == nullptr) return {};
  return std::string(SSL_get_version(ssl_)) + " / " + SSL_get_cipher_name(ssl_);
}

std::size_t Connection::Read(char* buffer, std::size_t size, Io& io, std::string& error) {
  if (ssl_ != nullptr) {
    ERR_clear_error();
    std::size_t got = 0;
    const int rc = SSL_read_ex(ssl_, buffer, size, &got);
    if (rc == 1) return got;
    io = SslIo(ssl_, rc, error);
    return 0;
  }
  const ssize_t got = ::recv(fd_, buffer, size, 0);
  if (got > 0) return static_cast<std::size_t>(got);
  if (got == 0 || errno == ECONNRESET) {
    io = Io::Closed;
  } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
    io = Io::WantRead;
  } else {
    io = Io::Failed;
    error = SystemError(errno);
  }
  return 0;
}

std::size_t Connection::Write(const char* data, std::size_t size, Io& io, std::string& error) {
  if (ssl_ != nullptr) {
    ERR_clear_error();
    std::size_t put = 0;
    const int rc = SSL_write_ex(ssl_, data, size, &put);
    if (rc == 1) return put;
    io = SslIo(ssl_, rc, error);
    return 0;
  }
  const ssize_t put = ::send(fd_, data, size, MSG_NOSIGNAL);
  if (put > 0) {
    plainWritten_ += static_cast<std::uint64_t>(put);
    return static_cast<std::size_t>(put);
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
    io = Io::WantWrite;
  } else if (errno == EPIPE || errno == ECONNRESET) {
    io = Io::Closed;
  } else {
    io = Io::Failed;
    error = SystemError(errno);
  }
  return 0;
}

bool Connection::Buffered() const { return ssl_ != nullptr && SSL_pending(ssl_) > 0; }

std::uint64_t Connection::Written() const {
  if (ssl_ == nullptr) return plainWritten_;
  return plainWritten_ + BIO_number_written(SSL_get_wbio(ssl_));
}

std::uint64_t Connection::Acknowledged() const {
  const std::uint64_t written = Written();
  const std::uint64_t queued = Queued();
  return written > queued ? written - queued : 0;
}

std::uint64_t Connection::Queued() const {
  int queued = 0;
  if (fd_ < 0 || ::ioctl(fd_, SIOCOUTQ, &queued) != 0 || queued < 0) return 0;
  return static_cast<std::uint64_t>(queued);
}

TlsContext::~TlsContext() {
  if (context_ != nullptr) SSL_CTX_free(context_);
}

bool TlsContext::Init(const std::string& caFile, std::string& error) {
  context_ = SSL_CTX_new(TLS_client_method());
  if (context_ == nullptr) {
    error = OpenSslError();
    return false;
  }
  SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
  SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
  const int loaded = caFile.empty()
                         ? SSL_CTX_set_default_verify_paths(context_)
                         : SSL_CTX_load_verify_locations(context_, caFile.c_str(), nullptr);
  if (loaded != 1) {
    error = caFile.empty() ? "the system's certificate store cannot be read"
                           : "the CA file " + caFile + " cannot be read (" + OpenSslError() + ")";
    return false;
  }
  return true;
}
