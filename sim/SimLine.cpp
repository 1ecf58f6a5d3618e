#include "sim/SimLine.h"

// The pseudo-terminal and the POSIX serial device; the COM port of Windows is
// in SimLineWin32.cpp.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string ReadLink(const std::string& path) {
  char buf[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
  if (n < 0) return {};
  return std::string(buf, static_cast<size_t>(n));
}

speed_t SpeedFor(int baud) {
  switch (baud) {
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    default: return B0;
  }
}

}  // namespace
#endif

SimCharFormat SimModeFormat(int mode) {
  switch (mode) {
    case 1: return {7, 'E', 1};
    case 2: return {7, 'O', 1};
    case 3: return {8, 'N', 2};
    case 4: return {8, 'E', 1};
    case 5: return {8, 'O', 1};
    default: return {8, 'N', 1};  // modes 0 and 6
  }
}

std::string SimModeText(int mode) {
  const SimCharFormat f = SimModeFormat(mode);
  return std::string(1, f.Parity) + "," + std::to_string(f.DataBits) + "," + std::to_string(f.StopBits);
}

bool SimBaudSupported(int baud) {
  for (int supported : {300, 600, 1200, 2400, 4800, 9600, 19200})
    if (baud == supported) return true;
  return false;
}

#ifndef _WIN32

SimLine::~SimLine() { Close(); }

bool SimLine::OpenPty(const std::string& linkPath, bool force, std::string& error) {
  Close();
  fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    error = Errno("cannot create a pseudo-terminal");
    return false;
  }
  char name[128];
  if (grantpt(fd_) != 0 || unlockpt(fd_) != 0 || ptsname_r(fd_, name, sizeof name) != 0) {
    error = Errno("cannot set up the pseudo-terminal");
    Close();
    return false;
  }
  devicePath_ = name;
  keepFd_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (keepFd_ < 0) {
    error = Errno("cannot open " + devicePath_);
    Close();
    return false;
  }
  // Raw bytes both ways: no echo, no CR/LF translation, until a client sets its own.
  termios t{};
  if (tcgetattr(keepFd_, &t) == 0) {
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(keepFd_, TCSANOW, &t);
  }
  if (!linkPath.empty() && !MakeLink(linkPath, force, error)) {
    Close();
    return false;
  }
  return true;
}

bool SimLine::MakeLink(const std::string& linkPath, bool force, std::string& error) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (symlink(devicePath_.c_str(), linkPath.c_str()) == 0) {
      linkPath_ = linkPath;
      return true;
    }
    if (errno != EEXIST) {
      error = Errno("cannot create the link " + linkPath);
      return false;
    }
    struct stat st {};
    if (lstat(linkPath.c_str(), &st) != 0) continue;  // gone meanwhile: try again
    if (!S_ISLNK(st.st_mode)) {
      error = linkPath + " exists and is not a link; not touching it (choose another name with --link)";
      return false;
    }
    const std::string target = ReadLink(linkPath);
    struct stat targetStat {};
    const bool dangling = stat(linkPath.c_str(), &targetStat) != 0;
    const bool staleOfOurs = dangling && target.rfind("/dev/pts/", 0) == 0;
    if (!staleOfOurs && !force) {
      error = linkPath + " already exists (a link to " + target +
              "), probably another simulator; stop it, remove the link, or use --force";
      return false;
    }
    if (unlink(linkPath.c_str()) != 0 && errno != ENOENT) {
      error = Errno("cannot replace " + linkPath);
      return false;
    }
  }
  error = linkPath + " keeps being recreated by someone else";
  return false;
}

bool SimLine::OpenDevice(const std::string& path, int mode, int baud, std::string& error) {
  Close();
  const speed_t speed = SpeedFor(baud);
  if (speed == B0) {
    error = "unsupported baud rate " + std::to_string(baud);
    return false;
  }
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    error = Errno("cannot open " + path);
    return false;
  }
  devicePath_ = path;
  termios t{};
  if (tcgetattr(fd_, &t) != 0) {
    error = Errno(path + " is not a serial device");
    Close();
    return false;
  }
  cfmakeraw(&t);
  const SimCharFormat f = SimModeFormat(mode);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  t.c_cflag |= (f.DataBits == 7 ? CS7 : CS8) | CLOCAL | CREAD;
  if (f.Parity != 'N') t.c_cflag |= PARENB;
  if (f.Parity == 'O') t.c_cflag |= PARODD;
  if (f.StopBits == 2) t.c_cflag |= CSTOPB;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  if (tcsetattr(fd_, TCSANOW, &t) != 0) {
    error = Errno("cannot configure " + path);
    Close();
    return false;
  }
  tcflush(fd_, TCIOFLUSH);
  return true;
}

void SimLine::Close() {
  if (!linkPath_.empty()) {
    // Only our own link goes: someone may have replaced it meanwhile.
    if (ReadLink(linkPath_) == devicePath_) unlink(linkPath_.c_str());
    linkPath_.clear();
  }
  if (keepFd_ >= 0) close(keepFd_);
  if (fd_ >= 0) close(fd_);
  keepFd_ = fd_ = -1;
  devicePath_.clear();
}

long SimLine::Read(uint8_t* buffer, size_t size) {
  const ssize_t n = read(fd_, buffer, size);
  if (n >= 0) return n > 0 ? static_cast<long>(n) : -1;  // 0: the far end hung up
  return errno == EAGAIN || errno == EINTR ? 0 : -1;
}

long SimLine::Write(const uint8_t* bytes, size_t size) {
  const ssize_t n = write(fd_, bytes, size);
  if (n >= 0) return static_cast<long>(n);
  return errno == EAGAIN || errno == EINTR ? 0 : -1;
}
#endif
