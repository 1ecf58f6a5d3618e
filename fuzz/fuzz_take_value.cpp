// TakeValue over a reply record in any state: arbitrary data, cursors placed
// anywhere in (or just outside) the data area, any sequence of kinds.
#include <cstring>

#include "fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  TModbusMessage m;
  const int tail = data[0] % (MESSAGE_DATA_SIZE + 1);
  const int head = data[1] % (MESSAGE_DATA_SIZE + 1);
  const size_t kinds = data[2];
  data += 3;
  size -= 3;
  const size_t n = size < MESSAGE_DATA_SIZE ? size : MESSAGE_DATA_SIZE;
  std::memcpy(m.Data, data, n);
  m.Tail = m.Data + tail;
  m.Head = m.Data + head;
  // Past the tail nothing may be read: the bytes there must not matter.
  TModbusMessage twin;
  std::memcpy(twin.Data, m.Data, sizeof m.Data);
  std::memset(twin.Data + tail, 0xA5, MESSAGE_DATA_SIZE - static_cast<size_t>(tail));
  twin.Tail = twin.Data + tail;
  twin.Head = twin.Data + head;
  static const char KINDS[] = {'c', 'i', 'l', 'f', 's', 'x'};
  for (size_t i = 0; i < kinds && i < size; ++i) {
    const char kind = KINDS[data[i] % sizeof KINDS];
    alignas(8) uint8_t a[MESSAGE_DATA_SIZE + 1] = {};
    alignas(8) uint8_t b[MESSAGE_DATA_SIZE + 1] = {};
    const int ra = modbus::TakeValue(m, kind, a);
    const int rb = modbus::TakeValue(twin, kind, b);
    FUZZ_CHECK(ra == rb && m.Head - m.Data == twin.Head - twin.Data);
    FUZZ_CHECK(std::memcmp(a, b, sizeof a) == 0);
  }
  TakeAll(m, data, size);
  return 0;
}
