// End-to-end transactions: the test plays the meter on the master side of a
// pseudo-terminal whose slave side the port opens through a COM1 link, or as a
// network serial server the port connects to over TCP. Every scenario runs in
// ASCII (mode 1, E,7,1) and RTU (mode 4, E,8,1) over both.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <tuple>

#include "comm/ModbusFrame.h"
#include "comm/SerialDeviceTcp.h"
#include "comm/Trans.h"
#include "tests/support/PtyTools.h"
#include "tests/support/TcpPeer.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

long MsSince(Clock::time_point t) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

Bytes Framed(int mode, const Bytes& pdu) {
  uint8_t out[600];
  const int n = mode >= 3 ? modbus::BuildRtuFrame(pdu.data(), static_cast<int>(pdu.size()), out, sizeof out)
                          : modbus::BuildAsciiFrame(pdu.data(), static_cast<int>(pdu.size()), out, sizeof out);
  return Bytes(out, out + n);
}

// A function-3 reply carrying the given floats, most significant byte first.
Bytes FloatReplyPdu(uint8_t address, const std::vector<float>& values) {
  Bytes pdu = {address, 3, static_cast<uint8_t>(values.size() * 4)};
  for (float v : values) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    for (int s = 24; s >= 0; s -= 8) pdu.push_back(static_cast<uint8_t>(bits >> s));
  }
  return pdu;
}

class PtyTransaction : public ::testing::TestWithParam<std::tuple<int, bool>> {
protected:
  void SetUp() override {
    Plug();
    ASSERT_EQ(Port.Configure(0, 6, Mode(), 0), 0);  // COM1 or the server, 19200 bit/s
    ASSERT_EQ(Port.PortIndex, 0);
  }

  int Mode() const { return std::get<0>(GetParam()); }
  bool Rtu() const { return Mode() >= 3; }
  bool Tcp() const { return std::get<1>(GetParam()); }

  // A fresh far end: a pseudo-terminal under the name COM1, or a server on the
  // port the last one listened on.
  void Plug() {
    if (Tcp()) {
      auto server = std::make_unique<testsupport::TcpPeer>(ServerPort);
      ServerPort = server->Port();
      Port.UseNetwork(server->Name());
      Meter = std::move(server);
    } else {
      auto pty = std::make_unique<testsupport::PtyPair>();
      Dir.Link(1, pty->SlavePath());
      Meter = std::move(pty);
    }
  }

  // One request as the meter receives it (RTU requests of functions 3 and 6 are 8 bytes).
  Bytes ReadRequest(int ms = 3000) {
    if (Rtu()) return Meter->ReadCount(8, ms);
    return Meter->ReadUntil([](const Bytes& b) { return !b.empty() && b.back() == '\n'; }, ms);
  }

  // Calls the non-blocking read as the meter driver does until it ends.
  int Collect(int address, int reg, int16_t count, int ms = 5000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    int r;
    while ((r = Port.ReadRegisters(address, reg, count)) == MB_PENDING && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return r;
  }

  std::vector<float> TakeFloats(int n) {
    std::vector<float> v(static_cast<size_t>(n));
    for (auto& f : v) Port.TakeValue('f', &f);
    return v;
  }

  std::unique_ptr<testsupport::LinePeer> Meter;
  int ServerPort = 0;
  testsupport::ComDirectory Dir;
  TModbusPort Port;
};

TEST_P(PtyTransaction, ReplySplitOverReadsIsCollectedWhole) {
  ASSERT_EQ(Port.ReadRegisters(1, 7500, 34), MB_PENDING);
  const Bytes request = ReadRequest();
  EXPECT_EQ(request, Framed(Mode(), {0x01, 0x03, 0x1D, 0x4C, 0x00, 0x22}));

  std::vector<float> values;
  for (int i = 0; i < 34; ++i) values.push_back(230.5f + static_cast<float>(i));
  const Bytes reply = Framed(Mode(), FloatReplyPdu(1, values));
  const size_t cuts[] = {1, reply.size() / 3, reply.size() - 1, reply.size()};
  size_t from = 0;
  for (size_t cut : cuts) {
    ASSERT_TRUE(Meter->Write(Bytes(reply.begin() + static_cast<long>(from), reply.begin() + static_cast<long>(cut))));
    from = cut;
    if (cut == reply.size()) break;
    // Give the bytes time to arrive, then poll: the reply is not complete yet.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(Port.ReadRegisters(1, 7500, 34), MB_PENDING) << "after " << cut << " bytes";
  }
  ASSERT_EQ(Collect(1, 7500, 34), 3);
  EXPECT_EQ(TakeFloats(34), values);
  EXPECT_EQ(Port.RingRead, Port.RingWrite);
  // The next call starts the next transaction.
  EXPECT_EQ(Port.ReadRegisters(1, 7612, 6), MB_PENDING);
  EXPECT_EQ(ReadRequest(), Framed(Mode(), {0x01, 0x03, 0x1D, 0xBC, 0x00, 0x06}));

  // What is left of one transaction is never the next one's reply: a reply
  // that came twice is read once, and the next read waits for its own.
  Bytes twice = Framed(Mode(), FloatReplyPdu(1, {1, 2, 3, 4, 5, 6}));
  const Bytes again = twice;
  twice.insert(twice.end(), again.begin(), again.end());
  ASSERT_TRUE(Meter->Write(twice));
  ASSERT_EQ(Collect(1, 7612, 6), 3);
  EXPECT_EQ(TakeFloats(6), (std::vector<float>{1, 2, 3, 4, 5, 6}));
  ASSERT_EQ(Port.ReadRegisters(1, 7612, 6), MB_PENDING);
  ReadRequest();
  ASSERT_TRUE(Meter->Write(Framed(Mode(), FloatReplyPdu(1, {7, 8, 9, 10, 11, 12}))));
  ASSERT_EQ(Collect(1, 7612, 6), 3);
  EXPECT_EQ(TakeFloats(6), (std::vector<float>{7, 8, 9, 10, 11, 12}));
}

TEST_P(PtyTransaction, NoiseOrAnotherSlaveInFrontOfTheReplyIsSkippedAndASpoiltReplyEndsTheWait) {
  const Bytes good = Framed(Mode(), FloatReplyPdu(1, {1.5f, -2.25f}));
  const Bytes prefixes[] = {Bytes{'x', 0x00, 0x7F, '\r', '\n'},
                            Framed(Mode(), FloatReplyPdu(8, {1.0f, 2.0f}))};
  for (const Bytes& prefix : prefixes) {
    ASSERT_EQ(Port.ReadRegisters(1, 7612, 2), MB_PENDING);
    ReadRequest();
    ASSERT_TRUE(Meter->Write(prefix));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_TRUE(Meter->Write(good));
    ASSERT_EQ(Collect(1, 7612, 2), 3);
    EXPECT_EQ(TakeFloats(2), (std::vector<float>{1.5f, -2.25f}));
  }

  // The whole reply spoilt on the way (a bad LRC at its LF, a bad CRC at the
  // length its header gives): no other answer is coming, the wait ends at once.
  Port.ReplyTimeout = 5000;
  Bytes bad = Framed(Mode(), FloatReplyPdu(1, {9.0f, 9.0f}));
  if (Rtu())
    bad[4] ^= 0x01;
  else
    bad[8] = bad[8] == '0' ? '1' : '0';
  ASSERT_EQ(Port.ReadRegisters(1, 7612, 2), MB_PENDING);
  ReadRequest();
  const auto start = Clock::now();
  ASSERT_TRUE(Meter->Write(bad));
  EXPECT_EQ(Collect(1, 7612, 2), MB_NO_REPLY);
  EXPECT_LT(MsSince(start), 2500);
  EXPECT_EQ(Port.LastEnd, TModbusPort::TReplyEnd::Broken);

  // Another slave's reply alone is no reply.
  Port.ReplyTimeout = 300;
  ASSERT_EQ(Port.ReadRegisters(7, 7612, 6), MB_PENDING);
  ReadRequest();
  ASSERT_TRUE(Meter->Write(Framed(Mode(), FloatReplyPdu(8, {1, 2, 3, 4, 5, 6}))));
  EXPECT_EQ(Collect(7, 7612, 6), MB_NO_REPLY);
  EXPECT_EQ(Port.LastEnd, TModbusPort::TReplyEnd::Silence);
}

// A 2-wire adapter with local echo hands back every byte sent, in front of
// the meter's reply; the echo of a write is byte for byte the meter's reply.
TEST_P(PtyTransaction, OwnEchoIsNeverTakenForTheReply) {
  // The test plays the meter from its own thread: a busy machine may hold it.
  const uint32_t timeout = 400 + static_cast<uint32_t>(testsupport::LoadAllowanceMs());
  Port.ReplyTimeout = timeout;
  const Bytes reading = Framed(Mode(), FloatReplyPdu(1, {4.0f}));
  // after: bytes behind the meter's reply; before: bytes ahead of the echo.
  auto read = [&](bool echo, bool meter, const Bytes& after = {}) {
    if (Port.ReadRegisters(1, 7612, 1) != MB_PENDING) return -100;
    const Bytes request = ReadRequest();
    if (echo) Meter->Write(request);
    if (meter) {
      Bytes reply = reading;
      reply.insert(reply.end(), after.begin(), after.end());
      Meter->Write(reply);
    }
    return Collect(1, 7612, 1);
  };
  auto write = [&](bool echo, bool meter, const Bytes& before = {}) {
    const int16_t v = 5;
    Port.AppendValue('i', &v);
    auto done = std::async(std::launch::async, [&] { return Port.WriteRegister(1, 4000); });
    const Bytes request = ReadRequest();
    if (!before.empty()) Meter->Write(before);
    if (echo) Meter->Write(request);
    if (meter) Meter->Write(request);
    return done.get();
  };

  // An echoing line with a meter: the copy is skipped, the reply taken.
  EXPECT_EQ(read(true, true), 3);
  EXPECT_EQ(TakeFloats(1), std::vector<float>{4.0f});
  EXPECT_EQ(Port.LineEcho, TModbusPort::TLineEcho::Echoing);
  EXPECT_EQ(write(true, true), 6);
  // The meter gone: nothing but our own bytes come back, and that is no reply.
  EXPECT_EQ(read(true, false), MB_NO_REPLY);
  EXPECT_EQ(write(true, false), MB_NO_REPLY);
  // Nor with stray bytes left behind the last reply (a 0x00 after ASCII's LF,
  // noise after an RTU frame) or arriving ahead of the echo, even where one
  // of them is the request's own first byte.
  const Bytes stray = Rtu() ? Bytes{0xA5, 0x01} : Bytes{0x00, ':'};
  EXPECT_EQ(read(true, true, stray), 3);
  EXPECT_EQ(write(true, false), MB_NO_REPLY);
  EXPECT_EQ(write(true, false, stray), MB_NO_REPLY);
  EXPECT_EQ(Port.LineEcho, TModbusPort::TLineEcho::Echoing);

  // A quiet line, learnt from a read: the one copy of a write is the reply.
  EXPECT_EQ(read(false, true), 3);
  EXPECT_EQ(Port.LineEcho, TModbusPort::TLineEcho::Quiet);
  const auto start = Clock::now();
  EXPECT_EQ(write(false, true), 6);
  EXPECT_LT(MsSince(start), timeout);

  // Before the line is known, a lone copy of a write is held for the whole
  // time-out and then taken as the reply: the writer's read-back decides.
  ASSERT_EQ(Port.Configure(-1, -1, Mode(), -1), 0);
  Port.ReplyTimeout = timeout;
  EXPECT_EQ(write(true, true), 6);
  EXPECT_EQ(Port.LineEcho, TModbusPort::TLineEcho::Echoing);
}

TEST_P(PtyTransaction, ExceptionReplyGivesItsFunctionCode) {
  ASSERT_EQ(Port.ReadRegisters(1, 7500, 34), MB_PENDING);
  ReadRequest();
  ASSERT_TRUE(Meter->Write(Framed(Mode(), {0x01, 0x83, 0x02})));
  EXPECT_EQ(Collect(1, 7500, 34), 0x83);
}

TEST_P(PtyTransaction, SilenceEndsByTimeoutAndEmptiesTheRing) {
  Port.ReplyTimeout = 300;
  ASSERT_EQ(Port.ReadRegisters(1, 7500, 34), MB_PENDING);
  ReadRequest();
  // Half a reply that never completes.
  const Bytes reply = Framed(Mode(), FloatReplyPdu(1, {1, 2}));
  ASSERT_TRUE(Meter->Write(Bytes(reply.begin(), reply.begin() + 5)));
  const auto start = Clock::now();
  EXPECT_EQ(Collect(1, 7500, 34), MB_NO_REPLY);
  EXPECT_GE(MsSince(start), 300);
  EXPECT_EQ(Port.RingRead, 0);
  EXPECT_EQ(Port.RingWrite, 0);
  EXPECT_EQ(Port.State, 0);

  // A shorter wait set for the transaction ends silence sooner, within the
  // time-out; a reply that has started by then is given the whole time-out.
  Port.ReplyTimeout = 4000;
  Port.ReplyWaitMs = 100;
  ASSERT_EQ(Port.ReadRegisters(1, 7612, 2), MB_PENDING);
  ReadRequest();
  const auto silent = Clock::now();
  EXPECT_EQ(Collect(1, 7612, 2), MB_NO_REPLY);
  EXPECT_GE(MsSince(silent), 100);
  EXPECT_LT(MsSince(silent), 2000);
  ASSERT_EQ(Port.ReadRegisters(1, 7612, 2), MB_PENDING);
  ReadRequest();
  ASSERT_TRUE(Meter->Write(Bytes(reply.begin(), reply.begin() + 7)));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(Port.ReadRegisters(1, 7612, 2), MB_PENDING);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Port.ReadRegisters(1, 7612, 2), MB_PENDING);
  ASSERT_TRUE(Meter->Write(Bytes(reply.begin() + 7, reply.end())));
  EXPECT_EQ(Collect(1, 7612, 2), 3);
  EXPECT_EQ(TakeFloats(2), (std::vector<float>{1, 2}));
}

TEST_P(PtyTransaction, BlockingReadFinishesPendingReadFirst) {
  ASSERT_EQ(Port.ReadRegisters(1, 7500, 34), MB_PENDING);
  Clock::time_point firstReplySent, secondRequestSeen;
  Bytes second;
  std::thread meter([&] {
    ReadRequest();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    firstReplySent = Clock::now();  // the port cannot see the reply before this
    Meter->Write(Framed(Mode(), FloatReplyPdu(1, std::vector<float>(34, 1.0f))));
    second = ReadRequest();
    secondRequestSeen = Clock::now();
    Meter->Write(Framed(Mode(), FloatReplyPdu(1, {42.0f, 43.0f})));
  });
  const int r = Port.ReadRegistersWait(1, 7612, 2);
  meter.join();
  ASSERT_EQ(r, 3);
  EXPECT_EQ(second, Framed(Mode(), {0x01, 0x03, 0x1D, 0xBC, 0x00, 0x02}));
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(secondRequestSeen - firstReplySent).count(), 20);
  EXPECT_EQ(TakeFloats(2), (std::vector<float>{42.0f, 43.0f}));
  EXPECT_EQ(Port.State, 0);
  // The pending read's outcome was dropped: its owner's next call sends afresh.
  EXPECT_EQ(Port.ReadRegisters(1, 7500, 34), MB_PENDING);
  EXPECT_EQ(ReadRequest(), Framed(Mode(), {0x01, 0x03, 0x1D, 0x4C, 0x00, 0x22}));
}

TEST_P(PtyTransaction, UnpluggedDeviceIsReopenedWhenItReturns) {
  Port.ReplyTimeout = 200;
  ASSERT_EQ(Port.ReadRegisters(1, 7612, 1), MB_PENDING);
  ReadRequest();
  ASSERT_TRUE(Meter->Write(Framed(Mode(), FloatReplyPdu(1, {5.0f}))));
  ASSERT_EQ(Collect(1, 7612, 1), 3);

  // Unplugged (the server gone): the line hangs up and the name points nowhere.
  Meter->CloseMaster();
  EXPECT_EQ(Collect(1, 7612, 1), MB_NO_REPLY);
  EXPECT_EQ(Port.PortIndex, 0);
  EXPECT_FALSE(Port.Handle);
  const auto whileGone = Clock::now();
  EXPECT_EQ(Port.ReadRegistersWait(1, 7612, 1), MB_NO_REPLY);
  EXPECT_LT(MsSince(whileGone), 2000);

  // Plugged in again under the same name (the server back on its port).
  Meter.reset();
  Plug();
  std::atomic<bool> stop{false};
  std::thread meter([&] {
    while (!stop) {
      const Bytes request = ReadRequest(100);
      if (!request.empty()) Meter->Write(Framed(Mode(), FloatReplyPdu(1, {6.0f})));
    }
  });
  int r = MB_NO_REPLY;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (r != 3 && Clock::now() < deadline) r = Collect(1, 7612, 1);
  stop = true;
  meter.join();
  ASSERT_EQ(r, 3);
  EXPECT_EQ(TakeFloats(1), std::vector<float>{6.0f});
  EXPECT_EQ(Port.PortIndex, 0);
}

// The converter's path raises RTS, writes and waits for the transmitter before
// lowering RTS; a pseudo-terminal has neither RTS nor a UART status, and the
// transaction goes through all the same.
TEST_P(PtyTransaction, ConverterPathWorksWithoutModemLines) {
  ASSERT_EQ(Port.Configure(-1, -1, -1, 1), 0);
  ASSERT_EQ(Port.IoBase, 0x3F8);
  std::thread meter([&] {
    if (!ReadRequest().empty()) Meter->Write(Framed(Mode(), FloatReplyPdu(1, {7.5f})));
  });
  const auto start = Clock::now();
  const int r = Port.ReadRegistersWait(1, 7612, 1);
  meter.join();
  ASSERT_EQ(r, 3);
  EXPECT_EQ(TakeFloats(1), std::vector<float>{7.5f});
  EXPECT_LT(MsSince(start), 1000);
}

// The line goes away in the middle of a reply: the transaction ends by its
// time-out like any incomplete reply, and the port counts as lost.
TEST_P(PtyTransaction, LineLostMidReplyEndsLikeSilence) {
  Port.ReplyTimeout = 300;
  ASSERT_EQ(Port.ReadRegisters(1, 7500, 2), MB_PENDING);
  ReadRequest();
  const Bytes reply = Framed(Mode(), FloatReplyPdu(1, {1, 2}));
  ASSERT_TRUE(Meter->Write(Bytes(reply.begin(), reply.begin() + 6)));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  Meter->CloseMaster();
  const auto start = Clock::now();
  EXPECT_EQ(Collect(1, 7500, 2), MB_NO_REPLY);
  EXPECT_LT(MsSince(start), 3000);
  EXPECT_FALSE(Port.Handle);
  EXPECT_EQ(Port.PortIndex, 0);
  EXPECT_EQ(Port.State, 0);
  if (Tcp()) {
    EXPECT_NE(LastTcpError().find("closed by the server"), std::string::npos) << LastTcpError();
  }
}

INSTANTIATE_TEST_SUITE_P(Framing, PtyTransaction,
                         ::testing::Combine(::testing::Values(1, 4), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<int, bool>>& info) {
                           return std::string(std::get<0>(info.param) >= 3 ? "Rtu" : "Ascii") +
                                  (std::get<1>(info.param) ? "Tcp" : "Serial");
                         });

// A server that is not there, or a name that leads nowhere: the port does not
// open, at once rather than after a wait, and says why; the COM index stays
// usable for the serial port.
TEST(TcpPort, RefusedOrUnresolvableServerDoesNotOpen) {
  int freePort;
  {
    testsupport::TcpPeer probe;
    freePort = probe.Port();
  }
  TModbusPort port;
  const std::pair<std::string, std::string> cases[] = {
      {"tcp://127.0.0.1:" + std::to_string(freePort), "refused"},
      {"tcp://no-such-host.invalid:502", "does not resolve"},
      {"tcp://127.0.0.1:0", "not a network address"},
  };
  for (const auto& [name, why] : cases) {
    port.UseNetwork(name);
    const auto start = Clock::now();
    EXPECT_LT(port.Configure(0, 6, 4, 0), 0) << name;
    EXPECT_LE(MsSince(start), TCP_CONNECT_TIMEOUT_MS + 500) << name;
    EXPECT_LT(port.PortIndex, 0) << name;
    EXPECT_NE(LastTcpError().find(why), std::string::npos) << LastTcpError();
    EXPECT_EQ(port.ReadRegisters(1, 7612, 1), MB_PORT_CLOSED);
  }
}

// A server whose queue is full drops connection requests, as one out of reach
// does: the first attempt costs the whole connect time, the next ones only a
// glance at the connection under way, which gets through once there is room.
TEST(TcpPort, ServerDroppingRequestsCostsTheConnectTimeOnce) {
  testsupport::TcpPeer server(0, 0);  // queue of one, never accepted by itself
  std::vector<std::unique_ptr<SerialDevice>> queued;
  long failed = 0;
  for (int i = 0; i < 4 && failed == 0; ++i) {
    const auto start = Clock::now();
    if (auto device = OpenTcpSerialDevice(server.Name())) queued.push_back(std::move(device));
    else failed = MsSince(start);
  }
  EXPECT_GE(failed, TCP_CONNECT_TIMEOUT_MS - 100);
  EXPECT_NE(LastTcpError().find("timed out"), std::string::npos) << LastTcpError();

  queued.clear();
  server.DropQueue();
  std::unique_ptr<SerialDevice> device;
  long slowest = 0;
  for (const auto end = Clock::now() + std::chrono::seconds(15); !device && Clock::now() < end;) {
    const auto attempt = Clock::now();
    device = OpenTcpSerialDevice(server.Name());
    slowest = std::max(slowest, MsSince(attempt));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(device);
  EXPECT_LT(slowest, 500);
}

}  // namespace
