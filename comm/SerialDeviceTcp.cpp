// The network serial server behind the serial-device interface: a non-blocking
// TCP socket (POSIX sockets, or Winsock on Windows).
#include "comm/SerialDeviceTcp.h"

#ifdef _WIN32
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // WSAPoll
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
using SocketHandle = SOCKET;
constexpr SocketHandle NO_SOCKET = INVALID_SOCKET;
constexpr int SEND_FLAGS = 0;
int SocketError() { return WSAGetLastError(); }
void CloseSocket(SocketHandle s) { closesocket(s); }
bool WouldBlock(int e) { return e == WSAEWOULDBLOCK || e == WSAEINTR; }
bool ConnectPending(int e) { return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS; }
int PollSockets(pollfd* fds, unsigned long count, int timeoutMs) { return WSAPoll(fds, count, timeoutMs); }
bool SetSocketNonBlocking(SocketHandle s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}
long BytesWaiting(SocketHandle s) {
  u_long n = 0;
  return ioctlsocket(s, FIONREAD, &n) == 0 ? static_cast<long>(n) : -1;
}
std::string SocketErrorText(int e) {
  switch (e) {
    case WSAECONNREFUSED: return "connection refused";
    case WSAETIMEDOUT: return "connection timed out";
    case WSAEHOSTUNREACH: return "host unreachable";
    case WSAENETUNREACH: return "network unreachable";
    case WSAECONNRESET: return "connection reset by the server";
    case WSAECONNABORTED: return "connection aborted";
    default: return "socket error " + std::to_string(e);
  }
}
void StartSockets() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}
#else
using SocketHandle = int;
constexpr SocketHandle NO_SOCKET = -1;
#ifdef MSG_NOSIGNAL
constexpr int SEND_FLAGS = MSG_NOSIGNAL;  // a closed peer is an error, not a signal
#else
constexpr int SEND_FLAGS = 0;
#endif
int SocketError() { return errno; }
void CloseSocket(SocketHandle s) { close(s); }
bool WouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK || e == EINTR; }
bool ConnectPending(int e) { return e == EINPROGRESS || e == EINTR; }
int PollSockets(pollfd* fds, unsigned long count, int timeoutMs) {
  return poll(fds, static_cast<nfds_t>(count), timeoutMs);
}
bool SetSocketNonBlocking(SocketHandle s) {
  const int flags = fcntl(s, F_GETFL);
  return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(s, F_SETFD, FD_CLOEXEC) == 0;
}
long BytesWaiting(SocketHandle s) {
  int n = 0;
  return ioctl(s, FIONREAD, &n) == 0 ? n : -1;
}
std::string SocketErrorText(int e) {
  std::string text = std::strerror(e);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}
void StartSockets() {}
#endif

std::mutex ErrorMutex;
std::string ErrorText;  // LastTcpError

void SetLastError(const std::string& text) {
  std::lock_guard lock(ErrorMutex);
  ErrorText = text;
}

bool IsHostCharacter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u > 0x20 && u != 0x7F && c != '/' && c != '[' && c != ']' && c != '@';
}

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

// ---------------------------------------------------------------------------
// Name lookup with a deadline. The system's lookup cannot be cut short, so it
// runs on a thread of its own; a caller that gives up leaves it to finish and
// clean up by itself. Only a few lookups may hang at once.

struct Lookup {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  bool Abandoned = false;
  int Result = 0;
  addrinfo* List = nullptr;
};

std::atomic<int> LookupsRunning{0};
constexpr int LOOKUP_LIMIT = 4;

struct AddressList {
  addrinfo* List = nullptr;
  ~AddressList() {
    if (List) freeaddrinfo(List);
  }
};

bool Resolve(const TTcpAddress& address, Clock::time_point deadline, AddressList& out, std::string& error) {
  addrinfo hints{};
  hints.ai_family = 0;  // IPv4 or IPv6, whichever the name has
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
  const std::string port = std::to_string(address.Port);
  // A numeric address needs no lookup and cannot hang.
  if (getaddrinfo(address.Host.c_str(), port.c_str(), &hints, &out.List) == 0) return true;
  out.List = nullptr;

  if (LookupsRunning.load() >= LOOKUP_LIMIT) {
    error = "name " + address.Host + " does not resolve (the name service does not answer)";
    return false;
  }
  hints.ai_flags = AI_NUMERICSERV;
  auto lookup = std::make_shared<Lookup>();
  ++LookupsRunning;
  std::thread([lookup, host = address.Host, port, hints] {
    addrinfo* list = nullptr;
    const int result = getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
    {
      std::lock_guard lock(lookup->Mutex);
      if (lookup->Abandoned) {
        if (result == 0 && list) freeaddrinfo(list);
      } else {
        lookup->Result = result;
        lookup->List = result == 0 ? list : nullptr;
        lookup->Finished = true;
      }
    }
    lookup->Done.notify_all();
    --LookupsRunning;
  }).detach();

  std::unique_lock lock(lookup->Mutex);
  if (!lookup->Done.wait_until(lock, deadline, [&] { return lookup->Finished; })) {
    lookup->Abandoned = true;
    error = "name " + address.Host + " does not resolve in time";
    return false;
  }
  if (lookup->Result != 0 || !lookup->List) {
    error = "name " + address.Host + " does not resolve";
    return false;
  }
  out.List = lookup->List;
  return true;
}

// Starts connecting one socket to one address; NO_SOCKET and the system's
// error code when that fails at once.
SocketHandle StartConnect(const addrinfo& a, int& error) {
  SocketHandle s = socket(a.ai_family, a.ai_socktype, a.ai_protocol);
  if (s == NO_SOCKET) {
    error = SocketError();
    return NO_SOCKET;
  }
  if (!SetSocketNonBlocking(s)) {
    error = SocketError();
    CloseSocket(s);
    return NO_SOCKET;
  }
  if (connect(s, a.ai_addr, static_cast<int>(a.ai_addrlen)) == 0) return s;
  error = SocketError();
  if (ConnectPending(error)) return s;
  CloseSocket(s);
  return NO_SOCKET;
}

enum class ConnectState { Connected, Pending, Failed };

// Waits for a started connection until the deadline. A failed one is closed;
// error then holds the reason.
ConnectState WaitConnect(SocketHandle s, Clock::time_point deadline, int& error) {
  for (;;) {
#ifdef _WIN32
    // WSAPoll does not report every failed connect; select does, as an exception.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    const int left = MillisecondsLeft(deadline);
    timeval wait{left / 1000, (left % 1000) * 1000};
    const int ready = select(0, nullptr, &writable, &failed, &wait);
#else
    pollfd p{};
    p.fd = s;
    p.events = POLLOUT;
    const int ready = PollSockets(&p, 1, MillisecondsLeft(deadline));
#endif
    if (ready > 0) break;
    if (ready < 0 && WouldBlock(SocketError()) && MillisecondsLeft(deadline) > 0) continue;
#ifdef _WIN32
    error = WSAETIMEDOUT;
#else
    error = ETIMEDOUT;
#endif
    return ConnectState::Pending;
  }
  int soError = 0;
  socklen_t length = sizeof soError;
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length) != 0) soError = SocketError();
  if (soError == 0) return ConnectState::Connected;
  error = soError;
  CloseSocket(s);
  return ConnectState::Failed;
}

// A connection still under way when its opener gave up. The next open of the
// same name picks it up and waits only briefly, so a server that drops the
// connection request (switched off, out of reach) costs the caller the whole
// connect time once, not on every attempt to reconnect.
struct PendingConnect {
  SocketHandle Socket = NO_SOCKET;
  Clock::time_point LastAsked;
};
std::mutex PendingMutex;
std::map<std::string, PendingConnect> Pending;
// Waiting on a connection carried over from an earlier attempt.
constexpr int PENDING_WAIT_MS = 50;
// A connection nobody asked about for this long is given up.
constexpr auto PENDING_KEEP = std::chrono::seconds(10);

// Takes the carried-over connection of name, or NO_SOCKET; closes stale ones.
SocketHandle TakePending(const std::string& name, Clock::time_point now) {
  std::lock_guard lock(PendingMutex);
  SocketHandle found = NO_SOCKET;
  for (auto i = Pending.begin(); i != Pending.end();) {
    if (i->first == name && now - i->second.LastAsked < PENDING_KEEP) {
      found = i->second.Socket;
    } else if (now - i->second.LastAsked < PENDING_KEEP) {
      ++i;
      continue;
    } else {
      CloseSocket(i->second.Socket);
    }
    i = Pending.erase(i);
  }
  return found;
}

void KeepPending(const std::string& name, SocketHandle s) {
  std::lock_guard lock(PendingMutex);
  auto& slot = Pending[name];
  if (slot.Socket != NO_SOCKET && slot.Socket != s) CloseSocket(slot.Socket);
  slot.Socket = s;
  slot.LastAsked = Clock::now();
}

class TcpSerialDevice final : public SerialDevice {
public:
  TcpSerialDevice(SocketHandle s, std::string name) : Socket(s), Name(std::move(name)) {
    const int on = 1;
    // Frames are short and must leave at once; a dead converter should show.
    setsockopt(Socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    setsockopt(Socket, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
  }
  ~TcpSerialDevice() override { CloseSocket(Socket); }

  bool SetQueueSizes(uint32_t, uint32_t) override { return !Gone; }
  bool SetNonBlocking() override { return !Gone; }
  bool SaveOriginal() override { return !Gone; }
  bool RestoreOriginal() override { return !Gone; }
  // The converter holds the line's settings; the text is only checked.
  bool ApplyLineSettings(const std::string& text, bool) override {
    return !Gone && !text.empty() && text[0] >= '1' && text[0] <= '9';
  }

  // What has arrived so far is thrown away, as a serial port's input queue is.
  bool PurgeInput() override {
    char buffer[512];
    for (;;) {
      const long n = recv(Socket, buffer, sizeof buffer, 0);
      if (n > 0) continue;
      if (n < 0 && WouldBlock(SocketError())) return true;
      return Fail(n == 0 ? 0 : SocketError());
    }
  }
  // What was sent is on its way through the network; nothing to take back.
  bool PurgeOutput() override { return !Gone; }
  bool SetRts(bool) override { return !Gone; }
  bool SetDtr(bool) override { return !Gone; }
  bool ClearBreak() override { return !Gone; }

  bool GetStatus(TSerialStatus& status) override {
    status = TSerialStatus{};
    if (Gone) return false;
    pollfd p{};
    p.fd = Socket;
    p.events = POLLIN;
    const int ready = PollSockets(&p, 1, 0);
    const long waiting = BytesWaiting(Socket);
    if (waiting < 0) return Fail(SocketError());
    if (ready > 0 && (p.revents & (POLLERR | POLLNVAL)) != 0) return Fail(SocketOptionError());
    // Readable with nothing to read: the server closed the connection.
    if (ready > 0 && waiting == 0 && (p.revents & (POLLIN | POLLHUP)) != 0) {
      char b;
      const long n = recv(Socket, &b, 1, MSG_PEEK);
      if (n == 0) return Fail(0);
      if (n < 0 && !WouldBlock(SocketError())) return Fail(SocketError());
    }
    status.InQueue = static_cast<uint32_t>(waiting);
    return true;
  }

  long Read(uint8_t* buffer, size_t size) override {
    if (Gone) return -1;
    if (size == 0) return 0;
    const long n = recv(Socket, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
    if (n > 0) return n;
    if (n < 0 && WouldBlock(SocketError())) return 0;
    Fail(n == 0 ? 0 : SocketError());
    return -1;
  }

  long Write(const uint8_t* data, size_t size) override {
    if (Gone) return -1;
    // A full send buffer means a stalled converter; give up after a second.
    const auto deadline = Clock::now() + std::chrono::milliseconds(1000);
    size_t done = 0;
    while (done < size) {
      const long n = send(Socket, reinterpret_cast<const char*>(data + done), static_cast<int>(size - done), SEND_FLAGS);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      const int e = SocketError();
      if (n < 0 && !WouldBlock(e)) {
        Fail(e);
        return done > 0 ? static_cast<long>(done) : -1;
      }
      if (Clock::now() >= deadline) break;
      pollfd p{};
      p.fd = Socket;
      p.events = POLLOUT;
      PollSockets(&p, 1, 10);
    }
    return static_cast<long>(done);
  }

  int TransmitterEmpty() override { return Gone ? -1 : 1; }
  bool Drain() override { return !Gone; }
  bool Lost() const override { return Gone; }

private:
  int SocketOptionError() {
    int e = 0;
    socklen_t length = sizeof e;
    getsockopt(Socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&e), &length);
    return e;
  }

  // Any failure of a connection is for good: it is made anew by reopening.
  bool Fail(int error) {
    if (!Gone)
      SetLastError(Name + ": " + (error == 0 ? std::string("connection closed by the server") : SocketErrorText(error)));
    Gone = true;
    return false;
  }

  SocketHandle Socket;
  std::string Name;
  bool Gone = false;
};

}  // namespace

bool ParseTcpAddress(std::string_view text, TTcpAddress& address) {
  if (IsTcpDeviceName(text)) text.remove_prefix(std::strlen(TCP_NAME_PREFIX));
  std::string_view host;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
    if (host.empty()) return false;
    const size_t zone = host.find('%');  // a scope such as %eth0 follows the address
    for (size_t i = 0; i < host.size(); ++i) {
      const auto c = static_cast<unsigned char>(host[i]);
      const bool ok = i < zone ? (std::isxdigit(c) || c == ':' || c == '.')
                               : (i == zone || std::isalnum(c) || c == '-' || c == '_' || c == '.');
      if (!ok) return false;
    }
  } else {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return false;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.empty() || host.find(':') != std::string_view::npos) return false;  // IPv6 needs brackets
    for (char c : host)
      if (!IsHostCharacter(c)) return false;
  }
  if (host.size() > 253 || port.empty() || port.size() > 5) return false;
  unsigned long number = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<unsigned long>(c - '0');
  }
  if (number == 0 || number > 65535) return false;
  address.Host = std::string(host);
  address.Port = static_cast<uint16_t>(number);
  return true;
}

std::string TcpDeviceName(const TTcpAddress& address) {
  const bool v6 = address.Host.find(':') != std::string::npos;
  return std::string(TCP_NAME_PREFIX) + (v6 ? "[" + address.Host + "]" : address.Host) + ":" +
         std::to_string(address.Port);
}

bool IsTcpDeviceName(std::string_view name) {
  const std::string_view prefix = TCP_NAME_PREFIX;
  if (name.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(name[i])) != prefix[i]) return false;
  return true;
}

std::unique_ptr<SerialDevice> OpenTcpSerialDevice(const std::string& name, std::string* error, int timeoutMs) {
  std::string why;
  std::unique_ptr<SerialDevice> device;
  TTcpAddress address;
  if (!IsTcpDeviceName(name) || !ParseTcpAddress(name, address)) {
    why = name + ": not a network address (tcp://HOST:PORT)";
  } else {
    StartSockets();
    const auto now = Clock::now();
    auto deadline = now + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    int code = 0;
    bool fresh = true;
    if (const SocketHandle carried = TakePending(name, now); carried != NO_SOCKET) {
      // An earlier attempt is under way: a brief look, then it goes on in the background.
      deadline = std::min(deadline, now + std::chrono::milliseconds(PENDING_WAIT_MS));
      switch (WaitConnect(carried, deadline, code)) {
        case ConnectState::Connected:
          device = std::make_unique<TcpSerialDevice>(carried, name);
          fresh = false;
          break;
        case ConnectState::Pending:
          KeepPending(name, carried);
          fresh = false;
          break;
        case ConnectState::Failed:  // a fresh attempt, within the same brief wait
          break;
      }
    }
    AddressList addresses;
    if (fresh && Resolve(address, deadline, addresses, why)) {
      for (const addrinfo* a = addresses.List; a && !device; a = a->ai_next) {
        const SocketHandle s = StartConnect(*a, code);
        if (s == NO_SOCKET) continue;
        const ConnectState state = WaitConnect(s, deadline, code);
        if (state == ConnectState::Connected) device = std::make_unique<TcpSerialDevice>(s, name);
        if (state == ConnectState::Pending) {
          KeepPending(name, s);
          break;
        }
      }
    }
    if (!device && why.empty()) why = SocketErrorText(code);
    if (!device) why = name + ": " + why;
  }
  SetLastError(why);
  if (error) *error = why;
  return device;
}

std::unique_ptr<SerialDevice> OpenPortDevice(const std::string& name) {
  if (IsTcpDeviceName(name)) return OpenTcpSerialDevice(name);
  return OpenSerialDevice(name);
}

std::string LastTcpError() {
  std::lock_guard lock(ErrorMutex);
  return ErrorText;
}

std::string PortOpenProblem(const std::string& name) {
  if (IsTcpDeviceName(name)) {
    const std::string why = LastTcpError();
    return why.empty() ? name + ": cannot be reached" : why;
  }
  const std::string device = ResolveSerialDeviceName(name);
  const std::string port = device.empty() || device == name ? name : name + " (" + device + ")";
  switch (LastSerialOpenError()) {
    case TSerialOpenError::NotFound:
      return port + ": no such device";
    case TSerialOpenError::NoPermission:
      // Serial devices belong to the group dialout on Debian.
      return port +
             ": permission denied; add your user to the group \"dialout\" (sudo adduser $USER dialout), "
             "then log out and log in again";
    case TSerialOpenError::InUse:
      return port + ": busy, in use by another program";
    case TSerialOpenError::NotASerialPort:
      return port + ": not a serial port";
    default:
      return port + ": cannot be opened";
  }
}
