#include "gateway/ModbusTcpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "gateway/GatewayLog.h"

namespace {

using Clock = std::chrono::steady_clock;

// Bytes a connection may hold unanswered: a few whole frames, which a client
// that sends requests back to back gets answered one after the other.
constexpr size_t INPUT_LIMIT = 4 * mbap::MAX_FRAME;
// Replies a client does not take off the socket: it is closed past this.
constexpr size_t OUTPUT_LIMIT = 64 * 1024;
// The longest a pass-through request waits in its line's queue: beyond it the
// client has long given up.
constexpr auto PASS_THROUGH_WAIT = std::chrono::seconds(5);

void NonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

std::string PeerAddress(const sockaddr_storage& a) {
  char text[INET6_ADDRSTRLEN] = {};
  if (a.ss_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
  else if (a.ss_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(a).sin6_addr, text, sizeof text);
  std::string s = text;
  if (s.rfind("::ffff:", 0) == 0 && s.find('.') != std::string::npos) s.erase(0, 7);
  return s;
}

// Label values are quoted; an address holds nothing that needs escaping.
std::string Label(const std::string& client) { return "{client=\"" + client + "\"}"; }

}  // namespace

struct TModbusTcpServer::TConnection {
  int Fd = -1;
  uint64_t Id = 0;
  std::string Client;
  std::vector<uint8_t> In;
  std::vector<uint8_t> Out;
  bool Waiting = false;  // a pass-through request is out for it
  Clock::time_point LastActive;
};

TModbusTcpServer::TModbusTcpServer(const TGatewayConfig& config, TGatewayState& state,
                                   std::vector<TPassQueue*> queues)
    : Config(config.ModbusTcp), State(state), Queues(std::move(queues)) {
  int index = 0;
  for (size_t l = 0; l < config.Lines.size(); ++l) {
    LineNames.push_back(config.Lines[l].Name);
    for (const TMeterConfig& m : config.Lines[l].Meters)
      Units[m.UnitId > 0 ? m.UnitId : m.Address] =
          TUnit{index++, static_cast<int>(l), m.AllowWrites, m.Name, config.Lines[l].StaleAfterS};
  }
  for (const std::string& a : Config.Allow) {
    TNetwork n;
    if (ParseNetwork(a, n)) Allow.push_back(n);
  }
  for (TPassQueue* q : Queues) q->SetLimit(static_cast<size_t>(Config.QueueLimit));
}

TModbusTcpServer::~TModbusTcpServer() { Stop(); }

bool TModbusTcpServer::Start(std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(Config.Port);
  const int gai = getaddrinfo(Config.Address.c_str(), port.c_str(), &hints, &found);
  if (gai != 0 || !found) {
    error = "modbus_tcp: cannot listen on " + Config.Address + ":" + port + ": " + gai_strerror(gai);
    return false;
  }
  int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int yes = 1;
  if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (fd < 0 || bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 64) != 0) {
    error = "modbus_tcp: cannot listen on " + Config.Address + ":" + port + ": " + std::strerror(errno) +
            (Config.Port < 1024 ? " (a port below 1024 needs the capability CAP_NET_BIND_SERVICE)" : "");
    if (fd >= 0) close(fd);
    freeaddrinfo(found);
    return false;
  }
  freeaddrinfo(found);
  sockaddr_storage bound{};
  socklen_t len = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
  BoundPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                                : reinterpret_cast<sockaddr_in&>(bound).sin_port);
  NonBlocking(fd);
  Listener = fd;
  int pipeFds[2];
  if (pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
    error = std::string("modbus_tcp: ") + std::strerror(errno);
    close(Listener);
    Listener = -1;
    return false;
  }
  WakeRead = pipeFds[0];
  WakeWrite = pipeFds[1];
  State.SetMetricsSource([this] { return Metrics(); });
  Stopping = false;
  Thread = std::thread([this] { Run(); });
  GatewayLog(TLogLevel::Notice, "modbus_tcp: serving " + std::to_string(Units.size()) + " meters on " +
                                    Config.Address + ":" + std::to_string(BoundPort));
  return true;
}

void TModbusTcpServer::Stop() {
  if (!Thread.joinable()) return;
  Stopping = true;
  WakeUp();
  Thread.join();
  State.SetMetricsSource(nullptr);
  for (auto& c : Connections) close(c->Fd);
  Connections.clear();
  close(Listener);
  close(WakeRead);
  close(WakeWrite);
  Listener = WakeRead = WakeWrite = -1;
}

void TModbusTcpServer::WakeUp() {
  const char b = 1;
  if (WakeWrite >= 0) [[maybe_unused]]
    auto n = write(WakeWrite, &b, 1);
}

void TModbusTcpServer::Run() {
  std::vector<pollfd> fds;
  while (!Stopping) {
    fds.clear();
    fds.push_back({Listener, POLLIN, 0});
    fds.push_back({WakeRead, POLLIN, 0});
    for (auto& c : Connections) {
      short events = 0;
      if (!c->Waiting && c->In.size() < INPUT_LIMIT) events |= POLLIN;
      if (!c->Out.empty()) events |= POLLOUT;
      fds.push_back({c->Fd, events, 0});
    }
    if (poll(fds.data(), fds.size(), 200) < 0 && errno != EINTR) break;
    if (Stopping) break;
    if (fds[1].revents & POLLIN) {
      char drain[64];
      while (read(WakeRead, drain, sizeof drain) > 0) {}
    }
    TakeDone();
    // Connections by position: those accepted below are not in fds yet.
    const size_t polled = fds.size() - 2;
    for (size_t i = 0; i < polled && i < Connections.size(); ++i) {
      TConnection& c = *Connections[i];
      const short ev = fds[i + 2].revents;
      if (c.Fd < 0 || c.Fd != fds[i + 2].fd) continue;
      if ((ev & POLLOUT) && !Flush(c)) continue;
      if ((ev & (POLLHUP | POLLERR)) && !(ev & POLLIN)) {
        Close(c, "closed by the client");
        continue;
      }
      if (ev & POLLIN) {
        if (!ReadFrom(c)) continue;
        Work(c);
      }
    }
    if (fds[0].revents & POLLIN) Accept();
    const auto now = Clock::now();
    const auto idle =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(Config.IdleTimeoutS));
    for (auto& c : Connections)
      if (c->Fd >= 0 && !c->Waiting && now - c->LastActive > idle) Close(*c, "idle");
    Connections.erase(
        std::remove_if(Connections.begin(), Connections.end(), [](const auto& c) { return c->Fd < 0; }),
        Connections.end());
  }
}

void TModbusTcpServer::Accept() {
  for (;;) {
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    const int fd = accept4(Listener, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    const std::string client = PeerAddress(peer);
    const char* refusal = nullptr;
    if (!AddressAllowed(client, Allow))
      refusal = "outside the allow list";
    else if (Connections.size() >= static_cast<size_t>(Config.MaxConnections))
      refusal = "all connections taken";
    if (refusal) {
      GatewayLog(TLogLevel::Warning, "modbus_tcp: client " + client + " refused: " + refusal);
      close(fd);
      std::lock_guard lock(CountMutex);
      ++Refused;
      continue;
    }
    int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    auto c = std::make_unique<TConnection>();
    c->Fd = fd;
    c->Id = NextId++;
    c->Client = client;
    c->LastActive = Clock::now();
    Connections.push_back(std::move(c));
    std::lock_guard lock(CountMutex);
    TClientCounters& k = Clients[client];
    ++k.Open;
    ++k.Connections;
  }
}

void TModbusTcpServer::Close(TConnection& c, const char* why) {
  if (c.Fd < 0) return;
  if (std::strcmp(why, "closed by the client") != 0)
    GatewayLog(TLogLevel::Info, "modbus_tcp: connection of " + c.Client + " closed: " + why);
  close(c.Fd);
  c.Fd = -1;
  std::lock_guard lock(CountMutex);
  --Clients[c.Client].Open;
}

bool TModbusTcpServer::ReadFrom(TConnection& c) {
  uint8_t buffer[1024];
  for (;;) {
    const size_t room = INPUT_LIMIT - std::min(INPUT_LIMIT, c.In.size());
    if (room == 0) return true;
    const ssize_t n = recv(c.Fd, buffer, std::min(room, sizeof buffer), 0);
    if (n > 0) {
      c.In.insert(c.In.end(), buffer, buffer + n);
      c.LastActive = Clock::now();
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n < 0 && errno == EINTR) continue;
    Close(c, "closed by the client");
    return false;
  }
}

void TModbusTcpServer::Work(TConnection& c) {
  while (c.Fd >= 0 && !c.Waiting) {
    const mbap::TRequest r = mbap::Parse(c.In.data(), c.In.size());
    if (r.Result == mbap::TParse::NeedMore) return;
    if (r.Result == mbap::TParse::Close) {
      Close(c, "not a Modbus TCP frame");
      return;
    }
    c.In.erase(c.In.begin(), c.In.begin() + static_cast<long>(r.Consumed));
    {
      std::lock_guard lock(CountMutex);
      ++Clients[c.Client].Requests;
    }
    if (r.Result == mbap::TParse::Exception)
      Answer(c, mbap::ExceptionReply(r.Transaction, r.Unit, r.Function, r.Code), true);
    else
      Handle(c, r);
  }
}

void TModbusTcpServer::Answer(TConnection& c, std::vector<uint8_t> frame, bool exception) {
  if (exception) {
    std::lock_guard lock(CountMutex);
    ++Clients[c.Client].Exceptions;
  }
  c.Out.insert(c.Out.end(), frame.begin(), frame.end());
  c.LastActive = Clock::now();
  if (c.Out.size() > OUTPUT_LIMIT) {
    Close(c, "replies not taken");
    return;
  }
  Flush(c);
}

bool TModbusTcpServer::Flush(TConnection& c) {
  while (!c.Out.empty() && c.Fd >= 0) {
    const ssize_t n = send(c.Fd, c.Out.data(), c.Out.size(), MSG_NOSIGNAL);
    if (n > 0) {
      c.Out.erase(c.Out.begin(), c.Out.begin() + n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n < 0 && errno == EINTR) continue;
    Close(c, "closed by the client");
    return false;
  }
  return c.Fd >= 0;
}

void TModbusTcpServer::Handle(TConnection& c, const mbap::TRequest& r) {
  auto refuse = [&](uint8_t code) {
    Answer(c, mbap::ExceptionReply(r.Transaction, r.Unit, r.Function, code), true);
  };
  const auto unit = Units.find(r.Unit);
  if (unit == Units.end()) return refuse(mbap::PATH_UNAVAILABLE);
  const TUnit& u = unit->second;
  if (r.Function == mbap::WRITE_SINGLE && !u.AllowWrites) {
    GatewayLog(TLogLevel::Warning, "modbus_tcp: client " + c.Client + " writes " +
                                       std::to_string(static_cast<int16_t>(r.Count)) + " to register " +
                                       std::to_string(r.Register) + " of " + u.Name +
                                       ": refused, allow_writes is off");
    return refuse(mbap::ILLEGAL_FUNCTION);
  }
  // A meter whose link is down answers nothing, from memory or from the line.
  if (State.Snapshot(u.Meter).LinkState != 1) return refuse(mbap::TARGET_FAILED);
  if (r.Function != mbap::WRITE_SINGLE) {
    std::vector<uint8_t> bytes;
    switch (State.Registers.Read(u.Meter, r.Register, r.Count, u.StaleAfterS, Clock::now(), bytes)) {
      case TRegisterStore::TFind::Held:
        return Answer(c, mbap::ReadReply(r.Transaction, r.Unit, r.Function, bytes.data(), bytes.size()),
                      false);
      case TRegisterStore::TFind::Stale:
        return refuse(mbap::TARGET_FAILED);
      case TRegisterStore::TFind::Outside:
        return refuse(mbap::ILLEGAL_ADDRESS);
      case TRegisterStore::TFind::NotHeld:
        break;
    }
  }
  if (u.Line < 0 || static_cast<size_t>(u.Line) >= Queues.size()) return refuse(mbap::TARGET_FAILED);
  TPassRequest pass;
  pass.Meter = u.Meter;
  pass.Function = r.Function;
  pass.Register = r.Register;
  pass.Count = r.Count;
  pass.Client = c.Client;
  pass.MeterName = u.Name;
  pass.Deadline = Clock::now() + PASS_THROUGH_WAIT;
  const uint64_t id = c.Id;
  const mbap::TRequest asked = r;
  pass.Done = [this, id, asked](TPassResult result) {
    std::vector<uint8_t> frame;
    if (result.Exception != 0)
      frame = mbap::ExceptionReply(asked.Transaction, asked.Unit, asked.Function, result.Exception);
    else if (asked.Function == mbap::WRITE_SINGLE)
      frame = mbap::Reply(
          asked.Transaction, asked.Unit,
          {asked.Function, static_cast<uint8_t>(asked.Register >> 8), static_cast<uint8_t>(asked.Register),
           static_cast<uint8_t>(asked.Count >> 8), static_cast<uint8_t>(asked.Count)});
    else if (result.Bytes.size() > 250)
      frame = mbap::ExceptionReply(asked.Transaction, asked.Unit, asked.Function, mbap::TARGET_FAILED);
    else
      frame = mbap::ReadReply(asked.Transaction, asked.Unit, asked.Function, result.Bytes.data(),
                              result.Bytes.size());
    {
      std::lock_guard lock(DoneMutex);
      DoneFrames.push_back({id, std::move(frame)});
    }
    WakeUp();
  };
  switch (Queues[static_cast<size_t>(u.Line)]->Push(std::move(pass))) {
    case TPassQueue::TPush::Queued:
      c.Waiting = true;
      return;
    case TPassQueue::TPush::Full:
      return refuse(mbap::BUSY);
    case TPassQueue::TPush::Closed:
      return refuse(mbap::TARGET_FAILED);
  }
}

void TModbusTcpServer::TakeDone() {
  std::vector<TDone> done;
  {
    std::lock_guard lock(DoneMutex);
    done.swap(DoneFrames);
  }
  for (TDone& d : done) {
    for (auto& c : Connections) {
      if (c->Id != d.Connection || c->Fd < 0) continue;
      c->Waiting = false;
      // Byte 7 is the function; an exception has its top bit set.
      const bool exception = d.Frame.size() > 7 && (d.Frame[7] & 0x80) != 0;
      Answer(*c, std::move(d.Frame), exception);
      Work(*c);
    }
  }
}

std::string TModbusTcpServer::Metrics() const {
  std::string out;
  std::lock_guard lock(CountMutex);
  out += "# HELP kavrel_modbus_tcp_connections Modbus TCP connections open now, by client address.\n";
  out += "# TYPE kavrel_modbus_tcp_connections gauge\n";
  for (const auto& [client, k] : Clients)
    out += "kavrel_modbus_tcp_connections" + Label(client) + " " + std::to_string(k.Open) + "\n";
  out += "# HELP kavrel_modbus_tcp_connections_total Modbus TCP connections accepted, by client address.\n";
  out += "# TYPE kavrel_modbus_tcp_connections_total counter\n";
  for (const auto& [client, k] : Clients)
    out += "kavrel_modbus_tcp_connections_total" + Label(client) + " " + std::to_string(k.Connections) + "\n";
  out += "# HELP kavrel_modbus_tcp_requests_total Modbus TCP requests received, by client address.\n";
  out += "# TYPE kavrel_modbus_tcp_requests_total counter\n";
  for (const auto& [client, k] : Clients)
    out += "kavrel_modbus_tcp_requests_total" + Label(client) + " " + std::to_string(k.Requests) + "\n";
  out +=
      "# HELP kavrel_modbus_tcp_exceptions_total Modbus TCP requests answered with an exception, by client "
      "address.\n";
  out += "# TYPE kavrel_modbus_tcp_exceptions_total counter\n";
  for (const auto& [client, k] : Clients)
    out += "kavrel_modbus_tcp_exceptions_total" + Label(client) + " " + std::to_string(k.Exceptions) + "\n";
  out +=
      "# HELP kavrel_modbus_tcp_refused_total Modbus TCP connections refused (allow list, connection "
      "limit).\n";
  out += "# TYPE kavrel_modbus_tcp_refused_total counter\n";
  out += "kavrel_modbus_tcp_refused_total " + std::to_string(Refused) + "\n";
  out += "# HELP kavrel_modbus_tcp_pass_through_queue Modbus TCP requests waiting for their line.\n";
  out += "# TYPE kavrel_modbus_tcp_pass_through_queue gauge\n";
  for (size_t l = 0; l < Queues.size() && l < LineNames.size(); ++l)
    out += "kavrel_modbus_tcp_pass_through_queue{line=\"" + LineNames[l] + "\"} " +
           std::to_string(Queues[l]->Depth()) + "\n";
  return out;
}
