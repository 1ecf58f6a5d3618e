// A network serial server played by the test: listens on 127.0.0.1 (a free
// port unless one is asked for) and talks to the client that connected last.
// CloseMaster takes it away (refused from then on); a new TcpPeer on the same
// Port() brings it back.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/PtyTools.h"

namespace testsupport {

class TcpPeer : public LinePeer {
public:
  // Listens on 127.0.0.1:port (0: a free port) with room for `queue` clients
  // not taken yet; throws std::runtime_error when it cannot.
  explicit TcpPeer(int port = 0, int queue = 4);
  ~TcpPeer() override;
  TcpPeer(const TcpPeer&) = delete;
  TcpPeer& operator=(const TcpPeer&) = delete;

  int Port() const { return PortNumber; }
  std::string Name() const { return "tcp://127.0.0.1:" + std::to_string(PortNumber); }

  // Both wait (up to 5 s for Write, ms for ReadUntil) for a client to connect.
  bool Write(const std::vector<uint8_t>& bytes) override;
  std::vector<uint8_t> ReadUntil(const std::function<bool(const std::vector<uint8_t>&)>& done, int ms) override;
  // Closes the connection and stops listening.
  void CloseMaster() override;
  // Takes every client waiting in the queue and closes it.
  void DropQueue();

private:
  // Takes a waiting client, replacing the one before; waits up to ms.
  void Accept(int ms);
  void DropClient();

  // Sockets: descriptors on POSIX, handles on Windows.
  std::intptr_t Listener = -1;
  std::intptr_t Client = -1;
  int PortNumber = 0;
};

}  // namespace testsupport
