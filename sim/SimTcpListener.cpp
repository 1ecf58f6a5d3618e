#include "sim/SimTcpListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/SimServer.h"

namespace {

void SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// Writes all of data to a non-blocking descriptor, waiting a little for room;
// false when the other side is gone.
bool WriteAll(int fd, const uint8_t* data, size_t size, bool socket) {
  size_t done = 0;
  int stalls = 0;
  while (done < size) {
    const ssize_t n = socket ? send(fd, data + done, size - done, MSG_NOSIGNAL) : write(fd, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR) && ++stalls < 200) {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, 10);
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

SimTcpListener::~SimTcpListener() { Stop(); }

bool SimTcpListener::Start(const std::string& host, int port, std::string* error) {
  std::string why;
  Stop();
  host_ = host.empty() ? "127.0.0.1" : host;
  port_ = port;
  stop_ = false;
  int fds[2];
  if (port < 0 || port > 65535) {
    why = "port " + std::to_string(port) + " outside 0..65535";
  } else if (!server_.Config().Device.empty()) {
    why = "a real serial device cannot be served over the network";
  } else if (Listen(why)) {
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
      wakeRead_ = fds[0];
      wakeWrite_ = fds[1];
      thread_ = std::thread([this] { Run(); });
      return true;
    }
    why = std::string("cannot create the wake-up pipe: ") + std::strerror(errno);
    CloseListener();
  }
  if (error) *error = why;
  return false;
}

void SimTcpListener::Stop() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    const char b = 1;
    [[maybe_unused]] const ssize_t n = write(wakeWrite_, &b, 1);
    thread_.join();
  }
  if (wakeRead_ >= 0) close(wakeRead_);
  if (wakeWrite_ >= 0) close(wakeWrite_);
  wakeRead_ = wakeWrite_ = -1;
  DropClient();
  ClosePty();
  CloseListener();
}

int SimTcpListener::Connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

bool SimTcpListener::Listen(std::string& error) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port_));
  if (inet_pton(AF_INET, host_.c_str(), &a.sin_addr) != 1) {
    error = "\"" + host_ + "\" is not an IPv4 address to listen on";
    return false;
  }
  listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  if (listenFd_ < 0 || setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listenFd_, 4) != 0) {
    error = "cannot listen on " + host_ + ":" + std::to_string(port_) + ": " + std::strerror(errno);
    CloseListener();
    return false;
  }
  SetNonBlocking(listenFd_);
  socklen_t length = sizeof a;
  if (getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &length) == 0) port_ = ntohs(a.sin_port);
  return true;
}

void SimTcpListener::CloseListener() {
  if (listenFd_ >= 0) close(listenFd_);
  listenFd_ = -1;
}

void SimTcpListener::DropClient() {
  if (clientFd_ >= 0) close(clientFd_);
  clientFd_ = -1;
}

void SimTcpListener::ClosePty() {
  if (ptyFd_ >= 0) close(ptyFd_);
  ptyFd_ = -1;
  ptyPath_.clear();
}

// Moves what is waiting on `from` to `to`; a client that closed is dropped,
// a line that failed is closed (and the client with it).
void SimTcpListener::Relay(int from, int to, bool toClient) {
  uint8_t buffer[1024];
  for (;;) {
    const ssize_t n = toClient ? read(from, buffer, sizeof buffer) : recv(from, buffer, sizeof buffer, 0);
    if (n > 0) {
      if (to >= 0 && !WriteAll(to, buffer, static_cast<size_t>(n), toClient)) {
        if (toClient) DropClient();
        else ClosePty();
        return;
      }
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (toClient) {  // the line went away: refuse until it is back
      ClosePty();
      CloseListener();
    }
    DropClient();
    return;
  }
}

void SimTcpListener::Run() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
    }
    // Follow the line: unplugged, it takes the client and the listener along.
    const std::string path = server_.DevicePath();
    if (ptyFd_ >= 0 && path != ptyPath_) ClosePty();
    if (ptyFd_ < 0) {
      DropClient();
      if (!path.empty()) {
        ptyFd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (ptyFd_ >= 0) {
          ptyPath_ = path;
          termios t{};
          if (tcgetattr(ptyFd_, &t) == 0) {
            cfmakeraw(&t);
            t.c_cflag |= CLOCAL | CREAD;
            tcsetattr(ptyFd_, TCSANOW, &t);
          }
        }
      }
    }
    if (ptyFd_ < 0) CloseListener();
    else if (listenFd_ < 0) {
      std::string ignored;
      Listen(ignored);  // the port may still be held: tried again on the next round
    }

    pollfd fds[4] = {{wakeRead_, POLLIN, 0}, {listenFd_, POLLIN, 0}, {clientFd_, POLLIN, 0},
                     {clientFd_ >= 0 ? ptyFd_ : -1, POLLIN, 0}};
    if (poll(fds, 4, 100) < 0 && errno != EINTR) return;
    if (fds[0].revents) {
      uint8_t drain[16];
      while (read(wakeRead_, drain, sizeof drain) > 0) {
      }
    }
    if (listenFd_ >= 0 && (fds[1].revents & POLLIN)) {
      const int client = accept(listenFd_, nullptr, nullptr);
      if (client >= 0) {
        DropClient();  // a new client replaces the old one
        clientFd_ = client;
        SetNonBlocking(clientFd_);
        const int on = 1;
        setsockopt(clientFd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (ptyFd_ >= 0) tcflush(ptyFd_, TCIFLUSH);  // nothing of the old client's reaches the new one
        std::lock_guard lock(mutex_);
        ++connections_;
      }
    }
    if (clientFd_ >= 0 && fds[2].fd == clientFd_ && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)))
      Relay(clientFd_, ptyFd_, false);
    if (ptyFd_ >= 0 && fds[3].fd == ptyFd_ && (fds[3].revents & (POLLIN | POLLHUP | POLLERR)))
      Relay(ptyFd_, clientFd_, true);
  }
}
