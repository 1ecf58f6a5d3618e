// The ASCII scanner on arbitrary line input arriving in pieces. Input: two
// bytes of ring start, one byte of piece length, then the bytes.
#include "fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzRing ring(data, size);
  TModbusMessage m;
  FeedInPieces(ring, data, size, [&] {
    for (;;) {
      const int r = modbus::ParseAsciiReply(ring.Data, ring.Read, ring.Write, m);
      FUZZ_CHECK(ring.Read >= 0 && ring.Read < RING_SIZE && ring.Write >= 0 && ring.Write < RING_SIZE);
      if (r < 0) {
        FUZZ_CHECK(r == -1 && m.Tail == m.Data);
        break;
      }
      CheckReply(m, r, 1);
      // The decoded frame checks out and frames back into the same bytes.
      const int count = static_cast<int>(m.Tail - m.Data);
      FUZZ_CHECK(modbus::Lrc(m.Data, static_cast<size_t>(count)) == 0);
      uint8_t frame[2 * MESSAGE_DATA_SIZE + 5];
      const int len = modbus::BuildAsciiFrame(m.Data, count - 1, frame, sizeof frame);
      FUZZ_CHECK(len == 2 * count + 3);
      FuzzRing again;
      TModbusMessage m2;
      again.Put(frame, static_cast<size_t>(len));
      FUZZ_CHECK(modbus::ParseAsciiReply(again.Data, again.Read, again.Write, m2) == r);
      FUZZ_CHECK(__builtin_memcmp(m.Data, m2.Data, static_cast<size_t>(count)) == 0);
      TakeAll(m, m.Data, static_cast<size_t>(count));
    }
  });
  return 0;
}
