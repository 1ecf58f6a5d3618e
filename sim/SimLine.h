// The simulator's end of the line: a pseudo-terminal whose other end is
// reachable through a link (such as "COM1" in the working directory), or a
// real serial device.
#pragma once

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
  // Opens a serial device (e.g. /dev/ttyUSB0) with the baud rate and character
  // format of `mode`.
  bool OpenDevice(const std::string& path, int mode, int baud, std::string& error);
  // Closes the line and removes the link when it still is ours.
  void Close();

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  // The far end of the pseudo-terminal (/dev/pts/N) or the device opened.
  const std::string& DevicePath() const { return devicePath_; }
  const std::string& LinkPath() const { return linkPath_; }

private:
  bool MakeLink(const std::string& linkPath, bool force, std::string& error);

  int fd_ = -1;
  int keepFd_ = -1;  // our own handle on the far end, so the line stays up between clients
  std::string devicePath_;
  std::string linkPath_;  // set while a link of ours exists
};
