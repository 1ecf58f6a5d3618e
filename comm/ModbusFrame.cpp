#include "comm/ModbusFrame.h"

#include <cmath>
#include <cstring>

namespace modbus {
namespace {

constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

int WrapIndex(int index) {
  index %= RING_SIZE;
  return index < 0 ? index + RING_SIZE : index;
}

int NextIndex(int index) { return index + 1 == RING_SIZE ? 0 : index + 1; }

// Value of each character as a hex digit, -1 for anything else. Upper-case
// digits only: the line never carries lower-case ones.
struct HexTable {
  int8_t Value[256];
  constexpr HexTable() : Value() {
    for (int c = 0; c < 256; ++c) Value[c] = -1;
    for (int c = '0'; c <= '9'; ++c) Value[c] = static_cast<int8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) Value[c] = static_cast<int8_t>(c - 'A' + 10);
  }
};
constexpr HexTable HEX_VALUES;

int HexValue(uint8_t c) { return HEX_VALUES.Value[c]; }

// The CRC-16 step (XOR the byte into the low byte, then eight shifts with
// 0xA001 fed back on every bit shifted out), precomputed for each byte value.
struct CrcTable {
  uint16_t Value[256];
  constexpr CrcTable() : Value() {
    for (int b = 0; b < 256; ++b) {
      uint16_t crc = static_cast<uint16_t>(b);
      for (int bit = 0; bit < 8; ++bit) {
        const bool carry = (crc & 1u) != 0;
        crc = static_cast<uint16_t>(crc >> 1);
        if (carry) crc = static_cast<uint16_t>(crc ^ 0xA001u);
      }
      Value[b] = crc;
    }
  }
};
constexpr CrcTable CRC_TABLE;

void EmptyReply(TModbusMessage& reply) {
  reply.Length = 0;
  reply.Function = 0;
  reply.Head = reply.Data;
  reply.Tail = reply.Data;
}

// Fills the reply record from a checked frame of `count` decoded bytes of
// which `checkBytes` are the check. Returns the function code, or -1 when a
// function-3 reply disagrees with its own byte count or the function code is
// 0, which no Modbus frame carries and no caller could tell from "no reply".
int FinishReply(TModbusMessage& reply, int count, int checkBytes) {
  if (reply.Data[1] == 0) {
    EmptyReply(reply);
    return -1;
  }
  reply.Address = reply.Data[0];
  reply.Function = reply.Data[1];
  reply.ByteCount = reply.Data[2];
  reply.Length = count - 2 - checkBytes;
  reply.Tail = reply.Data + count;
  reply.Head = reply.Data + 2;
  if (reply.Function == READ_HOLDING_REGISTERS) {
    reply.Head = reply.Data + 3;
    if (reply.Length - 1 != reply.ByteCount) {
      EmptyReply(reply);
      return -1;
    }
  }
  return reply.Function;
}

}  // namespace

bool ReplyFits(const TReplyMatch& match, uint8_t address, uint8_t function) {
  if (match.Address != 0 && address != match.Address) return false;
  if (function == 0) return false;
  return match.Function == 0 || function == match.Function || function == (match.Function | EXCEPTION_FLAG);
}

long OffsetIn(const uint8_t* p, const uint8_t* begin, size_t size) {
  const auto pv = reinterpret_cast<std::uintptr_t>(p);
  const auto bv = reinterpret_cast<std::uintptr_t>(begin);
  if (pv < bv || pv - bv > size) return -1;
  return static_cast<long>(pv - bv);
}

uint16_t Crc16Step(uint16_t crc, uint8_t byte) {
  return static_cast<uint16_t>((crc >> 8) ^ CRC_TABLE.Value[(crc ^ byte) & 0xFF]);
}

uint16_t Crc16(const uint8_t* data, size_t size) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < size; ++i) crc = Crc16Step(crc, data[i]);
  return crc;
}

uint8_t Lrc(const uint8_t* data, size_t size) {
  uint8_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  return static_cast<uint8_t>(-sum);
}

int BuildAsciiFrame(const uint8_t* pdu, int size, uint8_t* out, int outSize) {
  if (size <= 0 || size > (outSize - 5) / 2) return -1;
  int n = 0;
  out[n++] = ':';
  for (int i = 0; i < size; ++i) {
    out[n++] = static_cast<uint8_t>(HEX_DIGITS[pdu[i] >> 4]);
    out[n++] = static_cast<uint8_t>(HEX_DIGITS[pdu[i] & 0x0F]);
  }
  const uint8_t lrc = Lrc(pdu, static_cast<size_t>(size));
  out[n++] = static_cast<uint8_t>(HEX_DIGITS[lrc >> 4]);
  out[n++] = static_cast<uint8_t>(HEX_DIGITS[lrc & 0x0F]);
  out[n++] = '\r';
  out[n++] = '\n';
  return n;
}

int BuildRtuFrame(const uint8_t* pdu, int size, uint8_t* out, int outSize) {
  if (size <= 0 || size > outSize - 2) return -1;
  std::memmove(out, pdu, static_cast<size_t>(size));
  const uint16_t crc = Crc16(pdu, static_cast<size_t>(size));
  out[size] = static_cast<uint8_t>(crc & 0xFF);
  out[size + 1] = static_cast<uint8_t>(crc >> 8);
  return size + 2;
}

int ParseAsciiReply(const uint8_t* ring, int& readIndex, int& writeIndex, TModbusMessage& reply,
                    const TReplyMatch& match, bool* broken) {
  EmptyReply(reply);
  bool spoilt = false;
  readIndex = WrapIndex(readIndex);
  writeIndex = WrapIndex(writeIndex);

  bool inFrame = false;
  uint8_t sum = 0;
  int digits = 0;
  int count = 0;  // bytes decoded into reply.Data
  for (int p = readIndex; p != writeIndex; p = NextIndex(p)) {
    const uint8_t c = ring[p];
    if (c == ':') {
      // Outside a frame everything before the ':' is consumed; a restart inside
      // a frame keeps the commit point on the first ':'.
      if (!inFrame) readIndex = p;
      inFrame = true;
      sum = 0;
      digits = 0;
      count = 0;
      continue;
    }
    if (!inFrame) {
      readIndex = NextIndex(p);
      continue;
    }
    const int value = HexValue(c);
    if (value >= 0) {
      if (digits % 2 == 0) {
        if (count == MESSAGE_DATA_SIZE) {  // longer than any reply we can hold
          inFrame = false;
          continue;
        }
        reply.Data[count] = static_cast<uint8_t>(value << 4);
      } else {
        reply.Data[count] = static_cast<uint8_t>(reply.Data[count] | value);
        sum = static_cast<uint8_t>(sum + reply.Data[count]);
        ++count;
      }
      ++digits;
      continue;
    }
    if (c == '\r') continue;
    if (c == '\n') {
      readIndex = NextIndex(p);
      inFrame = false;
      if (count < MIN_ASCII_FRAME) continue;
      if (sum != 0 || digits % 2 != 0) {
        spoilt = true;
        continue;
      }
      if (!ReplyFits(match, reply.Data[0], reply.Data[1])) continue;
      const int function = FinishReply(reply, count, 1);
      if (function > 0) return function;
      continue;
    }
    inFrame = false;  // foreign character: the frame is abandoned uncommitted
  }
  EmptyReply(reply);
  if (broken) *broken = spoilt;
  return -1;
}

int ParseRtuReply(const uint8_t* ring, int& readIndex, int& writeIndex, TModbusMessage& reply,
                  const TReplyMatch& match, bool* broken) {
  EmptyReply(reply);
  bool spoilt = false;
  readIndex = WrapIndex(readIndex);
  writeIndex = WrapIndex(writeIndex);
  const int available = WrapIndex(writeIndex - readIndex);
  auto at = [&](int offset) { return ring[WrapIndex(readIndex + offset)]; };

  int keep = -1;  // first start that may still begin a reply once more bytes come
  for (int start = 0; start < available; ++start) {
    const int left = available - start;
    if (left < 2) {
      // One byte: it may begin a reply if it is the address asked.
      if (keep < 0 && (match.Address == 0 || at(start) == match.Address)) keep = start;
      break;
    }
    const uint8_t address = at(start);
    const uint8_t function = at(start + 1);
    if (!ReplyFits(match, address, function)) continue;
    int length;
    if (function & EXCEPTION_FLAG) {
      length = 5;
    } else if (function == WRITE_SINGLE_REGISTER) {
      length = 8;
    } else if (function == READ_HOLDING_REGISTERS) {
      if (left < 3) {
        if (keep < 0) keep = start;
        continue;
      }
      length = 5 + at(start + 2);
    } else {
      continue;  // no length known: not a reply this master asks for
    }
    if (length > MESSAGE_DATA_SIZE) continue;
    if (left < length) {
      if (keep < 0) keep = start;
      continue;
    }
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < length; ++i) crc = Crc16Step(crc, at(start + i));
    if (crc != 0) {
      // Whole and fitting, yet spoilt; unless an earlier start is still arriving.
      if (keep < 0) spoilt = true;
      continue;
    }
    for (int i = 0; i < length; ++i) reply.Data[i] = at(start + i);
    readIndex = WrapIndex(readIndex + start + length);
    writeIndex = readIndex;
    return FinishReply(reply, length, 2);
  }
  readIndex = WrapIndex(readIndex + (keep < 0 ? available : keep));
  EmptyReply(reply);
  // Spoilt only while nothing after it may still become the reply: a start
  // still arriving keeps the wait going.
  if (broken) *broken = spoilt && keep < 0;
  return -1;
}

int AppendValue(TModbusMessage& request, char kind, const void* source) {
  const long head = OffsetIn(request.Head, request.Data, MESSAGE_DATA_SIZE);
  const long tail = OffsetIn(request.Tail, request.Data, MESSAGE_DATA_SIZE);
  if (head < 0 || tail < head || tail - head > 100) return -1;
  const size_t room = static_cast<size_t>(MESSAGE_DATA_SIZE - tail);
  const auto* src = static_cast<const uint8_t*>(source);

  uint8_t bytes[4];
  size_t n = 0;
  switch (kind) {
    case 'c':
      bytes[n++] = src[0];
      break;
    case 'i': {
      uint16_t v;
      std::memcpy(&v, src, sizeof v);
      bytes[n++] = static_cast<uint8_t>(v >> 8);
      bytes[n++] = static_cast<uint8_t>(v);
      break;
    }
    case 'l':
    case 'f': {
      uint32_t v;
      std::memcpy(&v, src, sizeof v);
      for (int shift = 24; shift >= 0; shift -= 8) bytes[n++] = static_cast<uint8_t>(v >> shift);
      break;
    }
    case 's': {
      const size_t len = strnlen(static_cast<const char*>(source), room);
      if (len + 1 > room) return -1;
      std::memcpy(request.Tail, src, len);
      request.Tail[len] = 0;
      request.Tail += len + 1;
      request.Length = static_cast<int>(request.Tail - request.Head);
      return 0;
    }
    default:
      break;
  }
  if (n > room) return -1;
  std::memcpy(request.Tail, bytes, n);
  request.Tail += n;
  request.Length = static_cast<int>(request.Tail - request.Head);
  return 0;
}

int TakeValue(TModbusMessage& reply, char kind, void* destination) {
  long tail = OffsetIn(reply.Tail, reply.Data, MESSAGE_DATA_SIZE);
  if (tail < 0) tail = 0;
  long head = OffsetIn(reply.Head, reply.Data, MESSAGE_DATA_SIZE);
  if (head < 0) head = tail;
  bool missing = false;
  // The cursor never passes the tail: a byte wanted there is missing.
  auto next = [&]() -> uint8_t {
    if (head >= tail) {
      missing = true;
      return 0;
    }
    return reply.Data[head++];
  };
  auto* dst = static_cast<uint8_t*>(destination);

  switch (kind) {
    case 'c':
      dst[0] = next();
      break;
    case 'i': {
      uint16_t v = static_cast<uint16_t>(next() << 8);
      v = static_cast<uint16_t>(v | next());
      std::memcpy(dst, &v, sizeof v);
      break;
    }
    case 'l':
    case 'f': {
      uint32_t v = 0;
      for (int i = 0; i < 4; ++i) v = (v << 8) | next();
      if (kind == 'f') {
        float f;
        std::memcpy(&f, &v, sizeof f);
        if (missing || std::isnan(f) || f > NO_VALUE_F) f = NO_VALUE_F;
        std::memcpy(dst, &f, sizeof f);
      } else {
        std::memcpy(dst, &v, sizeof v);
      }
      break;
    }
    case 's': {
      size_t n = 0;
      while (head < tail && reply.Data[head] != 0) dst[n++] = reply.Data[head++];
      dst[n] = 0;
      if (head >= tail) missing = true;
      break;
    }
    default:
      break;
  }
  reply.Head = reply.Data + head;
  return missing ? -1 : 0;
}

}  // namespace modbus
