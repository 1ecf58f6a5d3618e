// Helpers of the gateway tests: free localhost ports, programs run as child
// processes (a broker, a subscriber, the gateway itself) that are stopped
// when the test ends, and waiting for a condition with a generous limit.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace gatewaytest {

// A TCP port on 127.0.0.1 that was free a moment ago.
inline int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

// A program run with its standard output and error going to one file.
class TChild {
public:
  TChild(const std::vector<std::string>& argv, const std::string& outputPath) : Output(outputPath) {
    Pid = fork();
    if (Pid == 0) {
      const int fd = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, 1);
      dup2(fd, 2);
      const int null = open("/dev/null", O_RDONLY);
      dup2(null, 0);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
  }
  ~TChild() { Stop(SIGKILL); }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  // Sends the signal and waits for the end; the exit code, or -signal.
  int Stop(int sig = SIGTERM, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    if (Pid <= 0) return Status;
    kill(Pid, sig);
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(Pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        kill(Pid, SIGKILL);
        waitpid(Pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Pid = -1;
    Status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return Status;
  }
  // Waits for the program to end by itself.
  int Wait(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (Pid > 0 && std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(Pid, &status, WNOHANG) == Pid) {
        Pid = -1;
        Status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        return Status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Stop(SIGKILL);
  }
  std::string Text() const { return ReadFile(Output); }
  pid_t Id() const { return Pid; }

private:
  pid_t Pid = -1;
  int Status = -1;
  std::string Output;
};

// A mosquitto broker on a port of 127.0.0.1, configured by a file of its own.
class TBroker {
public:
  TBroker(const std::string& dir, int port, bool start = true) : Dir(dir), Port(port) {
    if (start) Start();
  }
  void Start() {
    const std::string conf = Dir + "/mosquitto.conf";
    std::ofstream(conf) << "listener " << Port << " 127.0.0.1\nallow_anonymous true\npersistence false\n";
    Process = std::make_unique<TChild>(std::vector<std::string>{"mosquitto", "-c", conf}, Dir + "/mosquitto.log");
    // Ready once it takes connections.
    WaitUntil([this] {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a.sin_port = htons(static_cast<uint16_t>(Port));
      const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
      close(fd);
      return ok;
    });
  }
  void Stop() { Process.reset(); }
  int GetPort() const { return Port; }

private:
  std::string Dir;
  int Port;
  std::unique_ptr<TChild> Process;
};

}  // namespace gatewaytest
