// Test helpers for reaching a serial port without hardware.
//
// PtyPair      a pseudo-terminal: the test plays the far end (a meter) on the
//              master side; the program opens SlavePath() as its serial port.
// PtyLink      two pseudo-terminals joined by a copying thread, like a null-modem
//              cable: two slave paths, each a serial port, for when both ends
//              are programs that open a path (e.g. an external Modbus slave).
// ComDirectory makes a fresh temporary directory the working directory and
//              puts "COM<n>" links in it, so that the port "COM<n>" opens the
//              pseudo-terminal; restores the previous working directory and
//              removes the directory when destroyed.
//
// Typical use:
//   PtyPair meter;
//   ComDirectory dir;
//   dir.Link(1, meter.SlavePath());     // "COM1" -> /dev/pts/N
//   port.Configure(0, 5, 4, 0);         // COM1, 9600, RTU E,8,1, RS485 card
//   auto request = meter.ReadFor(500);  // bytes the port sent
//   meter.Write({...});                 // the meter's reply
//
// Not thread-safe: use one object from one thread (PtyLink's own thread aside).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// Milliseconds from now until deadline; 0 once it has passed.
int MsLeft(std::chrono::steady_clock::time_point deadline);

// What a test allows on top of a line time for a machine busy with other work
// (a parallel build, other test programs): a thread that should run at once
// may wait this long for a core. KAVREL_TEST_LOAD_ALLOWANCE_MS overrides the
// default of 1500 ms.
int LoadAllowanceMs();
std::chrono::milliseconds LoadAllowance();

// The far end of a line that the test plays (a meter, a network serial server).
class LinePeer {
public:
  virtual ~LinePeer() = default;
  // Writes everything; false on failure.
  virtual bool Write(const std::vector<uint8_t>& bytes) = 0;
  // Reads until `done` holds for what has been collected or `ms` milliseconds
  // have passed; returns what was collected.
  virtual std::vector<uint8_t> ReadUntil(const std::function<bool(const std::vector<uint8_t>&)>& done, int ms) = 0;
  // Everything that arrives within `ms` milliseconds.
  std::vector<uint8_t> ReadFor(int ms) { return ReadUntil(nullptr, ms); }
  // Reads until at least `count` bytes have come, or `ms` milliseconds.
  std::vector<uint8_t> ReadCount(size_t count, int ms) {
    return ReadUntil([count](const std::vector<uint8_t>& got) { return got.size() >= count; }, ms);
  }
  // Takes the line away: whoever holds the other end sees it fail.
  virtual void CloseMaster() = 0;
};

class PtyPair : public LinePeer {
public:
  // Opens a new pseudo-terminal with its slave side in raw mode; throws
  // std::runtime_error when the system has none to give.
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return Slave; }
  int MasterFd() const { return Master; }

  // Writes everything to the master side; false on failure.
  bool Write(const std::vector<uint8_t>& bytes) override;
  bool Write(const std::string& text);
  std::vector<uint8_t> ReadUntil(const std::function<bool(const std::vector<uint8_t>&)>& done, int ms) override;
  // Closes the master side: whoever holds the slave sees the line hang up and
  // the slave path disappears.
  void CloseMaster() override;

private:
  int Master = -1;
  std::string Slave;
};

class PtyLink {
public:
  PtyLink();
  ~PtyLink();
  PtyLink(const PtyLink&) = delete;
  PtyLink& operator=(const PtyLink&) = delete;

  const std::string& PathA() const { return A.SlavePath(); }
  const std::string& PathB() const { return B.SlavePath(); }

private:
  PtyPair A;
  PtyPair B;
  std::atomic<bool> Stop{false};
  std::thread Copier;
};

class ComDirectory {
public:
  // Creates the directory and makes it the working directory; throws
  // std::runtime_error on failure.
  ComDirectory();
  ~ComDirectory();
  ComDirectory(const ComDirectory&) = delete;
  ComDirectory& operator=(const ComDirectory&) = delete;

  // "COM<n>" -> target (replacing an existing link).
  void Link(int n, const std::string& target);
  void Unlink(int n);
  const std::string& Path() const { return Dir; }

private:
  std::string Dir;
  std::string Previous;
};

}  // namespace testsupport
