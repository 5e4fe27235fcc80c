#pragma once
// A host name looked up without blocking the session's loop: a thread asks
// getaddrinfo and signals a pipe the loop polls. A session that goes away
// first leaves the thread to finish alone; it touches only what it shares.
#include <netdb.h>

#include <memory>
#include <string>
#include <vector>

class Resolver {
 public:
  struct Address {
    int family = 0;
    std::vector<unsigned char> bytes;  // a sockaddr of that family
  };

  Resolver(const std::string& host, int port);
  ~Resolver();
  Resolver(const Resolver&) = delete;
  Resolver& operator=(const Resolver&) = delete;

  int ReadyFd() const;  // readable once the answer is in
  bool Done() const;
  // Every address, in the order the system prefers; empty with Error() set.
  std::vector<Address> Addresses() const;
  std::string Error() const;
  // The name service could not be asked now (no network, no DNS server):
  // the name may well be fine.
  bool TryLater() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};
