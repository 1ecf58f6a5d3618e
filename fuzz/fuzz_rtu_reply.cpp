// The RTU scanner on arbitrary line input arriving in pieces. Input: two
// bytes of ring start, one byte of piece length, then the bytes.
#include "fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzRing ring(data, size);
  TModbusMessage m;
  // Half the inputs look for any reply, half for one meter's function 3.
  const modbus::TReplyMatch match{static_cast<uint8_t>(size & 1), static_cast<uint8_t>(size & 2 ? 3 : 0)};
  FeedInPieces(ring, data, size, [&] {
    bool broken = false;
    const int r = modbus::ParseRtuReply(ring.Data, ring.Read, ring.Write, m, match, &broken);
    FUZZ_CHECK(ring.Read >= 0 && ring.Read < RING_SIZE && ring.Write >= 0 && ring.Write < RING_SIZE);
    if (r < 0) {
      FUZZ_CHECK(r == -1 && m.Tail == m.Data);
      // A spoilt reply is told only where nothing left may still become one.
      FUZZ_CHECK(!broken || ring.Read == ring.Write);
      return;
    }
    FUZZ_CHECK(!broken);
    CheckReply(m, r, 2);
    const size_t count = static_cast<size_t>(m.Tail - m.Data);
    FUZZ_CHECK(count >= 4 && modbus::Crc16(m.Data, count) == 0);
    FUZZ_CHECK(modbus::ReplyFits(match, m.Address, m.Function));
    // The frame is exactly as long as its header says.
    const size_t expected = (r & 0x80) ? 5 : r == 6 ? 8 : 5 + static_cast<size_t>(m.ByteCount);
    FUZZ_CHECK(r == 3 || r == 6 || (r & 0x80));
    FUZZ_CHECK(count == expected);
    FUZZ_CHECK(ring.Read == ring.Write);  // whatever followed the frame is gone
    TakeAll(m, m.Data, count);
  });
  return 0;
}
