// The simulator's end of the line: a pseudo-terminal whose other end is
// reachable through a link (such as "COM1" in the working directory), or a
// real serial device. On Windows only the serial device: a COM port, whose
// far end is a null-modem cable or a paired port (the GUI tests under Wine
// use pseudo-terminals joined on the Linux side, tests/wine/com_pairs.py).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Character format of a transmission mode 0-6: data bits, parity ('N', 'E',
// 'O') and stop bits; the text such as "N,8,1".
struct SimCharFormat {
  int DataBits;
  char Parity;
  int StopBits;
};
SimCharFormat SimModeFormat(int mode);
std::string SimModeText(int mode);
// Baud rates the meters support: 300, 600, 1200, 2400, 4800, 9600, 19200.
bool SimBaudSupported(int baud);

class SimLine {
public:
  SimLine() = default;
  ~SimLine();
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  // Creates a pseudo-terminal and links linkPath to its far end. An existing
  // linkPath is replaced only when it is a dangling link left by an earlier
  // run, or with `force` when it is a symbolic link; anything else is refused.
  bool OpenPty(const std::string& linkPath, bool force, std::string& error);
  // Opens a serial device (e.g. /dev/ttyUSB0, or COM3 on Windows) with the
  // baud rate and character format of `mode`.
  bool OpenDevice(const std::string& path, int mode, int baud, std::string& error);
  // Closes the line and removes the link when it still is ours.
  void Close();

  // Without waiting: what has arrived (> 0 bytes, 0 nothing yet) or -1 when
  // the line has gone away.
  long Read(uint8_t* buffer, size_t size);
  // Without waiting: the count of bytes taken (0 while the line is full) or
  // -1 when the line has gone away.
  long Write(const uint8_t* bytes, size_t size);

#ifdef _WIN32
  bool IsOpen() const { return handle_ != nullptr; }
#else
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
#endif
  // The far end of the pseudo-terminal (/dev/pts/N) or the device opened.
  const std::string& DevicePath() const { return devicePath_; }
  const std::string& LinkPath() const { return linkPath_; }

private:
  bool MakeLink(const std::string& linkPath, bool force, std::string& error);

#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
  int keepFd_ = -1;
#endif  // our own handle on the far end, so the line stays up between clients
  std::string devicePath_;
  std::string linkPath_;  // set while a link of ours exists
};
