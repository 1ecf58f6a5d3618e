// The operating system's serial port, behind a small interface so the Modbus
// master runs unchanged on POSIX (termios) and Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct TSerialStatus {
  bool RxOverflow = false;  // the input queue overflowed since the last query
  uint32_t InQueue = 0;     // bytes waiting to be read
  uint32_t OutQueue = 0;    // bytes not yet transmitted
};

class SerialDevice {
public:
  virtual ~SerialDevice() = default;

  virtual bool SetQueueSizes(uint32_t inBytes, uint32_t outBytes) = 0;
  // Reads return at once with whatever has arrived.
  virtual bool SetNonBlocking() = 0;
  // Remembers the settings found at open so RestoreOriginal can put them back.
  virtual bool SaveOriginal() = 0;
  virtual bool RestoreOriginal() = 0;
  // Line settings from a text such as "19200,E,8,1" (baud, parity N/E/O, data bits, stop bits).
  // With rtsToggle the driver raises RTS itself while transmitting, where it can.
  virtual bool ApplyLineSettings(const std::string& text, bool rtsToggle) = 0;
  virtual bool PurgeInput() = 0;
  virtual bool PurgeOutput() = 0;
  virtual bool SetRts(bool on) = 0;
  virtual bool SetDtr(bool on) = 0;
  virtual bool ClearBreak() = 0;
  // Error flags and queue counts; false when the device cannot be queried.
  virtual bool GetStatus(TSerialStatus& status) = 0;
  // Returns bytes read (0 when nothing waits), -1 on failure.
  virtual long Read(uint8_t* buffer, size_t size) = 0;
  // Returns bytes written, -1 on failure.
  virtual long Write(const uint8_t* data, size_t size) = 0;
  // UART transmitter empty: 1 yes, 0 no, -1 the device cannot tell.
  virtual int TransmitterEmpty() = 0;
  // Waits until everything written has left the driver (bounded by the implementation).
  virtual bool Drain() = 0;
  // True once the device has failed for good (an unplugged USB adapter).
  virtual bool Lost() const = 0;
};

// Opens the port named "COM<n>"; nullptr when it cannot be opened.
// On POSIX a file "COM<n>" in the current working directory is used when it
// exists (usually a symlink to /dev/ttyUSB0 or a pseudo-terminal), else /dev/ttyS<n-1>.
std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& name);

// Why the last OpenSerialDevice of this thread returned nullptr, so that the
// user can be told what to fix (on Linux most often: not in the dialout group).
enum class TSerialOpenError { None, NotFound, NoPermission, InUse, NotASerialPort, Other };
TSerialOpenError LastSerialOpenError();
// Clears the reason before an attempt, or records one from another opener.
void SetLastSerialOpenError(TSerialOpenError error);

// The file a port name resolves to on this machine, for showing to the user
// (e.g. "/dev/ttyUSB0"); empty when nothing exists under that name.
std::string ResolveSerialDeviceName(const std::string& name);

// True when the port name is served by a file of that name in the working
// directory (POSIX, "COM<n>"; a dangling link counts). A port opened through
// such a file is reopened only through it, never as /dev/ttyS<n-1>.
bool SerialPortFileExists(const std::string& name);
