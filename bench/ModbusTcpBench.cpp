// kavrel-gateway as a Modbus TCP server under many clients: the simulator
// plays 8 meters on a pseudo-terminal, RTU 19200 bit/s at the line's pace, and
// the gateway program polls them and serves their registers.
//
// First the line alone for a while, then 50 clients at once, each on its own
// connection reading its meter's process block 10 times a second (from the
// gateway's memory), then the line alone again. Prints the reply times' p50
// and p99, the gateway's CPU as a share of one core in each phase, and the
// line's polling rate (requests per second the meters saw) in each phase, with
// its change under the clients against the mean of the two phases alone.
//
//   build/bench/kavrel_modbus_tcp_bench [--seconds N] [--clients N]   (default 20 s, 50 clients)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "model/ParamDef.h"
#include "sim/SimServer.h"
#include "tests/gateway/GatewayTestSupport.h"

#ifndef KAVREL_GATEWAY
#error "KAVREL_GATEWAY must name the kavrel-gateway program"
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr int METERS = 8;

double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

// One read of the process block; its reply time in seconds, or -1.
double ReadBlock(int fd, uint8_t unit, uint16_t transaction) {
  const uint8_t ask[] = {static_cast<uint8_t>(transaction >> 8),
                         static_cast<uint8_t>(transaction),
                         0,
                         0,
                         0,
                         6,
                         unit,
                         3,
                         0x1D,
                         0x4C,
                         0,
                         34};
  const auto sent = Clock::now();
  if (send(fd, ask, sizeof ask, MSG_NOSIGNAL) != sizeof ask) return -1;
  uint8_t in[300];
  size_t have = 0;
  while (have < 6 || have < 6u + (in[4] << 8 | in[5])) {
    const ssize_t n = recv(fd, in + have, sizeof in - have, 0);
    if (n <= 0) return -1;
    have += static_cast<size_t>(n);
  }
  if (in[7] != 3 || in[8] != 136) return -1;
  return std::chrono::duration<double>(Clock::now() - sent).count();
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 20;
  int clients = 50;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--seconds") seconds = std::atof(argv[i + 1]);
    if (a == "--clients") clients = std::atoi(argv[i + 1]);
  }
  char dirTemplate[] = "/tmp/kavrel-mbtcp-bench-XXXXXX";
  const std::string dir = mkdtemp(dirTemplate);
  SimConfig sim;
  sim.Mode = 6;
  sim.Baud = 19200;
  sim.Pace = true;
  sim.LinkPath = dir + "/COM1";
  sim.Meters.clear();
  for (int m = 1; m <= METERS; ++m) sim.Meters.push_back({m % 2 ? MT_TR5 : MT_TR8, m});
  SimServer server(sim);
  std::string error;
  if (!server.Start(&error)) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    return 1;
  }
  const int port = gatewaytest::FreePort();
  std::ofstream(dir + "/g.toml") << "[modbus_tcp]\nport = " << port << "\nmax_connections = " << clients + 10
                                 << "\n[[line]]\nport = \"" << sim.LinkPath << "\"\nframing = \"rtu\"\n";
  {
    std::ofstream more(dir + "/g.toml", std::ios::app);
    for (int m = 1; m <= METERS; ++m)
      more << "[[line.meter]]\nmodel = \"" << (m % 2 ? "TR5" : "TR8") << "\"\naddress = " << m << "\n";
  }
  const pid_t gateway = fork();
  if (gateway == 0) {
    const std::string log = dir + "/gateway.log";
    freopen(log.c_str(), "w", stderr);
    execl(KAVREL_GATEWAY, KAVREL_GATEWAY, "--config", (dir + "/g.toml").c_str(), nullptr);
    _exit(127);
  }
  // Every meter polled once before measuring.
  std::this_thread::sleep_for(std::chrono::seconds(3));

  auto phase = [&](double s) {
    const size_t requests = server.RequestCount();
    const double cpu = CpuSeconds(gateway);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(s));
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    return std::pair{static_cast<double>(server.RequestCount() - requests) / took,
                     (CpuSeconds(gateway) - cpu) / took};
  };
  const auto [aloneRate, aloneCpu] = phase(seconds);

  std::atomic<bool> stop{false};
  std::mutex timesMutex;
  std::vector<double> times;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      const int fd = Connect(port);
      if (fd < 0) {
        ++failures;
        return;
      }
      std::vector<double> mine;
      auto next = Clock::now() + std::chrono::milliseconds(2 * c);  // spread over the first 100 ms
      uint16_t transaction = 0;
      while (!stop) {
        std::this_thread::sleep_until(next);
        next += std::chrono::milliseconds(100);
        const double t = ReadBlock(fd, static_cast<uint8_t>(1 + c % METERS), ++transaction);
        if (t < 0)
          ++failures;
        else
          mine.push_back(t);
      }
      close(fd);
      std::lock_guard lock(timesMutex);
      times.insert(times.end(), mine.begin(), mine.end());
    });
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const auto [busyRate, busyCpu] = phase(seconds);
  stop = true;
  for (auto& t : threads) t.join();
  // The line alone once more: the machine's own drift shows as the change between the two.
  const auto [againRate, againCpu] = phase(seconds);
  kill(gateway, SIGTERM);
  waitpid(gateway, nullptr, 0);
  server.Stop();

  std::printf("modbus tcp clients:    %d, each reading a process block 10 times a second\n", clients);
  std::printf("replies:               %zu, %d failed\n", times.size(), failures.load());
  std::printf("reply time p50:        %.3f ms\n", Percentile(times, 0.50) * 1000);
  std::printf("reply time p99:        %.3f ms\n", Percentile(times, 0.99) * 1000);
  std::printf(
      "gateway CPU:           %.1f %% of a core alone, %.1f %% with the clients, %.1f %% alone again\n",
      aloneCpu * 100, busyCpu * 100, againCpu * 100);
  const double alone = (aloneRate + againRate) / 2;
  std::printf("line polling rate:     %.2f requests/s alone, %.2f with the clients, %.2f alone again\n",
              aloneRate, busyRate, againRate);
  std::printf("polling rate change:   %+.2f %% with the clients against the mean of the two alone\n",
              (busyRate - alone) / alone * 100);
  std::remove((dir + "/g.toml").c_str());
  std::remove((dir + "/gateway.log").c_str());
  rmdir(dir.c_str());
  return 0;
}
