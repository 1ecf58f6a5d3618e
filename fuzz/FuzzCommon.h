// Shared pieces of the fuzz targets: a receive ring filled the way the port
// fills it, and checks that end the run on any broken promise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "comm/ModbusFrame.h"
#include "comm/Trans.h"

#define FUZZ_CHECK(cond) \
  do {                   \
    if (!(cond)) std::abort(); \
  } while (0)

// A ring whose indices start where the input's first two bytes say.
struct FuzzRing {
  uint8_t Data[RING_SIZE] = {};
  int Read = 0;
  int Write = 0;

  FuzzRing() = default;
  FuzzRing(const uint8_t*& data, size_t& size) {
    if (size >= 2) {
      Read = Write = (data[0] | data[1] << 8) % RING_SIZE;
      data += 2;
      size -= 2;
    }
  }
  void Put(const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      Data[Write] = bytes[i];
      Write = (Write + 1) % RING_SIZE;
    }
  }
};

// Feeds the line input into the ring in pieces, as ReadInput brings it: the
// first byte sets the piece length (1 to 64), afterPiece runs after each piece.
template <class AfterPiece>
void FeedInPieces(FuzzRing& ring, const uint8_t* data, size_t size, AfterPiece afterPiece) {
  if (size == 0) return;
  const size_t piece = 1 + data[0] % 64;
  ++data;
  --size;
  while (size > 0) {
    const size_t n = size < piece ? size : piece;
    ring.Put(data, n);
    data += n;
    size -= n;
    afterPiece();
  }
}

// What every successful scan must leave in the reply record.
inline void CheckReply(const TModbusMessage& m, int function, int checkBytes) {
  FUZZ_CHECK(function >= 1 && function <= 255);
  const long tail = modbus::OffsetIn(m.Tail, m.Data, MESSAGE_DATA_SIZE);
  const long head = modbus::OffsetIn(m.Head, m.Data, MESSAGE_DATA_SIZE);
  FUZZ_CHECK(tail >= 2 + checkBytes && head >= 2 && head <= tail);
  FUZZ_CHECK(m.Function == function && m.Address == m.Data[0]);
  FUZZ_CHECK(m.Length == tail - 2 - checkBytes);
  if (function == 3) FUZZ_CHECK(m.ByteCount == m.Length - 1 && head == 3);
}

// Takes values of the kinds the input names until the reply runs out.
inline void TakeAll(TModbusMessage& m, const uint8_t* kinds, size_t n) {
  static const char KINDS[] = {'c', 'i', 'l', 'f', 's', 'x'};
  alignas(8) uint8_t out[MESSAGE_DATA_SIZE + 1];
  const long tail = modbus::OffsetIn(m.Tail, m.Data, MESSAGE_DATA_SIZE);
  const long start = modbus::OffsetIn(m.Head, m.Data, MESSAGE_DATA_SIZE);
  for (size_t i = 0; i < n; ++i) {
    const char kind = KINDS[kinds[i] % sizeof KINDS];
    const int r = modbus::TakeValue(m, kind, out);
    FUZZ_CHECK(r == 0 || r == -1);
    // The cursor never moves past the tail.
    const long head = modbus::OffsetIn(m.Head, m.Data, MESSAGE_DATA_SIZE);
    FUZZ_CHECK(head >= start && head <= (start > tail ? start : tail));
    if (kind == 'f') {
      float f;
      __builtin_memcpy(&f, out, sizeof f);
      FUZZ_CHECK(f == f && f <= 1e20f);
    }
  }
}
