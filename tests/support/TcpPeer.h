// A network serial server played by the test: listens on 127.0.0.1 (a free
// port unless one is asked for) and talks to the client that connected last.
//
//   TcpPeer server;                     // listening at once
//   port.UseNetwork(server.Name());     // "tcp://127.0.0.1:<port>"
//   auto request = server.ReadFor(500);
//   server.Write({...});
//   server.CloseMaster();               // the server goes away: refused from now on
//   TcpPeer back(server.Port());        // ... and comes back on the same port
#pragma once

#include <string>

#include "PtyTools.h"

namespace testsupport {

class TcpPeer : public LinePeer {
public:
  // Listens on 127.0.0.1:port (0: a free port); throws std::runtime_error
  // when it cannot.
  explicit TcpPeer(int port = 0);
  ~TcpPeer() override;
  TcpPeer(const TcpPeer&) = delete;
  TcpPeer& operator=(const TcpPeer&) = delete;

  int Port() const { return PortNumber; }
  std::string Name() const { return "tcp://127.0.0.1:" + std::to_string(PortNumber); }
  // Clients accepted so far.
  int Connections() const { return Accepted; }

  // Both wait (up to 5 s for Write, ms for ReadUntil) for a client to connect.
  bool Write(const std::vector<uint8_t>& bytes) override;
  std::vector<uint8_t> ReadUntil(const std::function<bool(const std::vector<uint8_t>&)>& done, int ms) override;
  // Closes the connection and stops listening.
  void CloseMaster() override;
  // Closes the connection only; the next client is accepted.
  void DropClient();

private:
  // Takes a waiting client, replacing the one before; waits up to ms.
  void Accept(int ms);

  int Listener = -1;
  int Client = -1;
  int PortNumber = 0;
  int Accepted = 0;
};

}  // namespace testsupport
