// The Win32 serial layer on a real communications device, run under Wine:
// what the port is left with on Close, and a transfer aborted by the driver.
//
// KAVREL_TEST_PORT names a Wine COM port mapped to /dev/ptmx (tests/wine sets
// it up): every open makes a pseudo-terminal of its own, whose slave side
// echoes what is written until its line settings are first changed. A second
// handle of the same open port watches what the layer does to it.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "comm/SerialDeviceWin32.h"
#include "comm/Trans.h"

namespace {

using namespace std::chrono_literals;

class Win32Port : public ::testing::Test {
protected:
  void SetUp() override {
    const char* name = std::getenv("KAVREL_TEST_PORT");
    if (name == nullptr) GTEST_SKIP() << "KAVREL_TEST_PORT names no Wine COM port";
    const std::string path = std::string("\\\\.\\") + name;
    Watch = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(Watch, INVALID_HANDLE_VALUE) << name << " does not open, error " << GetLastError();
  }
  void TearDown() override {
    if (Watch != INVALID_HANDLE_VALUE) CloseHandle(Watch);
  }

  // A device of the layer on the port the test watches.
  std::unique_ptr<SerialDevice> Device() {
    HANDLE copy = INVALID_HANDLE_VALUE;
    EXPECT_TRUE(DuplicateHandle(GetCurrentProcess(), Watch, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    return MakeWin32SerialDevice(copy);
  }

  COMMTIMEOUTS Timeouts() {
    COMMTIMEOUTS t{};
    EXPECT_TRUE(GetCommTimeouts(Watch, &t));
    return t;
  }
  DCB State() {
    DCB d{};
    d.DCBlength = sizeof d;
    EXPECT_TRUE(GetCommState(Watch, &d));
    return d;
  }
  DWORD InQueue() {
    DWORD errors = 0;
    COMSTAT stat{};
    EXPECT_TRUE(ClearCommError(Watch, &errors, &stat));
    return stat.cbInQue;
  }
  // Writes through the watching handle; the echo comes back as input.
  void Echo(const char* text) {
    DWORD put = 0;
    ASSERT_TRUE(WriteFile(Watch, text, static_cast<DWORD>(strlen(text)), &put, nullptr));
    ASSERT_EQ(put, strlen(text));
  }
  bool WaitInQueue(DWORD count) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (InQueue() != count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

  HANDLE Watch = INVALID_HANDLE_VALUE;
};

bool SameTimeouts(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b) {
  return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
         a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
         a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
         a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
         a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

// Another program's timeouts and line settings, as the port link finds them.
constexpr COMMTIMEOUTS Foreign{20, 3, 1500, 2, 700};

TEST_F(Win32Port, TheTimeoutsAndLineSettingsFoundAreWhatCloseLeaves) {
  DCB foreign = State();
  ASSERT_TRUE(BuildCommDCBA("2400,N,8,2", &foreign));
  ASSERT_TRUE(SetCommState(Watch, &foreign));
  COMMTIMEOUTS original = Foreign;
  ASSERT_TRUE(SetCommTimeouts(Watch, &original));

  TModbusPort port([this](const std::string&) { return Device(); });
  ASSERT_EQ(port.Open(0), 0);
  port.Configure(0, 6, 6, 0);  // 19200 bit/s RTU
  EXPECT_EQ(Timeouts().ReadIntervalTimeout, MAXDWORD);  // the link reads without waiting
  EXPECT_EQ(State().BaudRate, 19200u);
  // Modem lines do not exist on a pseudo-terminal: the call fails with
  // ERROR_NOT_SUPPORTED and the device stays usable.
  EXPECT_FALSE(port.Handle->SetRts(true));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_FALSE(port.Handle->Lost());
  // The device being set up again keeps the first originals.
  EXPECT_TRUE(port.Handle->SaveOriginal());
  EXPECT_EQ(port.Close(), -100);
  EXPECT_TRUE(SameTimeouts(Timeouts(), Foreign));
  const DCB back = State();
  EXPECT_EQ(back.BaudRate, 2400u);
  EXPECT_EQ(back.StopBits, TWOSTOPBITS);  // a pseudo-terminal keeps no parity or character size

  // A device dropped without RestoreOriginal (one found unplugged) still puts
  // the timeouts back.
  auto device = Device();
  ASSERT_TRUE(device->SetNonBlocking());
  ASSERT_TRUE(device->SaveOriginal());
  device.reset();
  EXPECT_TRUE(SameTimeouts(Timeouts(), Foreign));
}

TEST_F(Win32Port, CloseLeavesNoInputBehind) {
  auto device = Device();
  Echo("left over");
  ASSERT_TRUE(WaitInQueue(9)) << "no echo from the pseudo-terminal";
  TSerialStatus status;
  ASSERT_TRUE(device->GetStatus(status));
  EXPECT_EQ(status.InQueue, 9u);
  device.reset();
  EXPECT_EQ(InQueue(), 0u);
}

// With fAbortOnError set the driver fails every read and write with
// ERROR_OPERATION_ABORTED after a framing, parity or overrun error, until
// ClearCommError is called. Wine raises no line errors on a pseudo-terminal,
// so that driver is modelled in front of the system's ReadFile, WriteFile and
// ClearCommError (through the program's import table); the calls that get
// through reach the Wine COM port.
struct AbortOnError {
  static inline bool Pending = false;  // a line error not yet cleared
  static inline int Refused = 0;       // transfers refused because of it
  static inline decltype(&ReadFile) RealRead = nullptr;
  static inline decltype(&WriteFile) RealWrite = nullptr;
  static inline decltype(&ClearCommError) RealClear = nullptr;

  static BOOL WINAPI Read(HANDLE h, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED o) {
    if (Pending) return Refuse();
    return RealRead(h, buffer, size, got, o);
  }
  static BOOL WINAPI Write(HANDLE h, LPCVOID data, DWORD size, LPDWORD put, LPOVERLAPPED o) {
    if (Pending) return Refuse();
    return RealWrite(h, data, size, put, o);
  }
  static BOOL WINAPI Clear(HANDLE h, LPDWORD errors, LPCOMSTAT stat) {
    const BOOL ok = RealClear(h, errors, stat);
    if (ok && Pending && errors) *errors |= CE_FRAME | CE_OVERRUN;
    if (ok) Pending = false;
    return ok;
  }
  static BOOL Refuse() {
    ++Refused;
    SetLastError(ERROR_OPERATION_ABORTED);
    return FALSE;
  }
};

}  // namespace

extern "C" {
extern decltype(&ReadFile) __imp_ReadFile;
extern decltype(&WriteFile) __imp_WriteFile;
extern decltype(&ClearCommError) __imp_ClearCommError;
}

namespace {

template <class F>
void Replace(F& slot, F with, F& real) {
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(&slot, sizeof slot, PAGE_READWRITE, &old));
  real = slot;
  slot = with;
  VirtualProtect(&slot, sizeof slot, old, &old);
}

class Win32PortAbortOnError : public Win32Port {
protected:
  void SetUp() override {
    Win32Port::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Replace(__imp_ReadFile, &AbortOnError::Read, AbortOnError::RealRead);
    Replace(__imp_WriteFile, &AbortOnError::Write, AbortOnError::RealWrite);
    Replace(__imp_ClearCommError, &AbortOnError::Clear, AbortOnError::RealClear);
  }
  void TearDown() override {
    decltype(&ReadFile) r;
    decltype(&WriteFile) w;
    decltype(&ClearCommError) c;
    if (AbortOnError::RealRead) Replace(__imp_ReadFile, AbortOnError::RealRead, r);
    if (AbortOnError::RealWrite) Replace(__imp_WriteFile, AbortOnError::RealWrite, w);
    if (AbortOnError::RealClear) Replace(__imp_ClearCommError, AbortOnError::RealClear, c);
    AbortOnError::Pending = false;
    Win32Port::TearDown();
  }
};

TEST_F(Win32PortAbortOnError, ALineErrorIsClearedAndTheTransferRepeatedNotTakenForAnUnpluggedDevice) {
  auto device = Device();
  ASSERT_TRUE(device->SetNonBlocking());
  Echo("ok");
  ASSERT_TRUE(WaitInQueue(2));

  AbortOnError::Pending = true;
  uint8_t buffer[16] = {};
  EXPECT_EQ(device->Read(buffer, sizeof buffer), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 2), "ok");
  EXPECT_EQ(AbortOnError::Refused, 1);
  EXPECT_FALSE(device->Lost());
  // What was cleared is reported once as lost input, then the line is clean.
  TSerialStatus status;
  ASSERT_TRUE(device->GetStatus(status));
  EXPECT_TRUE(status.RxOverflow);
  ASSERT_TRUE(device->GetStatus(status));
  EXPECT_FALSE(status.RxOverflow);

  AbortOnError::Pending = true;
  const uint8_t frame[] = {':', '0', '1'};
  EXPECT_EQ(device->Write(frame, sizeof frame), 3);
  EXPECT_EQ(AbortOnError::Refused, 2);
  EXPECT_FALSE(device->Lost());
  EXPECT_TRUE(WaitInQueue(3));  // the frame went out (and echoed back)
}

}  // namespace
