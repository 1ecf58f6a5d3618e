#include "sim/SimFraming.h"

#include <algorithm>

uint16_t SimCrc16(const uint8_t* data, size_t size) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) {
      const bool out = (crc & 1) != 0;
      crc >>= 1;
      if (out) crc ^= 0xA001;
    }
  }
  return crc;
}

uint8_t SimLrc(const uint8_t* data, size_t size) {
  uint8_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  return static_cast<uint8_t>(-sum);
}

namespace {

const char kHex[] = "0123456789ABCDEF";

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Length of a whole RTU request (check included) judged by its function code:
// > 0 the length, 0 more bytes are needed to tell, -1 a function whose length
// cannot be told from its header (found by the CRC alone).
long RtuRequestLength(const uint8_t* b, size_t size) {
  if (size < 2) return 0;
  switch (b[1]) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 8:
      return 8;
    case 7: case 11: case 12: case 17:
      return 4;
    case 15: case 16:
      return size < 7 ? 0 : 9 + long{b[6]};
    case 20: case 21:
      return size < 3 ? 0 : 5 + long{b[2]};
    case 22:
      return 10;
    case 23:
      return size < 11 ? 0 : 13 + long{b[10]};
    case 24:
      return 6;
    default:
      return -1;
  }
}

// Offset (> 0) of the first request of known length with a good CRC that
// lies complete in b after its first byte; 0 when there is none.
size_t FindLaterFrame(const uint8_t* b, size_t size) {
  for (size_t k = 1; k + 4 <= size; ++k) {
    const long n = RtuRequestLength(b + k, size - k);
    if (n > 0 && static_cast<size_t>(n) <= size - k && SimCrc16(b + k, static_cast<size_t>(n)) == 0) return k;
  }
  return 0;
}

}  // namespace

SimBytes SimFrameReply(bool rtu, const SimBytes& pdu, bool spoilCheck) {
  SimBytes out;
  if (rtu) {
    out = pdu;
    uint16_t crc = SimCrc16(pdu.data(), pdu.size());
    if (spoilCheck) crc ^= 0x5AA5;
    out.push_back(static_cast<uint8_t>(crc & 0xFF));
    out.push_back(static_cast<uint8_t>(crc >> 8));
    return out;
  }
  out.reserve(pdu.size() * 2 + 5);
  out.push_back(':');
  auto putHex = [&out](uint8_t b) {
    out.push_back(static_cast<uint8_t>(kHex[b >> 4]));
    out.push_back(static_cast<uint8_t>(kHex[b & 0x0F]));
  };
  for (uint8_t b : pdu) putHex(b);
  uint8_t lrc = SimLrc(pdu.data(), pdu.size());
  if (spoilCheck) lrc = static_cast<uint8_t>(lrc + 1);
  putHex(lrc);
  out.push_back('\r');
  out.push_back('\n');
  return out;
}

SimRequestScanner::SimRequestScanner(bool rtu, std::chrono::milliseconds gap) : rtu_(rtu), gap_(gap) {}

void SimRequestScanner::Reset() {
  inFrame_ = false;
  haveHighNibble_ = false;
  sawCr_ = false;
  asciiBytes_.clear();
  rtuBuffer_.clear();
}

void SimRequestScanner::Feed(const uint8_t* data, size_t size, SimClock::time_point now,
                             std::vector<SimBytes>& frames) {
  if (size == 0) return;
  if (!rtu_) {
    for (size_t i = 0; i < size; ++i) FeedAscii(data[i], frames);
    return;
  }
  // A silence longer than the gap ends whatever partial frame was collected:
  // the master has given up on it, the next byte starts a new request.
  if (!rtuBuffer_.empty() && now - lastByte_ > gap_) {
    ++rejected_;
    rtuBuffer_.clear();
  }
  lastByte_ = now;
  rtuBuffer_.insert(rtuBuffer_.end(), data, data + size);
  ScanRtu(frames);
}

void SimRequestScanner::FeedAscii(uint8_t c, std::vector<SimBytes>& frames) {
  if (c == ':') {  // a colon always starts a frame afresh
    if (inFrame_ && !asciiBytes_.empty()) ++rejected_;
    inFrame_ = true;
    haveHighNibble_ = false;
    sawCr_ = false;
    asciiBytes_.clear();
    return;
  }
  if (!inFrame_) return;  // bytes between frames are line noise

  auto drop = [this] {
    ++rejected_;
    inFrame_ = false;
    asciiBytes_.clear();
  };

  if (c == '\r') {
    if (sawCr_) return drop();
    sawCr_ = true;
    return;
  }
  if (c == '\n') {
    inFrame_ = false;
    // address, function and LRC at the least; an odd digit count is malformed
    if (haveHighNibble_ || asciiBytes_.size() < 3 || SimLrc(asciiBytes_.data(), asciiBytes_.size()) != 0) {
      ++rejected_;
      asciiBytes_.clear();
      return;
    }
    asciiBytes_.pop_back();  // the LRC
    frames.push_back(std::move(asciiBytes_));
    asciiBytes_.clear();
    return;
  }
  const int v = HexValue(c);
  if (v < 0 || sawCr_) return drop();
  if (!haveHighNibble_) {
    highNibble_ = static_cast<uint8_t>(v);
    haveHighNibble_ = true;
    return;
  }
  haveHighNibble_ = false;
  if (asciiBytes_.size() >= SIM_MAX_PDU + 1) return drop();  // longer than any frame may be
  asciiBytes_.push_back(static_cast<uint8_t>(highNibble_ << 4 | v));
}

void SimRequestScanner::ScanRtu(std::vector<SimBytes>& frames) {
  size_t start = 0;
  const size_t maxFrame = SIM_MAX_PDU + 2;
  while (rtuBuffer_.size() - start >= 4) {
    const uint8_t* view = rtuBuffer_.data() + start;
    const size_t avail = rtuBuffer_.size() - start;
    const long length = RtuRequestLength(view, avail);
    if (length == 0) break;  // header not complete yet
    if (length > 0) {
      const size_t n = static_cast<size_t>(length);
      if (n > maxFrame) {  // cannot be a request: resynchronise
        ++start;
        continue;
      }
      if (avail < n) {
        // Waiting for more only makes sense if no complete request lies
        // further on: noise in front must not hold up a good frame.
        const size_t skip = FindLaterFrame(view, avail);
        if (skip == 0) break;
        rejected_ += 1;
        start += skip;
        continue;
      }
      if (SimCrc16(view, n) == 0) {
        frames.emplace_back(view, view + (n - 2));
        start += n;
      } else {
        ++rejected_;
        ++start;  // not a frame from here: try the next byte as its start
      }
      continue;
    }
    // A function whose request length the header does not tell: the first
    // length at which the CRC comes out right ends the frame.
    size_t found = 0;
    const size_t limit = std::min(avail, maxFrame);
    for (size_t n = 4; n <= limit; ++n) {
      if (SimCrc16(view, n) == 0) {
        found = n;
        break;
      }
    }
    if (found) {
      frames.emplace_back(view, view + (found - 2));
      start += found;
    } else if (avail >= maxFrame) {
      ++rejected_;
      ++start;
    } else if (const size_t skip = FindLaterFrame(view, avail)) {
      ++rejected_;
      start += skip;
    } else {
      break;
    }
  }
  rtuBuffer_.erase(rtuBuffer_.begin(), rtuBuffer_.begin() + static_cast<long>(start));
}
