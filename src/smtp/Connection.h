#pragma once
// One non-blocking TCP connection, plain or under TLS (OpenSSL), for the
// session's poll loop: every call returns at once and says what it waits
// for. It also tells how many of our bytes the peer has acknowledged, so a
// slow link that is still draining counts as moving.
#include <cstdint>
#include <string>

#include "Resolver.h"

using SSL = struct ssl_st;
using SSL_CTX = struct ssl_ctx_st;

class Connection {
 public:
  enum class Io { Done, WantRead, WantWrite, Closed, Failed };

  Connection() = default;
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Starts connecting; false with `error` when it failed at once.
  bool Open(const Resolver::Address& address, std::string& error);
  // Once the socket is writable: 0 when connected, else the errno.
  int ConnectResult() const;
  int Fd() const { return fd_; }
  void Close();

  // TLS on the open connection, checking `host` (a name or an IP address)
  // against the certificate. Then Handshake() until it is Done.
  bool StartTls(SSL_CTX* context, const std::string& host, std::string& error);
  // Done, WantRead/WantWrite, or Failed with `error`; `untrusted` when the
  // certificate was the reason.
  Io Handshake(std::string& error, bool& untrusted);
  bool Tls() const { return ssl_ != nullptr; }
  std::string TlsSummary() const;  // "TLSv1.3 / TLS_AES_256_GCM_SHA384"

  // Bytes moved (> 0), or 0 with `io` saying why not. `error` on Failed.
  std::size_t Read(char* buffer, std::size_t size, Io& io, std::string& error);
  std::size_t Write(const char* data, std::size_t size, Io& io, std::string& error);
  // Read data already decrypted and waiting inside TLS.
  bool Buffered() const;

  // Our bytes on the wire that the peer has acknowledged so far.
  std::uint64_t Acknowledged() const;
  // Raw bytes handed to the socket so far, TLS records included.
  std::uint64_t Written() const;
  // Our bytes in the socket, unsent or unacknowledged.
  std::uint64_t Queued() const;
  bool Drained() const { return Queued() == 0; }
  // The receive window the peer last advertised: it grows back as the
  // server's program reads what its system has already acknowledged.
  std::uint32_t PeerWindow() const;

 private:
  int fd_ = -1;
  SSL* ssl_ = nullptr;
  std::uint64_t plainWritten_ = 0;
};

// The TLS settings every connection of a session shares: TLS 1.2 at least,
// peer verification against the system store or one CA file.
class TlsContext {
 public:
  TlsContext() = default;
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;
  // False with `error` when the CA file cannot be used.
  bool Init(const std::string& caFile, std::string& error);
  SSL_CTX* Get() const { return context_; }

 private:
  SSL_CTX* context_ = nullptr;
};
