#include "tests/support/PtyTools.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace testsupport {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

int LoadAllowanceMs() {
  static const int ms = [] {
    const char* text = std::getenv("KAVREL_TEST_LOAD_ALLOWANCE_MS");
    const long value = text ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 && value <= 600000 ? static_cast<int>(value) : 1500;
  }();
  return ms;
}

std::chrono::milliseconds LoadAllowance() { return std::chrono::milliseconds(LoadAllowanceMs()); }

#ifdef _WIN32

// Windows has no pseudo-terminals: a test that plays the meter on one runs on
// Linux only. The COM ports of the tests under Wine are joined in pairs on the
// Linux side (tests/wine/com_pairs.py), and the simulator serves the far end.
namespace {
[[noreturn]] void NoPty() {
  throw std::runtime_error("no pseudo-terminals on Windows: this test plays the meter on one (Linux only)");
}
}  // namespace

PtyPair::PtyPair() { NoPty(); }
PtyPair::~PtyPair() = default;
void PtyPair::CloseMaster() {}
bool PtyPair::Write(const std::vector<uint8_t>&) { return false; }
bool PtyPair::Write(const std::string&) { return false; }
std::vector<uint8_t> PtyPair::ReadUntil(const std::function<bool(const std::vector<uint8_t>&)>&, int) {
  return {};
}
PtyLink::PtyLink() { NoPty(); }
PtyLink::~PtyLink() = default;

ComDirectory::ComDirectory() {
  namespace fs = std::filesystem;
  Previous = fs::current_path().string();
  static unsigned counter = 0;
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100 && Dir.empty(); ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() /
        ("kavrel-com-" + std::to_string(stamp % 1000000007) + "-" + std::to_string(++counter));
    std::error_code error;
    if (fs::create_directory(candidate, error)) Dir = candidate.generic_string();
  }
  if (Dir.empty()) throw std::runtime_error("cannot create a temporary directory");
  fs::current_path(Dir);
}

ComDirectory::~ComDirectory() {
  std::error_code error;
  std::filesystem::current_path(Previous, error);
  std::filesystem::remove_all(Dir, error);
}

// The program's "COM<n>" is the system's port there; it cannot be pointed
// elsewhere.
void ComDirectory::Link(int n, const std::string& target) {
  throw std::runtime_error("COM" + std::to_string(n) + " cannot be linked to " + target + " on Windows");
}

void ComDirectory::Unlink(int) {}

#else

namespace {

void MakeRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
  }
}

}  // namespace

PtyPair::PtyPair() {
  Master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Master < 0) throw std::runtime_error("posix_openpt failed");
  char name[128];
  if (grantpt(Master) != 0 || unlockpt(Master) != 0 || ptsname_r(Master, name, sizeof name) != 0) {
    close(Master);
    throw std::runtime_error("cannot set up the pseudo-terminal");
  }
  Slave = name;
  MakeRaw(Master);
  // Open and set the slave side raw once, so that no line editing touches the
  // bytes before the program under test opens it and sets its own mode.
  const int slave = open(Slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave >= 0) {
    MakeRaw(slave);
    close(slave);
  }
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::CloseMaster() {
  if (Master >= 0) close(Master);
  Master = -1;
}

bool PtyPair::Write(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (done < bytes.size() && Master >= 0) {
    const ssize_t n = write(Master, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR) && Clock::now() < deadline) {
      pollfd p{Master, POLLOUT, 0};
      poll(&p, 1, 10);
    } else {
      return false;
    }
  }
  return done == bytes.size();
}

bool PtyPair::Write(const std::string& text) { return Write(std::vector<uint8_t>(text.begin(), text.end())); }

std::vector<uint8_t> PtyPair::ReadUntil(const std::function<bool(const std::vector<uint8_t>&)>& done, int ms) {
  std::vector<uint8_t> got;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (Master >= 0 && !(done && done(got))) {
    const int left = MsLeft(deadline);
    if (left == 0) break;
    pollfd p{Master, POLLIN, 0};
    const int r = poll(&p, 1, std::min(left, 20));
    if (r > 0 && (p.revents & POLLIN) != 0) {
      uint8_t buffer[512];
      const ssize_t n = read(Master, buffer, sizeof buffer);
      if (n > 0) {
        got.insert(got.end(), buffer, buffer + n);
        continue;
      }
    }
    // Nobody holds the slave side (a hang-up, reads fail): wait a little
    // rather than spin on it.
    if (r > 0) poll(nullptr, 0, 5);
  }
  return got;
}

PtyLink::PtyLink() {
  Copier = std::thread([this] {
    const int fds[2] = {A.MasterFd(), B.MasterFd()};
    while (!Stop.load()) {
      pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
      const int r = poll(p, 2, 20);
      bool moved = false;
      for (int i = 0; r > 0 && i < 2; ++i) {
        if ((p[i].revents & POLLIN) == 0) continue;
        uint8_t buffer[512];
        const ssize_t n = read(fds[i], buffer, sizeof buffer);
        if (n <= 0) continue;
        moved = true;
        ssize_t done = 0;
        while (done < n && !Stop.load()) {
          const ssize_t w = write(fds[1 - i], buffer + done, static_cast<size_t>(n - done));
          if (w > 0) {
            done += w;
          } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
            break;
          } else {
            poll(nullptr, 0, 1);
          }
        }
      }
      // A side nobody holds reports a hang-up at once: do not spin on it.
      if (r > 0 && !moved) poll(nullptr, 0, 5);
    }
  });
}

PtyLink::~PtyLink() {
  Stop.store(true);
  Copier.join();
}

ComDirectory::ComDirectory() {
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) == nullptr) throw std::runtime_error("getcwd failed");
  Previous = cwd;
  char pattern[] = "/tmp/kavrel-com-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  Dir = pattern;
  if (chdir(Dir.c_str()) != 0) {
    rmdir(Dir.c_str());
    throw std::runtime_error("chdir failed");
  }
}

ComDirectory::~ComDirectory() {
  for (int n = 1; n <= 16; ++n) Unlink(n);
  if (chdir(Previous.c_str()) != 0) {
    // Nothing sensible to do in a destructor; the directory is removed anyway.
  }
  rmdir(Dir.c_str());
}

void ComDirectory::Link(int n, const std::string& target) {
  Unlink(n);
  const std::string link = Dir + "/COM" + std::to_string(n);
  if (symlink(target.c_str(), link.c_str()) != 0) throw std::runtime_error("symlink failed: " + link);
}

void ComDirectory::Unlink(int n) { unlink((Dir + "/COM" + std::to_string(n)).c_str()); }

#endif

}  // namespace testsupport
