// The serial port on POSIX systems: termios for the line, ioctl for the
// modem lines, queue counts and the UART status.
#include <fcntl.h>
#ifdef __linux__
#include <linux/serial.h>
#endif
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "comm/SerialDevice.h"
#include "comm/SerialPlatform.h"

namespace {

// Errors after which the handle will never work again: the device is gone
// (an unplugged USB adapter, a pseudo-terminal whose other side closed).
bool IsGone(int error) {
  return error == EIO || error == ENXIO || error == ENODEV || error == EBADF || error == ENOENT;
}

speed_t SpeedOf(long baud) {
  switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

struct LineSettings {
  long Baud = 9600;
  char Parity = 'N';
  int DataBits = 8;
  int StopBits = 1;
};

// Parses "baud,parity,data,stop" such as "19200,E,8,1".
bool ParseLineSettings(const std::string& text, LineSettings& out) {
  const char* p = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long baud = std::strtol(p, &end, 10);
  if (errno != 0 || end == p || *end != ',' || SpeedOf(baud) == B0) return false;
  p = end + 1;
  char parity = *p;
  if (parity >= 'a' && parity <= 'z') parity = static_cast<char>(parity - 'a' + 'A');
  if (parity != 'N' && parity != 'E' && parity != 'O') return false;
  if (p[1] != ',') return false;
  p += 2;
  if (*p < '5' || *p > '8' || p[1] != ',') return false;
  const int data = *p - '0';
  p += 2;
  int stop;
  if (std::strcmp(p, "1") == 0) stop = 1;
  else if (std::strcmp(p, "2") == 0) stop = 2;
  else return false;
  out = LineSettings{baud, parity, data, stop};
  return true;
}

class PosixSerialDevice final : public SerialDevice {
public:
  explicit PosixSerialDevice(int fd) : Fd(fd) {}
  ~PosixSerialDevice() override { close(Fd); }

  // The kernel's queues have fixed sizes.
  bool SetQueueSizes(uint32_t, uint32_t) override { return !Gone; }

  bool SetNonBlocking() override {
    const int flags = fcntl(Fd, F_GETFL);
    if (flags < 0 || fcntl(Fd, F_SETFL, flags | O_NONBLOCK) < 0) return Fail();
    return true;
  }

  bool SaveOriginal() override {
    if (tcgetattr(Fd, &Saved) != 0) return Fail();
    HaveSaved = true;
    return true;
  }

  bool RestoreOriginal() override {
    if (!HaveSaved) return false;
    return tcsetattr(Fd, TCSANOW, &Saved) == 0 || Fail();
  }

  // The driver toggling RTS by itself is not used here: the RTS-switched write
  // raises and lowers RTS around every frame, so rtsToggle is not needed.
  bool ApplyLineSettings(const std::string& text, bool) override {
    LineSettings s;
    if (!ParseLineSettings(text, s)) return false;
    termios t{};
    if (tcgetattr(Fd, &t) != 0) return Fail();
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag |= s.DataBits == 5 ? CS5 : s.DataBits == 6 ? CS6 : s.DataBits == 7 ? CS7 : CS8;
    if (s.Parity != 'N') t.c_cflag |= PARENB;
    if (s.Parity == 'O') t.c_cflag |= PARODD;
    if (s.StopBits == 2) t.c_cflag |= CSTOPB;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    if (s.Parity != 'N') t.c_iflag |= INPCK;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, SpeedOf(s.Baud));
    cfsetospeed(&t, SpeedOf(s.Baud));
    if (tcsetattr(Fd, TCSANOW, &t) != 0) return Fail();
    Baud = s.Baud;
    BitsPerChar = 1 + s.DataBits + (s.Parity != 'N' ? 1 : 0) + s.StopBits;
    return true;
  }

  bool PurgeInput() override { return tcflush(Fd, TCIFLUSH) == 0 || Fail(); }
  bool PurgeOutput() override { return tcflush(Fd, TCOFLUSH) == 0 || Fail(); }
  bool SetRts(bool on) override { return ModemLine(TIOCM_RTS, on); }
  bool SetDtr(bool on) override { return ModemLine(TIOCM_DTR, on); }
  bool ClearBreak() override { return ioctl(Fd, TIOCCBRK) == 0 || Fail(); }

  bool GetStatus(TSerialStatus& status) override {
    status = TSerialStatus{};
    pollfd p{Fd, POLLIN, 0};
    if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      Gone = true;  // hung up: the device or the other side went away
      return false;
    }
    int in = 0;
    if (ioctl(Fd, FIONREAD, &in) != 0) return Fail();
    int out = 0;
    if (ioctl(Fd, TIOCOUTQ, &out) != 0) out = 0;
    status.InQueue = in > 0 ? static_cast<uint32_t>(in) : 0;
    status.OutQueue = out > 0 ? static_cast<uint32_t>(out) : 0;
    // Input lost for want of buffer space shows as a rising overrun count,
    // where the driver keeps one (a pseudo-terminal does not).
#ifdef __linux__
    serial_icounter_struct counts{};
    if (ioctl(Fd, TIOCGICOUNT, &counts) == 0) {
      if (HaveCounts && counts.buf_overrun != LastBufOverrun) status.RxOverflow = true;
      LastBufOverrun = counts.buf_overrun;
      HaveCounts = true;
    }
#endif
    return true;
  }

  long Read(uint8_t* buffer, size_t size) override {
    const ssize_t n = read(Fd, buffer, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EAGAIN || errno == EINTR) return 0;
    Fail();
    return -1;
  }

  long Write(const uint8_t* data, size_t size) override {
    using clock = std::chrono::steady_clock;
    // A full output queue empties at the line rate; give up after a second more
    // than the frame needs rather than wait for ever.
    const auto deadline = clock::now() + std::chrono::milliseconds(1000 + LineTimeMs(size));
    size_t done = 0;
    while (done < size) {
      const ssize_t n = write(Fd, data + done, size - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) {
        Fail();
        return done > 0 ? static_cast<long>(done) : -1;
      }
      if (clock::now() >= deadline) break;
      pollfd p{Fd, POLLOUT, 0};
      poll(&p, 1, 10);
    }
    return static_cast<long>(done);
  }

  int TransmitterEmpty() override {
#ifdef TIOCSERGETLSR
    unsigned int lsr = 0;
    if (ioctl(Fd, TIOCSERGETLSR, &lsr) != 0) {
      Fail();
      return -1;
    }
    return (lsr & TIOCSER_TEMT) != 0 ? 1 : 0;
#else
    return -1;
#endif
  }

  bool Drain() override {
    using clock = std::chrono::steady_clock;
    int out = 0;
    if (ioctl(Fd, TIOCOUTQ, &out) != 0) out = 0;
    // What is queued plus a hardware FIFO, at the line rate, and some slack.
    const auto deadline =
        clock::now() + std::chrono::milliseconds(200 + LineTimeMs(static_cast<size_t>(out > 0 ? out : 0) + 64));
    while (ioctl(Fd, TIOCOUTQ, &out) == 0 && out > 0) {
      if (clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Only the UART's own FIFO is left, which the driver drains in bounded time.
    return tcdrain(Fd) == 0 || Fail();
  }

  bool Lost() const override { return Gone; }

private:
  bool Fail() {
    if (IsGone(errno)) Gone = true;
    return false;
  }

  bool ModemLine(int line, bool on) {
    return ioctl(Fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0 || Fail();
  }

  long LineTimeMs(size_t chars) const {
    return static_cast<long>((static_cast<long long>(chars) * BitsPerChar * 1000 + Baud - 1) / Baud);
  }

  int Fd;
  bool Gone = false;
  termios Saved{};
  bool HaveSaved = false;
  int LastBufOverrun = 0;
  bool HaveCounts = false;
  long Baud = 9600;
  int BitsPerChar = 10;
};

// "COM<n>" with n >= 1; 0 for any other name.
int ComNumber(const std::string& name) {
  if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return 0;
  int n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || n > 100000) return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

// The path opened for a port name. A "COM<n>" entry in the working directory
// wins even when it is a dangling link (an adapter that is unplugged): the
// port is then missing rather than silently another one.
std::string DevicePath(const std::string& name) {
  const int n = ComNumber(name);
  if (n == 0 || SerialPortFileExists(name)) return name;
  return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace

bool SerialPortFileExists(const std::string& name) {
  if (ComNumber(name) == 0) return false;
  struct stat st {};
  return lstat(name.c_str(), &st) == 0;
}

namespace {
thread_local TSerialOpenError lastOpenError = TSerialOpenError::None;

TSerialOpenError OpenErrorOf(int error) {
  switch (error) {
    case ENOENT: case ENODEV: case ENXIO: case ENOTDIR: case ELOOP: return TSerialOpenError::NotFound;
    case EACCES: case EPERM: case EROFS: return TSerialOpenError::NoPermission;
    case EBUSY: case EWOULDBLOCK: return TSerialOpenError::InUse;
    default: return TSerialOpenError::Other;
  }
}
}  // namespace

TSerialOpenError LastSerialOpenError() { return lastOpenError; }
void SetLastSerialOpenError(TSerialOpenError error) { lastOpenError = error; }

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& name) {
  const std::string path = DevicePath(name);
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    lastOpenError = OpenErrorOf(errno);
    return nullptr;
  }
  // A serial port, and one that no other program holds.
  if (!isatty(fd)) {
    close(fd);
    lastOpenError = TSerialOpenError::NotASerialPort;
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    lastOpenError = OpenErrorOf(errno);
    close(fd);
    return nullptr;
  }
  lastOpenError = TSerialOpenError::None;
  return std::make_unique<PosixSerialDevice>(fd);
}

std::string ResolveSerialDeviceName(const std::string& name) {
  const std::string path = DevicePath(name);
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return {};
  return resolved;
}

int QuerySerialPlatform() { return 0; }
