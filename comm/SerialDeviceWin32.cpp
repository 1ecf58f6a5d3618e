// The serial port on Windows: the communications functions of the system.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "comm/SerialDevice.h"
#include "comm/SerialDeviceWin32.h"
#include "comm/SerialPlatform.h"

namespace {

class Win32SerialDevice final : public SerialDevice {
public:
  // The timeouts and line settings are read before anything overwrites them:
  // the port's next user gets them back on Close.
  explicit Win32SerialDevice(HANDLE handle) : H(handle) { Capture(); }

  ~Win32SerialDevice() override {
    // Nothing of this session stays in the driver's queues, and the timeouts
    // the system keeps for the port are as they were found.
    PurgeComm(H, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    if (HaveSaved) SetCommTimeouts(H, &SavedTimeouts);
    CloseHandle(H);
  }

  bool SetQueueSizes(uint32_t inBytes, uint32_t outBytes) override { return Check(SetupComm(H, inBytes, outBytes)); }

  bool SetNonBlocking() override {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;  // a read returns at once with what has arrived
    return Check(SetCommTimeouts(H, &t));
  }

  // What was found at open stays the original, whatever has been set since.
  bool SaveOriginal() override { return HaveSaved || Capture(); }

  bool RestoreOriginal() override {
    if (!HaveSaved) return false;
    const bool timeouts = Check(SetCommTimeouts(H, &SavedTimeouts));
    const bool state = Check(SetCommState(H, &SavedState));
    return timeouts && state;
  }

  bool ApplyLineSettings(const std::string& text, bool rtsToggle) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!Check(GetCommState(H, &dcb))) return false;
    if (!BuildCommDCBA(text.c_str(), &dcb)) return false;
    if (rtsToggle) dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    return Check(SetCommState(H, &dcb));
  }

  bool PurgeInput() override { return Check(PurgeComm(H, PURGE_RXCLEAR)); }
  bool PurgeOutput() override { return Check(PurgeComm(H, PURGE_TXCLEAR)); }
  bool SetRts(bool on) override { return Check(EscapeCommFunction(H, on ? SETRTS : CLRRTS)); }
  bool SetDtr(bool on) override { return Check(EscapeCommFunction(H, on ? SETDTR : CLRDTR)); }
  bool ClearBreak() override { return Check(ClearCommBreak(H)); }

  bool GetStatus(TSerialStatus& status) override {
    status = TSerialStatus{};
    DWORD errors = 0;
    COMSTAT stat{};
    if (!Check(ClearCommError(H, &errors, &stat))) return false;
    status.RxOverflow = ((errors | ClearedErrors) & (CE_RXOVER | CE_OVERRUN)) != 0;
    ClearedErrors = 0;
    status.InQueue = stat.cbInQue;
    status.OutQueue = stat.cbOutQue;
    return true;
  }

  // A transfer stopped by a line error is tried once more after the error is
  // cleared.
  long Read(uint8_t* buffer, size_t size) override {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
    for (int attempt = 0; attempt < 2; ++attempt) {
      DWORD got = 0;
      if (ReadFile(H, buffer, want, &got, nullptr)) return static_cast<long>(got);
      if (!Recover()) return -1;
    }
    return -1;
  }

  long Write(const uint8_t* data, size_t size) override {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
    for (int attempt = 0; attempt < 2; ++attempt) {
      DWORD put = 0;
      if (WriteFile(H, data, want, &put, nullptr)) return static_cast<long>(put);
      if (!Recover()) return -1;
    }
    return -1;
  }

  // The line status register is out of reach of a program on this system.
  int TransmitterEmpty() override { return -1; }

  bool Drain() override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    TSerialStatus status;
    while (GetStatus(status) && status.OutQueue != 0) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return !Gone;
  }

  bool Lost() const override { return Gone; }

private:
  bool Capture() {
    SavedState.DCBlength = sizeof SavedState;
    HaveSaved = GetCommTimeouts(H, &SavedTimeouts) && GetCommState(H, &SavedState);
    return HaveSaved;
  }

  // Sorts out the failure of the last call (its reason in GetLastError()).
  // With fAbortOnError set the driver refuses every transfer after a framing,
  // parity or overrun error until the error is cleared: that is a line error,
  // not a lost device; it is cleared here and true returned, so the transfer
  // can be repeated. Errors after which the handle stays useless mean the
  // device was removed.
  bool Recover() {
    DWORD e = GetLastError();
    if (e == ERROR_OPERATION_ABORTED) {
      DWORD errors = 0;
      COMSTAT stat{};
      if (ClearCommError(H, &errors, &stat)) {
        ClearedErrors |= errors;
        return true;
      }
      e = GetLastError();
    }
    if (e == ERROR_ACCESS_DENIED || e == ERROR_BAD_COMMAND || e == ERROR_DEVICE_REMOVED || e == ERROR_GEN_FAILURE ||
        e == ERROR_INVALID_HANDLE || e == ERROR_FILE_NOT_FOUND)
      Gone = true;
    return false;
  }

  bool Check(BOOL ok) {
    if (!ok) Recover();
    return ok != FALSE;
  }

  HANDLE H;
  bool Gone = false;
  bool HaveSaved = false;
  DWORD ClearedErrors = 0;  // line errors cleared since the last GetStatus
  DCB SavedState{};
  COMMTIMEOUTS SavedTimeouts{};
};

thread_local TSerialOpenError lastOpenError = TSerialOpenError::None;

}  // namespace

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& name) {
  // The device namespace form also reaches COM10 and above.
  const std::string path = "\\\\.\\" + name;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    // Windows refuses a port another program holds with "access denied".
    const DWORD e = GetLastError();
    lastOpenError = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? TSerialOpenError::NotFound
                    : e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION ? TSerialOpenError::InUse
                                                                                : TSerialOpenError::Other;
    return nullptr;
  }
  lastOpenError = TSerialOpenError::None;
  return MakeWin32SerialDevice(h);
}

std::unique_ptr<SerialDevice> MakeWin32SerialDevice(void* handle) {
  return std::make_unique<Win32SerialDevice>(static_cast<HANDLE>(handle));
}

// Windows names its ports itself: no file in the working directory stands in.
bool SerialPortFileExists(const std::string&) { return false; }

TSerialOpenError LastSerialOpenError() { return lastOpenError; }
void SetLastSerialOpenError(TSerialOpenError error) { lastOpenError = error; }

std::string ResolveSerialDeviceName(const std::string& name) {
  char target[1024];
  if (QueryDosDeviceA(name.c_str(), target, sizeof target) == 0) return {};
  return target;
}

int QuerySerialPlatform() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  const BOOL ok = GetVersionExA(&info);
#if defined(__GNUC__) && !defined(_MSC_VER)
#pragma GCC diagnostic pop
#endif
  if (!ok) return 0;
  if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return 1;
  if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) return 2;
  return 0;
}
