// Slave-side Modbus serial framing: finds request frames in the bytes a master
// sends (ASCII or RTU) and frames the replies that go back.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

using SimClock = std::chrono::steady_clock;
using SimBytes = std::vector<uint8_t>;

// Transmission modes 0-2 use ASCII framing, 3-6 RTU.
constexpr bool SimModeIsRtu(int mode) { return mode >= 3 && mode <= 6; }

// CRC-16 of RTU frames (initial 0xFFFF, polynomial 0xA001, low byte sent first).
uint16_t SimCrc16(const uint8_t* data, size_t size);
// LRC of ASCII frames: two's complement of the 8-bit sum.
uint8_t SimLrc(const uint8_t* data, size_t size);

// Frames a reply PDU (address, function, data) for the line. With spoilCheck the
// LRC or CRC is deliberately wrong.
SimBytes SimFrameReply(bool rtu, const SimBytes& pdu, bool spoilCheck = false);

// Longest PDU (address + function + data) a frame may carry.
constexpr size_t SIM_MAX_PDU = 254;

// Collects request frames from the byte stream of one line. ASCII frames run
// from ':' to LF and are held to their LRC; RTU frames are recognised by the
// length their function code implies and by their CRC, with a silent gap ending
// any partial frame, as a slave on a real line does.
class SimRequestScanner {
public:
  SimRequestScanner(bool rtu, std::chrono::milliseconds gap);

  // Feeds bytes received at `now`; every complete request with a good check is
  // appended to `frames` as its PDU (check bytes removed).
  void Feed(const uint8_t* data, size_t size, SimClock::time_point now, std::vector<SimBytes>& frames);
  void Reset();

  size_t Pending() const { return rtu_ ? rtuBuffer_.size() : asciiBytes_.size(); }
  // Frames thrown away for a bad check or a malformed body.
  unsigned Rejected() const { return rejected_; }

private:
  void FeedAscii(uint8_t c, std::vector<SimBytes>& frames);
  void ScanRtu(std::vector<SimBytes>& frames);

  bool rtu_;
  std::chrono::milliseconds gap_;
  unsigned rejected_ = 0;

  // ASCII state.
  bool inFrame_ = false;
  bool haveHighNibble_ = false;
  bool sawCr_ = false;
  uint8_t highNibble_ = 0;
  SimBytes asciiBytes_;

  // RTU state.
  SimBytes rtuBuffer_;
  SimClock::time_point lastByte_{};
};
