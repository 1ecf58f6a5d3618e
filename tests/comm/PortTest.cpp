// TModbusPort against an in-memory serial device: settings, write paths,
// ring handling, time-outs and recovery of a lost device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "comm/ModbusFrame.h"
#include "comm/Trans.h"
#ifndef _WIN32
#include "tests/support/PtyTools.h"  // a working directory of its own for a port's file
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// What the fake device saw and what it has to offer; outlives the devices.
struct FakeLine {
  bool Present = true;  // the opener finds the device
  int Opens = 0;
  std::deque<uint8_t> Incoming;
  Bytes Written;
  std::vector<std::string> Log;  // calls in order, e.g. "rts1", "write", "settings:9600,N,8,1"
  bool Overflow = false;
  bool Gone = false;  // the current device has failed for good
  // The far end: bytes to answer a write with.
  std::function<Bytes(const Bytes&)> Answer;
};

class FakeDevice : public SerialDevice {
public:
  explicit FakeDevice(std::shared_ptr<FakeLine> line) : L(std::move(line)) {}
  bool SetQueueSizes(uint32_t, uint32_t) override { return true; }
  bool SetNonBlocking() override { return true; }
  bool SaveOriginal() override { return true; }
  bool RestoreOriginal() override { return Note("restore"); }
  bool ApplyLineSettings(const std::string& text, bool) override { return Note("settings:" + text); }
  bool PurgeInput() override {
    L->Incoming.clear();
    return Note("purge-in");
  }
  bool PurgeOutput() override { return Note("purge-out"); }
  bool SetRts(bool on) override { return Note(on ? "rts1" : "rts0"); }
  bool SetDtr(bool on) override { return Note(on ? "dtr1" : "dtr0"); }
  bool ClearBreak() override { return true; }
  bool GetStatus(TSerialStatus& s) override {
    if (L->Gone) return false;
    s = TSerialStatus{};
    s.RxOverflow = L->Overflow;
    s.InQueue = static_cast<uint32_t>(L->Incoming.size());
    return true;
  }
  long Read(uint8_t* buffer, size_t size) override {
    if (L->Gone) return -1;
    size_t n = 0;
    while (n < size && !L->Incoming.empty()) {
      buffer[n++] = L->Incoming.front();
      L->Incoming.pop_front();
    }
    return static_cast<long>(n);
  }
  long Write(const uint8_t* data, size_t size) override {
    if (L->Gone) return -1;
    Note("write");
    const Bytes frame(data, data + size);
    L->Written.insert(L->Written.end(), frame.begin(), frame.end());
    if (L->Answer) {
      const Bytes reply = L->Answer(frame);
      L->Incoming.insert(L->Incoming.end(), reply.begin(), reply.end());
    }
    return static_cast<long>(size);
  }
  int TransmitterEmpty() override { return 1; }
  bool Drain() override { return true; }
  bool Lost() const override { return L->Gone; }

private:
  bool Note(const std::string& what) {
    L->Log.push_back(what);
    return true;
  }
  std::shared_ptr<FakeLine> L;
};

class Port : public ::testing::Test {
protected:
  std::shared_ptr<FakeLine> Line = std::make_shared<FakeLine>();
  std::vector<std::string> OpenedNames;
  TModbusPort P{[this](const std::string& name) -> std::unique_ptr<SerialDevice> {
    OpenedNames.push_back(name);
    if (!Line->Present) return nullptr;
    ++Line->Opens;
    Line->Gone = false;
    return std::make_unique<FakeDevice>(Line);
  }};

  bool Logged(const std::string& what) const {
    return std::find(Line->Log.begin(), Line->Log.end(), what) != Line->Log.end();
  }
  void Incoming(const Bytes& b) { Line->Incoming.insert(Line->Incoming.end(), b.begin(), b.end()); }
};

Bytes Rtu(const Bytes& pdu) {
  uint8_t out[300];
  const int n = modbus::BuildRtuFrame(pdu.data(), static_cast<int>(pdu.size()), out, sizeof out);
  return Bytes(out, out + n);
}

TEST_F(Port, OpenAndCloseReportThePortIndex) {
  EXPECT_EQ(P.Close(), -1);  // nothing was open
  EXPECT_EQ(P.Open(2), 2);
  EXPECT_EQ(OpenedNames, std::vector<std::string>{"COM3"});
  EXPECT_TRUE(Logged("settings:9600,N,8,1"));
  EXPECT_EQ(P.Open(2), 2);  // already open: untouched
  EXPECT_EQ(Line->Opens, 1);
  EXPECT_EQ(P.Close(), -100);
  EXPECT_TRUE(Logged("restore"));
  EXPECT_FALSE(P.Handle);

  Line->Present = false;
  EXPECT_EQ(P.Open(0), -1);
  EXPECT_EQ(P.PortIndex, -1);
  EXPECT_EQ(P.ReadRegisters(1, 7500, 34), MB_PORT_CLOSED);
  EXPECT_EQ(P.ReadRegistersWait(1, 7500, 34), MB_PORT_CLOSED);
  const int16_t v = 1;
  P.AppendValue('i', &v);
  EXPECT_EQ(P.WriteRegister(1, 4000), MB_PORT_CLOSED);
}

TEST_F(Port, OpenTakesAnyPortIndexFromTheSettingsFile) {
  // The stored port index reaches Open unchecked; the largest int must still
  // give a sensible device name rather than an overflow.
  Line->Present = false;
  EXPECT_EQ(P.Open(2147483647), -1);
  ASSERT_EQ(OpenedNames.size(), 1u);
  EXPECT_EQ(OpenedNames[0], "COM2147483648");
  EXPECT_EQ(P.Open(-5), -1);
  EXPECT_EQ(P.PortIndex, -1);
}

TEST_F(Port, ConfigureChangesOnlyWhatIsInRange) {
  EXPECT_EQ(P.ReplyTimeout, 800u);
  ASSERT_EQ(P.Configure(0, 3, 3, 1), 0);
  EXPECT_STREQ(P.LineSettingsText, "2400,N,8,2");
  EXPECT_TRUE(Logged("settings:2400,N,8,2"));
  EXPECT_EQ(P.IoBase, 0x3F8);

  // A pending transaction and unread bytes are forgotten even when nothing changes.
  ASSERT_EQ(P.ReadRegisters(1, 7500, 34), MB_PENDING);
  Incoming({1, 2, 3});
  P.ReadInput();
  Line->Log.clear();
  EXPECT_EQ(P.Configure(-1, -1, -1, -1), 0);
  int port, baud, mode, link, io;
  P.GetSettings(port, baud, mode, link, io);
  EXPECT_EQ(port, 0);
  EXPECT_EQ(baud, 3);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(link, 1);
  EXPECT_EQ(io, 0x3F8);
  EXPECT_EQ(P.State, 0);
  EXPECT_EQ(P.RingRead, 0);
  EXPECT_EQ(P.RingWrite, 0);
  EXPECT_EQ(Line->Log, (std::vector<std::string>{"settings:2400,N,8,2", "rts0"}));
  EXPECT_EQ(Line->Opens, 1);

  // Settings given with a port that cannot be opened are kept for later.
  Line->Present = false;
  EXPECT_EQ(P.Configure(6, 5, 6, 0), -1);
  EXPECT_STREQ(P.LineSettingsText, "9600,N,8,1");
  EXPECT_EQ(P.IoBase, -1);
}

// Bits per character of each mode, as the line carries them.
int Bits(int mode) {
  const int bits[] = {10, 10, 10, 11, 11, 11, 10};
  return bits[mode];
}

TEST_F(Port, ReplyTimeoutCoversTheLongestReplyOnSlowLines) {
  // The read of 34 four-byte registers: request and reply on the line.
  const int asciiChars = 17 + 283, rtuChars = 8 + 141;
  const long rates[] = {300, 600, 1200, 2400, 4800, 9600, 19200};
  for (int baud = 0; baud < 7; ++baud) {
    for (int mode = 0; mode < 7; ++mode) {
      P.Configure(-1, baud, mode, -1);
      const long chars = mode >= 3 ? rtuChars : asciiChars;
      const long lineMs = chars * Bits(mode) * 1000 / rates[baud];
      EXPECT_GE(static_cast<long>(P.ReplyTimeout), lineMs + 300) << "baud " << baud << " mode " << mode;
    }
  }
  P.Configure(-1, 0, 0, -1);
  EXPECT_EQ(P.ReplyTimeout, 10400u);  // 300 bit/s ASCII: 10 s of line time
  P.Configure(-1, 0, 4, -1);
  EXPECT_EQ(P.ReplyTimeout, 5864u);  // 300 bit/s RTU with parity
  P.Configure(-1, 1, 1, -1);
  EXPECT_EQ(P.ReplyTimeout, 5400u);  // 600 bit/s ASCII
  // Where the line leaves room, the table stands.
  P.Configure(-1, 1, 4, -1);
  EXPECT_EQ(P.ReplyTimeout, 5000u);
  P.Configure(-1, 4, 1, -1);
  EXPECT_EQ(P.ReplyTimeout, 1100u);
  P.Configure(-1, 5, 0, -1);
  EXPECT_EQ(P.ReplyTimeout, 1000u);
  P.Configure(-1, 6, 6, -1);
  EXPECT_EQ(P.ReplyTimeout, 1000u);
}

TEST_F(Port, SendTakesThePathOfTheLinkType) {
  const Bytes frame = {1, 2, 3};
  ASSERT_EQ(P.Configure(0, 5, 4, 0), 0);
  Line->Log.clear();
  EXPECT_EQ(P.Send(frame.data(), 3), 3);
  EXPECT_EQ(Line->Log, (std::vector<std::string>{"purge-in", "purge-out", "write"}));

  // Converter: RTS up around the write, back down afterwards, where the
  // driver does not switch RTS by itself (Windows NT does).
  P.Configure(-1, -1, -1, 1);
  P.Platform = 0;
  Line->Log.clear();
  EXPECT_EQ(P.Send(frame.data(), 3), 3);
  EXPECT_EQ(Line->Log, (std::vector<std::string>{"purge-in", "purge-out", "rts1", "write", "rts0"}));

  // Converter on a port without a UART address, or a reserved link type: nothing goes out.
  for (int link : {2, 5, 9}) {
    P.Configure(-1, -1, -1, link);
    EXPECT_EQ(P.Send(frame.data(), 3), 0);
  }
  ASSERT_EQ(P.Configure(5, -1, -1, 1), 5);
  P.Platform = 2;
  Line->Written.clear();
  EXPECT_EQ(P.Send(frame.data(), 3), 0);
  EXPECT_TRUE(Line->Written.empty());
}

// A converter that never reports its queue or transmitter empty holds the
// write only for about the frame's line time.
TEST_F(Port, ConverterWaitsAreBounded) {
  class StuckDevice : public FakeDevice {
  public:
    using FakeDevice::FakeDevice;
    bool GetStatus(TSerialStatus& s) override {
      s = TSerialStatus{};
      s.OutQueue = 17;
      return true;
    }
    int TransmitterEmpty() override { return 0; }
  };
  TModbusPort port([this](const std::string&) { return std::make_unique<StuckDevice>(Line); });
  ASSERT_EQ(port.Configure(0, 5, 1, 1), 0);  // 9600 bit/s: 17 characters take 18 ms
  port.Platform = 0;                          // RTS switched by the program
  const Bytes frame(17, 'A');
  Line->Log.clear();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Send(frame.data(), 17), 17);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_GE(ms.count(), 18);
  EXPECT_LT(ms.count(), 1000);
  EXPECT_EQ(Line->Log.back(), "rts0");
}

TEST_F(Port, ReadInputFillsTheRingAndDropsOverflowedInput) {
  ASSERT_EQ(P.Open(0), 0);
  Bytes burst(1500);
  for (size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<uint8_t>(i % 251);
  Incoming(burst);
  EXPECT_EQ(P.ReadInput(), 1500);
  // No full test: the newest bytes overwrite the oldest unread ones.
  EXPECT_EQ(P.RingWrite, 1500 % RING_SIZE);
  for (int k = 0; k < RING_SIZE; ++k) {
    const size_t i = burst.size() - RING_SIZE + static_cast<size_t>(k);
    ASSERT_EQ(P.Ring[(static_cast<int>(i)) % RING_SIZE], burst[i]);
  }

  const int before = P.RingWrite;
  Line->Overflow = true;
  Incoming({9, 9, 9});
  EXPECT_EQ(P.ReadInput(), 0);
  EXPECT_EQ(P.RingWrite, before);
  EXPECT_TRUE(Line->Incoming.empty());
}

TEST_F(Port, TimeoutCountsFromTheFirstPollAcrossTickWrap) {
  ASSERT_EQ(P.Configure(0, 6, 4, 0), 0);
  P.ReplyTimeout = 1000;
  ASSERT_EQ(P.ReadRegisters(1, 7500, 34), MB_PENDING);
  EXPECT_EQ(P.Reply.StartTick, 0u);  // not started until the first poll
  EXPECT_EQ(P.PollReply(), -1);
  EXPECT_NE(P.Reply.StartTick, 0u);
  // 900 ms ago: not yet; a start tick "ahead" of now means the counter wrapped
  // since, so the time-out is long past.
  P.Reply.StartTick = GetTickCount32() - 900;
  EXPECT_EQ(P.PollReply(), -1);
  Incoming({0x55});
  P.Reply.StartTick = GetTickCount32() + 1000000;
  EXPECT_EQ(P.ReadRegisters(1, 7500, 34), MB_NO_REPLY);
  EXPECT_EQ(P.RingRead, 0);
  EXPECT_EQ(P.RingWrite, 0);
}

TEST_F(Port, ReadRegistersMatchesTheReplyToItsOwnRequest) {
  ASSERT_EQ(P.Configure(0, 6, 4, 0), 0);
  EXPECT_EQ(P.ReadRegisters(0, 7500, 34), MB_BAD_REQUEST);
  EXPECT_TRUE(Line->Written.empty());
  Line->Answer = [](const Bytes& request) {
    // Four bytes of data whatever count was asked for; the count is not compared.
    return Rtu({request[0], 3, 4, 0x3F, 0x80, 0, 0});
  };
  ASSERT_EQ(P.ReadRegisters(1, 7500, 34), MB_PENDING);
  EXPECT_EQ(P.ReadRegisters(1, 7500, 34), 3);
  float f = 0;
  P.TakeValue('f', &f);
  EXPECT_EQ(f, 1.0f);
  ASSERT_EQ(P.ReadRegisters(1, 7500, 34), MB_PENDING);
  EXPECT_EQ(P.ReadRegisters(1, 7612, 6), MB_NO_REPLY);  // collected under another register
}

TEST_F(Port, WriteRegisterSendsTheAppendedValueOnce) {
  ASSERT_EQ(P.Configure(0, 6, 1, 0), 0);  // ASCII
  Line->Answer = [](const Bytes& request) { return request; };
  EXPECT_EQ(P.WriteRegister(1, 4000), MB_BAD_REQUEST);
  const int16_t v = 0x1234;
  ASSERT_EQ(P.AppendValue('i', &v), 0);
  EXPECT_EQ(P.WriteRegister(1, 4000), 6);
  const std::string sent(Line->Written.begin(), Line->Written.end());
  EXPECT_EQ(sent, ":01060FA0123404\r\n");
  EXPECT_EQ(P.WriteRegister(1, 4000), MB_BAD_REQUEST);

  // A request whose frame would not fit the transmit buffer is refused unsent,
  // and its data does not linger for the next write.
  Line->Written.clear();
  const int32_t l = 0;
  for (int k = 0; k < 11; ++k) ASSERT_EQ(P.AppendValue('l', &l), 0);  // 44 bytes + 4 header > 47
  EXPECT_EQ(P.WriteRegister(1, 4000), MB_BAD_REQUEST);
  EXPECT_TRUE(Line->Written.empty());
  EXPECT_EQ(P.WriteRegister(1, 4000), MB_BAD_REQUEST);
  // The same request fits an RTU frame.
  P.Configure(-1, -1, 4, -1);
  Line->Answer = [](const Bytes& request) { return Rtu(Bytes(request.begin(), request.begin() + 6)); };
  for (int k = 0; k < 11; ++k) ASSERT_EQ(P.AppendValue('l', &l), 0);
  EXPECT_EQ(P.WriteRegister(1, 4000), 6);
  EXPECT_EQ(Line->Written.size(), 4u + 44u + 2u);
}

TEST_F(Port, LostDeviceIsReopenedByNameAtMostOnceASecond) {
  ASSERT_EQ(P.Configure(1, 6, 4, 0), 1);
  P.ReplyTimeout = 50;
  Line->Answer = [](const Bytes& request) { return Rtu({request[0], 3, 2, 0, 7}); };
  ASSERT_EQ(P.ReadRegistersWait(1, 7612, 1), 3);

  Line->Gone = true;
  Line->Present = false;
  const auto start = std::chrono::steady_clock::now();
  int failures = 0;
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1500)) {
    if (P.ReadRegistersWait(1, 7612, 1) == MB_NO_REPLY) ++failures;
  }
  EXPECT_GT(failures, 3);
  EXPECT_FALSE(P.Handle);
  EXPECT_EQ(P.PortIndex, 1);
  const size_t attempts = OpenedNames.size() - 1;
  EXPECT_GE(attempts, 1u);
  EXPECT_LE(attempts, 2u);

  // Back under the same name: reopened with the settings in force.
  Line->Present = true;
  Line->Log.clear();
  int r = MB_NO_REPLY;
  for (int k = 0; k < 100 && r != 3; ++k) r = P.ReadRegistersWait(1, 7612, 1);
  ASSERT_EQ(r, 3);
  EXPECT_EQ(OpenedNames.back(), "COM2");
  EXPECT_TRUE(Logged("settings:19200,E,8,1"));
  EXPECT_EQ(P.Close(), -100);
}

// A port that is not there yet (an adapter plugged in later, a server that
// starts late) is tried again, backed off, and gets the settings in force.
TEST_F(Port, PortThatDidNotOpenIsTriedAgainBackedOff) {
  Line->Present = false;
  ASSERT_EQ(P.Configure(2, 6, 4, 0), -1);
  EXPECT_EQ(P.WantedName(), "COM3");
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1600)) {
    EXPECT_FALSE(P.RetryOpen());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Half a second, then a second: two more attempts, not one per call.
  EXPECT_GE(OpenedNames.size(), 2u);
  EXPECT_LE(OpenedNames.size(), 3u);

  Line->Present = true;
  const auto appeared = std::chrono::steady_clock::now();
  while (!P.RetryOpen() && std::chrono::steady_clock::now() - appeared < std::chrono::seconds(8))
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(P.PortIndex, 2);
  EXPECT_LE(std::chrono::steady_clock::now() - appeared,
            std::chrono::milliseconds(TModbusPort::PORT_RETRY_MAX_MS + 1000));
  EXPECT_TRUE(Logged("settings:19200,E,8,1"));
  EXPECT_EQ(OpenedNames.back(), "COM3");

  // A port closed on purpose stays closed.
  P.Close();
  Line->Present = true;
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_FALSE(P.RetryOpen());
  EXPECT_LT(P.PortIndex, 0);
}

#ifndef _WIN32
// Port files in the working directory exist on POSIX only.
TEST_F(Port, PortOpenedThroughItsFileIsReopenedOnlyThroughIt) {
  testsupport::ComDirectory dir;  // the working directory for the test's length
  // How the port is named: by its index, by a name opened under index 0 as a
  // gateway line does, and a server opened while a stale COM1 file is about.
  struct Case {
    const char* Device;
    int Index;
    const char* File;
    bool ReopensWithoutFile;
  };
  for (const Case& c : {Case{"", 1, "COM2", false}, Case{"COM2", 0, "COM2", false},
                        Case{"tcp://server:502", 0, "COM1", true}}) {
    SCOPED_TRACE(std::string("device '") + c.Device + "' index " + std::to_string(c.Index));
    const std::string file = dir.Path() + "/" + c.File;
    { std::ofstream(file) << "adapter"; }
    P.UseDevice(c.Device);
    Line->Opens = 0;
    Line->Gone = false;
    ASSERT_EQ(P.Configure(c.Index, 6, 4, 0), c.Index);
    P.ReplyTimeout = 50;
    Line->Answer = [](const Bytes& request) { return Rtu({request[0], 3, 2, 0, 7}); };
    ASSERT_EQ(P.ReadRegistersWait(1, 7612, 1), 3);
    const std::string opened = OpenedNames.back();
    EXPECT_EQ(opened, *c.Device ? c.Device : c.File);

    // Unplugged: the file vanishes with the device. The same number must not
    // come back as the machine's own serial port; a server has no file.
    Line->Gone = true;
    std::remove(file.c_str());
    int r = MB_NO_REPLY;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1300) && r != 3)
      r = P.ReadRegistersWait(1, 7612, 1);
    EXPECT_EQ(r == 3, c.ReopensWithoutFile);
    EXPECT_EQ(Line->Opens, c.ReopensWithoutFile ? 2 : 1);

    { std::ofstream(file) << "adapter"; }
    for (int k = 0; k < 100 && r != 3; ++k) r = P.ReadRegistersWait(1, 7612, 1);
    EXPECT_EQ(r, 3);
    EXPECT_EQ(OpenedNames.back(), opened);
    P.Close();
    std::remove(file.c_str());
  }
}
#endif

}  // namespace
