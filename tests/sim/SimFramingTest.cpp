// Slave-side framing: request recognition in both modes and reply framing.
#include <gtest/gtest.h>

#include <string>

#include "sim/SimFraming.h"

namespace {

using namespace std::chrono_literals;

SimBytes Bytes(const std::string& s) { return SimBytes(s.begin(), s.end()); }

// Request 01 03 1D4C 0022 (read 7500 x34) as a master sends it.
const SimBytes kReadPdu{0x01, 0x03, 0x1D, 0x4C, 0x00, 0x22};
const SimBytes kReadRtu{0x01, 0x03, 0x1D, 0x4C, 0x00, 0x22, 0x02, 0x68};
const std::string kReadAscii = ":01031D4C002271\r\n";

std::vector<SimBytes> FeedAll(SimRequestScanner& s, const SimBytes& b, SimClock::time_point t = SimClock::now()) {
  std::vector<SimBytes> frames;
  s.Feed(b.data(), b.size(), t, frames);
  return frames;
}

TEST(SimFraming, RepliesCarryTheChecksOfTheStandard) {
  // Exception 02 to function 3 from address 1.
  const SimBytes ex{0x01, 0x83, 0x02};
  EXPECT_EQ(SimFrameReply(false, ex), Bytes(":0183027A\r\n"));
  EXPECT_EQ(SimFrameReply(true, ex), (SimBytes{0x01, 0x83, 0x02, 0xC0, 0xF1}));
  // Spoiled checks differ from the good ones and fail the check.
  const SimBytes badRtu = SimFrameReply(true, ex, true);
  EXPECT_NE(SimCrc16(badRtu.data(), badRtu.size()), 0);
  EXPECT_NE(SimFrameReply(false, ex, true), Bytes(":0183027A\r\n"));
  EXPECT_EQ(SimCrc16(kReadRtu.data(), kReadRtu.size()), 0);
}

TEST(SimFraming, AsciiRequestFoundAcrossReadsAndAmidNoise) {
  SimRequestScanner s(false, 50ms);
  const SimBytes all = Bytes("\x05garbage" + kReadAscii);
  std::vector<SimBytes> frames;
  for (uint8_t c : all) s.Feed(&c, 1, SimClock::now(), frames);  // one byte per read
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], kReadPdu);
  EXPECT_EQ(s.Pending(), 0u);

  // Lower-case digits are hex digits as well.
  EXPECT_EQ(FeedAll(s, Bytes(":01031d4c002271\r\n")), std::vector<SimBytes>{kReadPdu});
}

TEST(SimFraming, AsciiRejectsBadFramesAndKeepsTheNextGoodOne) {
  SimRequestScanner s(false, 50ms);
  const std::string badLrc = ":01031D4C002272\r\n";
  const std::string badChar = ":01031D4X002271\r\n";
  const std::string oddDigits = ":01031D4C00227\r\n";
  const std::string tooShort = ":01\r\n";
  const std::string cutOff = ":01031D";  // restarted by the next colon
  const auto frames = FeedAll(s, Bytes(badLrc + badChar + oddDigits + tooShort + cutOff + kReadAscii));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], kReadPdu);
  EXPECT_EQ(s.Rejected(), 5u);

  // A frame longer than any request can be is dropped without growing without bound.
  std::string huge = ":";
  for (int i = 0; i < 600; ++i) huge += "00";
  EXPECT_TRUE(FeedAll(s, Bytes(huge + "\r\n")).empty());
  EXPECT_EQ(FeedAll(s, Bytes(kReadAscii)).size(), 1u);
}

TEST(SimFraming, RtuRequestFoundByLengthAndCrc) {
  SimRequestScanner s(true, 50ms);
  const auto t = SimClock::now();
  std::vector<SimBytes> frames;
  s.Feed(kReadRtu.data(), 3, t, frames);
  EXPECT_TRUE(frames.empty());
  s.Feed(kReadRtu.data() + 3, 5, t + 1ms, frames);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], kReadPdu);

  // Noise in front, two requests back to back in one read.
  SimBytes stream{0x55, 0xFF};
  stream.insert(stream.end(), kReadRtu.begin(), kReadRtu.end());
  stream.insert(stream.end(), kReadRtu.begin(), kReadRtu.end());
  EXPECT_EQ(FeedAll(s, stream, t + 2ms).size(), 2u);

  // A bad CRC yields nothing.
  SimBytes bad = kReadRtu;
  bad[7] ^= 1;
  EXPECT_TRUE(FeedAll(s, bad, t + 3ms).empty());
}

TEST(SimFraming, RtuSilenceEndsAPartialRequest) {
  SimRequestScanner s(true, 50ms);
  const auto t = SimClock::now();
  std::vector<SimBytes> frames;
  s.Feed(kReadRtu.data(), 5, t, frames);  // the master gave up after 5 bytes
  s.Feed(kReadRtu.data(), kReadRtu.size(), t + 200ms, frames);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], kReadPdu);
  EXPECT_EQ(s.Pending(), 0u);
}

TEST(SimFraming, RtuOtherFunctionsAreDelimitedToo) {
  SimRequestScanner s(true, 50ms);
  // Function 16 (write 2 registers): its length follows from its byte count.
  SimBytes f16{0x01, 0x10, 0x0F, 0xA0, 0x00, 0x02, 0x04, 0x00, 0x01, 0x00, 0x02};
  const uint16_t crc = SimCrc16(f16.data(), f16.size());
  f16.push_back(crc & 0xFF);
  f16.push_back(crc >> 8);
  // Function 0x41, unknown: the CRC alone ends it.
  SimBytes f41{0x01, 0x41, 0x12, 0x34};
  const uint16_t crc2 = SimCrc16(f41.data(), f41.size());
  f41.push_back(crc2 & 0xFF);
  f41.push_back(crc2 >> 8);
  SimBytes stream = f16;
  stream.insert(stream.end(), f41.begin(), f41.end());
  const auto frames = FeedAll(s, stream);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].size(), 11u);
  EXPECT_EQ(frames[1], (SimBytes{0x01, 0x41, 0x12, 0x34}));
}

}  // namespace
