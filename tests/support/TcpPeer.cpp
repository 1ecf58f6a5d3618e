#include "tests/support/TcpPeer.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace testsupport {

using Clock = std::chrono::steady_clock;

namespace {

#ifdef _WIN32
// Winsock's names for the few calls that differ; its sockets are handles.
using socklen_t = int;
constexpr int MSG_NOSIGNAL = 0;
int poll(pollfd* fds, unsigned long count, int ms) { return WSAPoll(fds, count, ms); }
void close(std::intptr_t s) { closesocket(static_cast<SOCKET>(s)); }
bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
bool SetNonBlocking(std::intptr_t s) {
  u_long on = 1;
  return ioctlsocket(static_cast<SOCKET>(s), FIONBIO, &on) == 0;
}
std::intptr_t NewSocket() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) return -1;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return -1;
  SetNonBlocking(static_cast<std::intptr_t>(s));
  return static_cast<std::intptr_t>(s);
}
std::intptr_t AcceptClient(std::intptr_t listener) {
  const SOCKET s = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return -1;
  SetNonBlocking(static_cast<std::intptr_t>(s));
  return static_cast<std::intptr_t>(s);
}
#else
bool WouldBlock() { return errno == EAGAIN || errno == EINTR; }
std::intptr_t NewSocket() { return socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }
std::intptr_t AcceptClient(std::intptr_t listener) {
  return accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}
#endif

}  // namespace

TcpPeer::TcpPeer(int port, int queue) {
  Listener = NewSocket();
  const int on = 1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  if (Listener < 0 ||
      setsockopt(Listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) != 0 ||
      bind(Listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(Listener, queue) != 0 ||
      getsockname(Listener, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    if (Listener >= 0) close(Listener);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  }
  PortNumber = ntohs(a.sin_port);
}

TcpPeer::~TcpPeer() { CloseMaster(); }

void TcpPeer::Accept(int ms) {
  if (Listener < 0) return;
  pollfd p{static_cast<decltype(pollfd::fd)>(Listener), POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return;
  const std::intptr_t client = AcceptClient(Listener);
  if (client < 0) return;
  DropClient();
  Client = client;
}

void TcpPeer::DropQueue() {
  for (std::intptr_t client; (client = AcceptClient(Listener)) >= 0;) close(client);
}

bool TcpPeer::Write(const std::vector<uint8_t>& bytes) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  Accept(0);
  while (Client < 0 && Listener >= 0 && MsLeft(deadline) > 0) Accept(20);
  size_t done = 0;
  while (done < bytes.size() && Client >= 0) {
    const auto n =
        send(Client, reinterpret_cast<const char*>(bytes.data()) + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && WouldBlock() && MsLeft(deadline) > 0) {
      pollfd p{static_cast<decltype(pollfd::fd)>(Client), POLLOUT, 0};
      poll(&p, 1, 10);
    } else {
      return false;
    }
  }
  return done == bytes.size();
}

std::vector<uint8_t> TcpPeer::ReadUntil(const std::function<bool(const std::vector<uint8_t>&)>& done, int ms) {
  std::vector<uint8_t> got;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (!(done && done(got))) {
    const int left = MsLeft(deadline);
    if (left == 0) break;
    Accept(0);
    if (Client < 0) {
      Accept(std::min(left, 20));
      continue;
    }
    pollfd p{static_cast<decltype(pollfd::fd)>(Client), POLLIN, 0};
    if (poll(&p, 1, std::min(left, 20)) <= 0) continue;
    uint8_t buffer[512];
    const auto n = recv(Client, reinterpret_cast<char*>(buffer), sizeof buffer, 0);
    if (n > 0) got.insert(got.end(), buffer, buffer + n);
    else if (n == 0) DropClient();  // the client went: wait for the next
  }
  return got;
}

void TcpPeer::DropClient() {
  if (Client >= 0) close(Client);
  Client = -1;
}

void TcpPeer::CloseMaster() {
  DropClient();
  if (Listener >= 0) close(Listener);
  Listener = -1;
}

}  // namespace testsupport
