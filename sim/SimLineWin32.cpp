// The simulator's line on Windows: a COM port opened by name.
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>

#include "sim/SimLine.h"

namespace {

std::string LastError(const std::string& what) {
  const DWORD code = GetLastError();
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                 sizeof text, nullptr);
  std::string s = text;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return what + ": " + (s.empty() ? "error " + std::to_string(code) : s);
}

HANDLE H(void* handle) { return static_cast<HANDLE>(handle); }

}  // namespace

SimLine::~SimLine() { Close(); }

bool SimLine::OpenPty(const std::string& linkPath, bool, std::string& error) {
  Close();
  error = "no pseudo-terminals on Windows: serve a COM port (" +
          (linkPath.empty() ? std::string("no link") : linkPath) + " asked for)";
  return false;
}

bool SimLine::OpenDevice(const std::string& path, int mode, int baud, std::string& error) {
  Close();
  if (!SimBaudSupported(baud)) {
    error = "unsupported baud rate " + std::to_string(baud);
    return false;
  }
  // COM10 and up open only through the device namespace; it serves COM1-9 too.
  const std::string name = path.rfind("\\\\.\\", 0) == 0 ? path : "\\\\.\\" + path;
  HANDLE handle =
      CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = LastError("cannot open " + path);
    return false;
  }
  handle_ = handle;
  devicePath_ = path;

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  const SimCharFormat f = SimModeFormat(mode);
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;  // a read returns at once with what has arrived
  timeouts.WriteTotalTimeoutConstant = 50;  // a write that cannot go out ends soon; the rest waits
  if (!GetCommState(handle, &dcb)) {
    error = LastError(path + " is not a serial device");
    Close();
    return false;
  }
  dcb.BaudRate = static_cast<DWORD>(baud);
  dcb.ByteSize = static_cast<BYTE>(f.DataBits);
  dcb.Parity = f.Parity == 'E' ? EVENPARITY : f.Parity == 'O' ? ODDPARITY : NOPARITY;
  dcb.StopBits = f.StopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = f.Parity != 'N';
  dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
  dcb.fOutX = dcb.fInX = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  if (!SetCommState(handle, &dcb) || !SetCommTimeouts(handle, &timeouts)) {
    error = LastError("cannot configure " + path);
    Close();
    return false;
  }
  PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
  return true;
}

void SimLine::Close() {
  if (handle_) CloseHandle(H(handle_));
  handle_ = nullptr;
  devicePath_.clear();
  linkPath_.clear();
}

long SimLine::Read(uint8_t* buffer, size_t size) {
  DWORD got = 0;
  if (!ReadFile(H(handle_), buffer, static_cast<DWORD>(std::min<size_t>(size, 65536)), &got, nullptr))
    return -1;
  return static_cast<long>(got);
}

long SimLine::Write(const uint8_t* bytes, size_t size) {
  DWORD put = 0;
  if (!WriteFile(H(handle_), bytes, static_cast<DWORD>(std::min<size_t>(size, 65536)), &put, nullptr)) {
    return GetLastError() == ERROR_TIMEOUT ? static_cast<long>(put) : -1;
  }
  return static_cast<long>(put);
}

#endif
