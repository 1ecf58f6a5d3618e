// Framing and value coding on plain buffers: no port involved.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "comm/ModbusFrame.h"

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
  int Ascii(TModbusMessage& m, modbus::TReplyMatch match = {}) {
    return modbus::ParseAsciiReply(Data, Read, Write, m, match);
  }
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
      {"another meter", BuildAscii({0x02, 0x03, 0x02, 0x12, 0x34})},
      {"another function", BuildAscii({0x01, 0x06, 0x0F, 0xA0, 0x00, 0x01})},
  };
  for (const auto& c : cases) {
    TModbusMessage m;
    Ring ring;
    ring.Put(c.Bad);
    ring.Put(good);
    ASSERT_EQ(ring.Ascii(m, {0x01, 0x03}), 3) << c.Why;
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

// A PDU whose CRC, taken over its first `prefix` bytes and written into the
// next two, makes the running CRC come out 0 inside the frame.
Bytes WithInnerCrcZero(Bytes pdu, size_t prefix) {
  const uint16_t crc = modbus::Crc16(pdu.data(), prefix);
  pdu[prefix] = static_cast<uint8_t>(crc & 0xFF);
  pdu[prefix + 1] = static_cast<uint8_t>(crc >> 8);
  return pdu;
}

TEST(Frame, RtuReplyEndsWhereItsHeaderSays) {
  TModbusMessage m;
  // Each kind of reply with data that brings the running CRC to 0 early.
  const struct {
    Bytes Pdu;
    size_t InnerEnd;
    int Function;
    int Length;
  } cases[] = {
      {WithInnerCrcZero({0x01, 0x03, 0x04, 0, 0, 0x12, 0x34}, 3), 5, 3, 5},
      {WithInnerCrcZero({0x01, 0x03, 0x02, 0, 0}, 3), 5, 3, 3},
      {WithInnerCrcZero({0x07, 0x06, 0, 0, 0x00, 0x05}, 2), 4, 6, 4},
  };
  for (const auto& c : cases) {
    const Bytes frame = BuildRtu(c.Pdu);
    ASSERT_EQ(modbus::Crc16(frame.data(), c.InnerEnd), 0);
    Ring ring(1020);  // across the end of the ring
    // Arriving in two pieces: nothing is taken or consumed before the end.
    ring.Put(Bytes(frame.begin(), frame.end() - 1));
    EXPECT_EQ(ring.Rtu(m), -1);
    EXPECT_EQ(ring.Read, 1020);
    ring.Put({frame.back()});
    ring.Put({0x99, 0x98});  // whatever follows goes with the frame
    ASSERT_EQ(ring.Rtu(m), c.Function);
    EXPECT_EQ(m.Length, c.Length);
    EXPECT_EQ(Decoded(m), frame);
    EXPECT_EQ(ring.Pending(), 0);
  }
  Ring exception;
  exception.Put({0x01, 0x83, 0x02, 0xC0, 0xF1});
  ASSERT_EQ(exception.Rtu(m), 0x83);
  EXPECT_EQ(m.ByteCount, 2);
}

TEST(Frame, RtuScannerResyncsPastGarbageToTheAwaitedReply) {
  TModbusMessage m;
  const Bytes reply = BuildRtu({0x05, 0x03, 0x04, 0x41, 0x20, 0x00, 0x00});
  Bytes spoilt = reply;
  spoilt[4] ^= 0x40;
  std::mt19937 rng(11);
  std::vector<Bytes> fronts = {
      {0x00},                                 // a stray byte at the turnaround
      BuildRtu({0x00}),                       // three bytes that check out by themselves
      spoilt,                                 // the same reply spoilt on the way
      BuildRtu({0x06, 0x03, 0x02, 0x00, 0x01}),  // another meter's reply
      BuildRtu({0x05, 0x06, 0x0F, 0xA0, 0x00, 0x01}),  // a reply to another function
      {0x05, 0x03, 0xF0},                     // a header claiming more than follows
  };
  for (int n = 1; n < 40; n += 7) {
    Bytes noise(static_cast<size_t>(n));
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    fronts.push_back(noise);
  }
  for (const Bytes& front : fronts) {
    Ring ring(1000);
    ring.Put(front);
    ring.Put(reply);
    ASSERT_EQ(modbus::ParseRtuReply(ring.Data, ring.Read, ring.Write, m, {0x05, 0x03}), 3)
        << "after " << front.size() << " bytes";
    EXPECT_EQ(Decoded(m), reply);
    EXPECT_EQ(ring.Pending(), 0);
  }
  // An exception to the request that is out fits it too.
  Ring refused;
  refused.Put({0x00});
  refused.Put(BuildRtu({0x05, 0x83, 0x02}));
  EXPECT_EQ(modbus::ParseRtuReply(refused.Data, refused.Read, refused.Write, m, {0x05, 0x03}), 0x83);
}

TEST(Frame, RtuGarbageIsConsumedUpToWhereAReplyMayStillStart) {
  TModbusMessage m;
  // Function code 0, an unknown function and a reply longer than the data
  // area never start a reply: all of it goes.
  Ring dead;
  dead.Put(BuildRtu({0x01, 0x00, 0x02}));
  dead.Put(BuildRtu({0x01, 0x2B, 0x0E, 0x01}));
  dead.Put({0x01, 0x03, 0xFF});
  dead.Put(Bytes(300, 0x00));
  EXPECT_EQ(dead.Rtu(m), -1);
  EXPECT_LE(dead.Pending(), 1);
  EXPECT_EQ(m.Tail, m.Data);

  // A header still waiting for its bytes is kept, with what follows; a frame
  // that seems to end, spoilt, inside it does not count as a spoilt reply.
  Ring waiting(900);
  waiting.Put({0x77, 0x77, 0x01, 0x03, 0x10, 0xAA, 0x01, 0x03, 0x00, 0x12, 0x34});
  bool broken = true;
  EXPECT_EQ(modbus::ParseRtuReply(waiting.Data, waiting.Read, waiting.Write, m, {}, &broken), -1);
  EXPECT_FALSE(broken);
  EXPECT_EQ(waiting.Read, 902);
  EXPECT_EQ(waiting.Pending(), 9);

  // The same reply whole but spoilt is, in both framings.
  Bytes spoilt = BuildRtu({0x01, 0x03, 0x02, 0x00, 0x05});
  spoilt[3] ^= 0x10;
  Ring rtu;
  rtu.Put(spoilt);
  EXPECT_EQ(modbus::ParseRtuReply(rtu.Data, rtu.Read, rtu.Write, m, {0x01, 0x03}, &broken), -1);
  EXPECT_TRUE(broken);
  // Not while a reply may still start behind it: the wait goes on for that.
  rtu.Put(spoilt);
  rtu.Put({0x01, 0x03});
  EXPECT_EQ(modbus::ParseRtuReply(rtu.Data, rtu.Read, rtu.Write, m, {0x01, 0x03}, &broken), -1);
  EXPECT_FALSE(broken);
  EXPECT_EQ(rtu.Pending(), 2);
  Bytes text = BuildAscii({0x01, 0x03, 0x02, 0x00, 0x05});
  text[8] = text[8] == '0' ? '1' : '0';
  Ring ascii;
  ascii.Put(text);
  broken = false;
  EXPECT_EQ(modbus::ParseAsciiReply(ascii.Data, ascii.Read, ascii.Write, m, {0x01, 0x03}, &broken), -1);
  EXPECT_TRUE(broken);
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
