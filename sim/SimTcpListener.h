// The simulator as a network serial server: a TCP port whose client talks to
// the simulated line as through an RS-485-to-Ethernet converter. Bytes pass
// unchanged both ways between the client and the server's pseudo-terminal.
//
//   SimConfig config;  config.LinkPath.clear();
//   SimServer sim(config);  sim.Start();
//   SimTcpListener net(sim);
//   if (!net.Start("127.0.0.1", 0, &error)) ...   // 0: any free port
//   ... connect to tcp://127.0.0.1:<net.Port()> ...
//
// One client at a time; a new client replaces the one before. The line is
// read only while a client is connected, so a pseudo-terminal link serves
// whoever uses it in between (never both at once: each would steal replies). While the line
// is unplugged (SimServer::Unplug) the client is dropped and connections are
// refused, as with a converter that lost power; they are taken again once the
// line is back.
#pragma once

#include <mutex>
#include <string>
#include <thread>

class SimServer;

class SimTcpListener {
public:
  explicit SimTcpListener(SimServer& server) : server_(server) {}
  ~SimTcpListener();
  SimTcpListener(const SimTcpListener&) = delete;
  SimTcpListener& operator=(const SimTcpListener&) = delete;

  // Listens on host (an IPv4 address) and port, 0 for a free one. The server
  // must run on a pseudo-terminal. False with a reason when it cannot.
  bool Start(const std::string& host, int port, std::string* error = nullptr);
  // Drops the client and stops listening. Idempotent.
  void Stop();
  // The port listened on (the one chosen when 0 was asked).
  int Port() const { return port_; }
  // Clients accepted since the start.
  int Connections() const;

private:
  void Run();
  bool Listen(std::string& error);
  void CloseListener();
  void DropClient();
  void ClosePty();
  void Relay(int from, int to, bool toClient);

  SimServer& server_;
  std::string host_;
  int port_ = 0;
  std::thread thread_;
  int wakeRead_ = -1, wakeWrite_ = -1;
  int listenFd_ = -1, clientFd_ = -1, ptyFd_ = -1;
  std::string ptyPath_;
  mutable std::mutex mutex_;
  int connections_ = 0;
  bool stop_ = false;
};
