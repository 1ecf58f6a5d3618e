// Framing and value coding on plain buffers: no port involved.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ModbusFrame.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes BuildAscii(const Bytes& pdu) {
  uint8_t out[600];
  const int n = modbus::BuildAsciiFrame(pdu.data(), static_cast<int>(pdu.size()), out, sizeof out);
  return n < 0 ? Bytes{} : Bytes(out, out + n);
}

Bytes BuildRtu(const Bytes& pdu) {
  uint8_t out[600];
  const int n = modbus::BuildRtuFrame(pdu.data(), static_cast<int>(pdu.size()), out, sizeof out);
  return n < 0 ? Bytes{} : Bytes(out, out + n);
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A receive ring as the port keeps it, filled from a chosen start position.
struct Ring {
  uint8_t Data[RING_SIZE] = {};
  int Read = 0;
  int Write = 0;

  explicit Ring(int start = 0) : Read(start), Write(start) {}
  void Put(const Bytes& bytes) {
    for (uint8_t b : bytes) {
      Data[Write] = b;
      Write = (Write + 1) % RING_SIZE;
    }
  }
  int Ascii(TModbusMessage& m) { return modbus::ParseAsciiReply(Data, Read, Write, m); }
  int Rtu(TModbusMessage& m) { return modbus::ParseRtuReply(Data, Read, Write, m); }
  int Pending() const { return (Write - Read + RING_SIZE) % RING_SIZE; }
};

Bytes Decoded(const TModbusMessage& m) { return Bytes(m.Data, static_cast<const uint8_t*>(m.Tail)); }

TEST(Frame, RequestForTheProcessBlock) {
  const Bytes pdu = {0x01, 0x03, 0x1D, 0x4C, 0x00, 0x22};
  EXPECT_EQ(BuildAscii(pdu), Text(":01031D4C002271\r\n"));
  EXPECT_EQ(BuildRtu(pdu), (Bytes{0x01, 0x03, 0x1D, 0x4C, 0x00, 0x22, 0x02, 0x68}));
}

TEST(Frame, BuildersRefuseWhatDoesNotFit) {
  uint8_t out[TX_BUFFER_SIZE];
  const Bytes pdu(48, 0x11);
  EXPECT_EQ(modbus::BuildAsciiFrame(pdu.data(), 47, out, sizeof out), 99);
  EXPECT_EQ(modbus::BuildAsciiFrame(pdu.data(), 48, out, sizeof out), -1);
  const Bytes big(99, 0x22);
  EXPECT_EQ(modbus::BuildRtuFrame(big.data(), 98, out, sizeof out), 100);
  EXPECT_EQ(modbus::BuildRtuFrame(big.data(), 99, out, sizeof out), -1);
  EXPECT_EQ(modbus::BuildRtuFrame(big.data(), 0, out, sizeof out), -1);
}

TEST(Frame, ExceptionReplyPassesBothScanners) {
  TModbusMessage m;
  Ring a;
  a.Put(Text(":0183027A\r\n"));
  ASSERT_EQ(a.Ascii(m), 0x83);
  EXPECT_EQ(m.Address, 1);
  EXPECT_EQ(m.ByteCount, 2);
  EXPECT_EQ(m.Length, 1);
  EXPECT_EQ(a.Pending(), 0);

  Ring r;
  r.Put({0x01, 0x83, 0x02, 0xC0, 0xF1});
  ASSERT_EQ(r.Rtu(m), 0x83);
  EXPECT_EQ(m.ByteCount, 2);
  EXPECT_EQ(m.Length, 1);
  EXPECT_EQ(r.Pending(), 0);
}

TEST(Frame, AsciiReplyIsFoundOnlyOnceItsLineFeedArrives) {
  const Bytes frame = BuildAscii({0x05, 0x03, 0x04, 0x41, 0x20, 0x00, 0x00});
  TModbusMessage m;
  Ring ring(1020);  // the frame wraps round the end of the ring
  ring.Put(Text("junk"));
  ring.Put(Bytes(frame.begin(), frame.end() - 1));
  EXPECT_EQ(ring.Ascii(m), -1);
  // The junk is consumed; the frame waits uncommitted from its ':'.
  EXPECT_EQ(ring.Data[ring.Read], ':');
  EXPECT_EQ(ring.Pending(), static_cast<int>(frame.size()) - 1);
  ring.Put({'\n'});
  ASSERT_EQ(ring.Ascii(m), 3);
  EXPECT_EQ(ring.Pending(), 0);
  EXPECT_EQ(m.Address, 5);
  EXPECT_EQ(m.Length, 5);
  EXPECT_EQ(m.Head, m.Data + 3);
  float v = 0;
  EXPECT_EQ(modbus::TakeValue(m, 'f', &v), 0);
  EXPECT_EQ(v, 10.0f);
}

TEST(Frame, AsciiScannerDropsBadFramesAndFindsTheNextGoodOne) {
  const Bytes good = BuildAscii({0x01, 0x03, 0x02, 0x12, 0x34});
  Bytes wrongLrc = good;
  wrongLrc[wrongLrc.size() - 3] = wrongLrc[wrongLrc.size() - 3] == '0' ? '1' : '0';
  std::string lower(good.begin(), good.end());
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  const struct {
    const char* Why;
    Bytes Bad;
  } cases[] = {
      {"wrong LRC", wrongLrc},
      {"lower-case digits", Text(lower)},
      {"byte count disagrees", BuildAscii({0x01, 0x03, 0x03, 0x12, 0x34})},
      {"two bytes only", Text(":01FF\r\n")},
      {"function 0", BuildAscii({0x01, 0x00, 0x02})},
      {"odd digit count", Text(":0103021234B40\r\n")},
      {"foreign character", Text(":0103021G34B4\r\n")},
  };
  for (const auto& c : cases) {
    TModbusMessage m;
    Ring ring;
    ring.Put(c.Bad);
    ring.Put(good);
    ASSERT_EQ(ring.Ascii(m), 3) << c.Why;
    EXPECT_EQ(Decoded(m), (Bytes{0x01, 0x03, 0x02, 0x12, 0x34, 0xB4})) << c.Why;
    EXPECT_EQ(ring.Pending(), 0) << c.Why;
  }
}

TEST(Frame, AsciiFrameTooLongForTheDataAreaIsDropped) {
  // A ':' followed by 600 digit pairs, then a good frame.
  Bytes flood = {':'};
  for (int i = 0; i < 600; ++i) flood.insert(flood.end(), {'0', '0'});
  flood.insert(flood.end(), {'\r', '\n'});
  TModbusMessage m;
  Ring ring;
  ring.Put(flood);
  ring.Put(BuildAscii({0x02, 0x86, 0x03}));
  EXPECT_EQ(ring.Ascii(m), 0x86);
  EXPECT_EQ(ring.Pending(), 0);

  // 253 decoded bytes fit exactly: a function-4 style reply of that size.
  Bytes pdu = {0x01, 0x04};
  pdu.resize(252, 0xAB);
  pdu[2] = 0x55;
  Ring full;
  full.Put(BuildAscii(pdu));
  ASSERT_EQ(full.Ascii(m), 4);
  EXPECT_EQ(m.Tail, m.Data + MESSAGE_DATA_SIZE);
}

TEST(Frame, RtuScannerStartsAtTheReadIndex) {
  TModbusMessage m;
  // A stray byte in front of a valid reply never brings the CRC to zero.
  Ring stray;
  stray.Put({0x00, 0x01, 0x83, 0x02, 0xC0, 0xF1});
  EXPECT_EQ(stray.Rtu(m), -1);
  EXPECT_EQ(stray.Read, 0);
  EXPECT_EQ(stray.Pending(), 6);

  // Bytes after a complete frame are discarded with it.
  Ring after(1000);
  after.Put(BuildRtu({0x01, 0x03, 0x02, 0xAB, 0xCD}));
  after.Put({0x99, 0x98});
  ASSERT_EQ(after.Rtu(m), 3);
  EXPECT_EQ(after.Pending(), 0);
  EXPECT_EQ(after.Read, (1000 + 7) % RING_SIZE);
  int16_t v = 0;
  modbus::TakeValue(m, 'i', &v);
  EXPECT_EQ(static_cast<uint16_t>(v), 0xABCD);

  // A function-3 frame whose byte count disagrees, or one with function code
  // 0, is consumed and not reported.
  for (const Bytes& pdu : {Bytes{0x01, 0x03, 0x04, 0xAB, 0xCD}, Bytes{0x01, 0x00, 0x02}}) {
    Ring ring;
    ring.Put(BuildRtu(pdu));
    EXPECT_EQ(ring.Rtu(m), -1);
    EXPECT_EQ(ring.Pending(), 0);
  }
}

TEST(Frame, RtuFrameTooShortIsDroppedAndScanningGoesOn) {
  // One byte followed by its own CRC checks out but cannot be a reply.
  const Bytes tiny = BuildRtu({0x00});
  ASSERT_EQ(tiny.size(), 3u);
  TModbusMessage m;
  Ring ring;
  ring.Put(tiny);
  ring.Put(BuildRtu({0x09, 0x06, 0x0F, 0xA0, 0x00, 0x01}));
  ASSERT_EQ(ring.Rtu(m), 6);
  EXPECT_EQ(m.Address, 9);
  EXPECT_EQ(m.Length, 4);
}

TEST(Frame, RtuGarbageLongerThanTheDataAreaIsLeftAlone) {
  std::mt19937 rng(7);
  Bytes noise(400);
  for (auto& b : noise) b = static_cast<uint8_t>(rng());
  // Make sure no prefix of the noise happens to check out.
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < noise.size(); ++i) {
    crc = modbus::Crc16Step(crc, noise[i]);
    if (crc == 0) noise[i] ^= 1, crc = 1;
  }
  TModbusMessage m;
  Ring ring(900);
  ring.Put(noise);
  EXPECT_EQ(ring.Rtu(m), -1);
  EXPECT_EQ(ring.Read, 900);
  EXPECT_EQ(ring.Pending(), 400);
  EXPECT_EQ(m.Tail, m.Data);
}

TEST(Values, AppendPutsMostSignificantByteFirst) {
  TModbusMessage m;
  const int16_t i = 0x1234;
  const int32_t l = 0x01020304;
  const float f = -100.0f;
  const uint8_t c = 0xEE;
  ASSERT_EQ(modbus::AppendValue(m, 'i', &i), 0);
  ASSERT_EQ(modbus::AppendValue(m, 'l', &l), 0);
  ASSERT_EQ(modbus::AppendValue(m, 'f', &f), 0);
  ASSERT_EQ(modbus::AppendValue(m, 'c', &c), 0);
  ASSERT_EQ(modbus::AppendValue(m, 's', "ab"), 0);
  ASSERT_EQ(modbus::AppendValue(m, 'x', &c), 0);  // unknown kind: nothing
  EXPECT_EQ(Bytes(m.Head, m.Tail),
            (Bytes{0x12, 0x34, 0x01, 0x02, 0x03, 0x04, 0xC2, 0xC8, 0x00, 0x00, 0xEE, 'a', 'b', 0}));
  EXPECT_EQ(m.Length, 14);
}

TEST(Values, AppendRefusesOnceTheDataAreaIsFull) {
  TModbusMessage m;
  const int32_t l = 7;
  for (int k = 0; k < 25; ++k) ASSERT_EQ(modbus::AppendValue(m, 'l', &l), 0);  // 100 bytes
  const std::string longText(160, 'x');
  EXPECT_EQ(modbus::AppendValue(m, 's', longText.c_str()), -1);  // would run past the area
  EXPECT_EQ(m.Length, 100);
  ASSERT_EQ(modbus::AppendValue(m, 'l', &l), 0);  // 100 held: not more than 100 yet
  EXPECT_EQ(modbus::AppendValue(m, 'c', &l), -1);
  EXPECT_EQ(m.Length, 104);
}

TEST(Values, TakeDecodesEachKindAndMarksInvalidFloats) {
  TModbusMessage m;
  const Bytes wire = {0xEE, 0x12, 0x34, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xF0, 0xC2, 0xC8, 0x00, 0x00,
                      0x7F, 0xC0, 0x00, 0x00,  // NaN
                      0x7F, 0x80, 0x00, 0x00,  // +inf
                      0xFF, 0x80, 0x00, 0x00,  // -inf: negative values are not bounded
                      0x60, 0xAD, 0x78, 0xEC,  // 1e20 exactly stays
                      0x60, 0xAD, 0x78, 0xED,  // just above 1e20
                      'h', 'i', 0, 'z'};
  std::memcpy(m.Data, wire.data(), wire.size());
  m.Head = m.Data;
  m.Tail = m.Data + wire.size();
  uint8_t c = 0;
  int16_t i = 0, neg = 0;
  int32_t l = 0;
  float f[6] = {};
  char s[MESSAGE_DATA_SIZE + 1] = {};
  EXPECT_EQ(modbus::TakeValue(m, 'c', &c), 0);
  EXPECT_EQ(modbus::TakeValue(m, 'i', &i), 0);
  EXPECT_EQ(modbus::TakeValue(m, 'i', &neg), 0);
  EXPECT_EQ(modbus::TakeValue(m, 'l', &l), 0);
  for (float& v : f) EXPECT_EQ(modbus::TakeValue(m, 'f', &v), 0);
  EXPECT_EQ(modbus::TakeValue(m, 's', s), 0);
  EXPECT_EQ(c, 0xEE);
  EXPECT_EQ(i, 0x1234);
  EXPECT_EQ(neg, -2);
  EXPECT_EQ(l, -16);
  EXPECT_EQ(f[0], -100.0f);
  EXPECT_EQ(f[1], 1e20f);
  EXPECT_EQ(f[2], 1e20f);
  EXPECT_TRUE(std::isinf(f[3]) && f[3] < 0);
  EXPECT_EQ(f[4], 1e20f);
  EXPECT_EQ(f[5], 1e20f);
  EXPECT_STREQ(s, "hi");
  EXPECT_EQ(*m.Head, 0);  // the cursor stays on the text's zero byte
}

TEST(Values, TakingPastTheTailReadsNothingBeyondIt) {
  TModbusMessage m;
  std::memset(m.Data, 0x41, sizeof m.Data);  // stale bytes that must not show through
  m.Data[3] = 0x42;
  m.Data[4] = 0x48;
  m.Head = m.Data + 3;
  m.Tail = m.Data + 5;
  float f = 0;
  EXPECT_EQ(modbus::TakeValue(m, 'f', &f), -1);
  EXPECT_EQ(f, 1e20f);
  int16_t i = 5;
  EXPECT_EQ(modbus::TakeValue(m, 'i', &i), -1);
  EXPECT_EQ(i, 0);
  char s[MESSAGE_DATA_SIZE + 1];
  EXPECT_EQ(modbus::TakeValue(m, 's', s), -1);
  EXPECT_STREQ(s, "");
  EXPECT_EQ(m.Head, m.Tail);
}

}  // namespace
