// The in-process server on a real pseudo-terminal, seen through a plain
// client that writes and reads raw bytes, on the pseudo-terminal or over TCP
// through the server's listener: the link, the request log, held registers,
// the API's fault switches, unplugging and a prompt, clean stop.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "sim/SimCommands.h"
#include "sim/SimServer.h"
#include "sim/SimTcpListener.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class TempDir {
public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "kavrel-sim-XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

// A master that knows nothing but bytes.
class RawClient {
public:
  explicit RawClient(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(fd_, TCSANOW, &t);
    }
  }
  // Connects to 127.0.0.1:port, trying for a while (a listener coming back).
  static std::unique_ptr<RawClient> Tcp(int port) {
    auto c = std::make_unique<RawClient>("");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto end = SimClock::now() + 5s;
    while (c->fd_ < 0 && SimClock::now() < end) {
      c->fd_ = socket(AF_INET, SOCK_STREAM, 0);
      if (connect(c->fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) break;
      close(c->fd_);
      c->fd_ = -1;
      std::this_thread::sleep_for(20ms);
    }
    if (c->fd_ >= 0) fcntl(c->fd_, F_SETFL, O_NONBLOCK);
    return c;
  }
  ~RawClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }

  // Sends a request and collects what comes back until `done` says so or the
  // time runs out. `failed` is set when the line itself fails (port gone).
  SimBytes Ask(const SimBytes& request, const std::function<bool(const SimBytes&)>& done,
               std::chrono::milliseconds limit = 3000ms) {
    failed = false;
    ssize_t sent = send(fd_, request.data(), request.size(), MSG_NOSIGNAL);  // a closed socket: no SIGPIPE
    if (sent < 0 && errno == ENOTSOCK) sent = write(fd_, request.data(), request.size());
    if (sent != static_cast<ssize_t>(request.size())) failed = true;
    SimBytes got;
    const auto end = SimClock::now() + limit;
    while (!failed && !done(got) && SimClock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - SimClock::now()).count();
      if (poll(&p, 1, static_cast<int>(std::max<long>(left, 0))) <= 0) continue;
      uint8_t buf[256];
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n > 0) got.insert(got.end(), buf, buf + n);
      else if (n == 0 || (errno != EAGAIN && errno != EINTR)) failed = true;
    }
    return got;
  }

  bool failed = false;

private:
  int fd_ = -1;
};

SimBytes Rtu(SimBytes pdu) { return SimFrameReply(true, pdu); }
SimBytes ReadReq(int address, int reg, int count) {
  return {static_cast<uint8_t>(address), 3, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg), 0,
          static_cast<uint8_t>(count)};
}
auto UntilSize(size_t n) {
  return [n](const SimBytes& b) { return b.size() >= n; };
}
auto UntilLf = [](const SimBytes& b) { return !b.empty() && b.back() == '\n'; };

size_t OpenFds() {
  return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST(SimServer, LinkIsMadeRefusedReplacedAndRemoved) {
  TempDir dir;
  const size_t fdsBefore = OpenFds();
  SimConfig config;
  config.LinkPath = dir / "COM1";
  auto sim = std::make_unique<SimServer>(config);
  std::string error;
  ASSERT_TRUE(sim->Start(&error)) << error;
  ASSERT_TRUE(fs::is_symlink(config.LinkPath));
  EXPECT_EQ(fs::read_symlink(config.LinkPath).string(), sim->DevicePath());
  EXPECT_EQ(sim->DevicePath().rfind("/dev/pts/", 0), 0u);

  SimServer second(config);  // the name is taken by a live simulator
  EXPECT_FALSE(second.Start(&error));
  EXPECT_NE(error.find("already exists"), std::string::npos) << error;

  const auto before = SimClock::now();
  sim.reset();  // the destructor stops it
  EXPECT_LT(SimClock::now() - before, 2s);
  EXPECT_FALSE(fs::exists(fs::symlink_status(config.LinkPath)));
  EXPECT_EQ(OpenFds(), fdsBefore);  // pseudo-terminal and wake-up pipe closed

  // A dead link left by a crashed run is taken over; a file is never touched.
  fs::create_symlink("/dev/pts/999999", config.LinkPath);
  SimServer third(config);
  ASSERT_TRUE(third.Start(&error)) << error;
  EXPECT_EQ(fs::read_symlink(config.LinkPath).string(), third.DevicePath());
  third.Stop();
  third.Stop();  // twice is harmless
  std::ofstream(config.LinkPath) << "not a link";
  SimServer fourth(config);
  EXPECT_FALSE(fourth.Start(&error));
  EXPECT_NE(error.find("not a link"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_regular_file(config.LinkPath));

  config.Meters = {{80, 1}, {81, 1}};
  EXPECT_FALSE(SimServer(config).Start(&error));
  EXPECT_NE(error.find("two meters"), std::string::npos);
}

// The scenarios a client sees run on the pseudo-terminal and over TCP.
class SimServerLine : public ::testing::TestWithParam<bool> {
protected:
  bool Tcp() const { return GetParam(); }

  void Serve(const SimConfig& config) {
    Sim = std::make_unique<SimServer>(config);
    std::string error;
    ASSERT_TRUE(Sim->Start(&error)) << error;
    if (!Tcp()) return;
    Net = std::make_unique<SimTcpListener>(*Sim);
    ASSERT_TRUE(Net->Start("127.0.0.1", 0, &error)) << error;
  }

  std::unique_ptr<RawClient> Client() {
    return Tcp() ? RawClient::Tcp(Net->Port()) : std::make_unique<RawClient>(Sim->LinkPath());
  }

  std::unique_ptr<SimServer> Sim;
  std::unique_ptr<SimTcpListener> Net;  // stops before the server it serves
};

TEST_P(SimServerLine, AnswersItsMetersLogsEveryRequestAndServesHeldValues) {
  TempDir dir;
  SimConfig config;
  config.LinkPath = dir / "COM1";
  config.Mode = 1;  // ASCII E,7,1
  config.Meters = {{80, 1}, {85, 5}};
  ASSERT_NO_FATAL_FAILURE(Serve(config));
  SimServer& sim = *Sim;
  ASSERT_TRUE(sim.HoldRegister(5, 7500, 231.5));
  const auto client = Client();
  RawClient& c = *client;
  ASSERT_TRUE(c.Ok());

  SimBytes r = c.Ask(SimFrameReply(false, ReadReq(5, 7500, 1)), UntilLf);
  EXPECT_EQ(std::string(r.begin(), r.end()), ":05030443678000CA\r\n");  // 231.5f = 0x43678000
  r = c.Ask(SimFrameReply(false, ReadReq(1, 7612, 6)), UntilLf);
  EXPECT_EQ(r.size(), 1 + 2 * (3 + 24 + 1) + 2u);
  r = c.Ask(SimFrameReply(false, ReadReq(9, 4030, 1)), UntilLf, 300ms);  // nobody there
  EXPECT_TRUE(r.empty());
  r = c.Ask(SimFrameReply(false, {0, 6, 0x0F, 0xA0, 0, 9}), UntilLf, 300ms);  // broadcast
  EXPECT_TRUE(r.empty());
  ASSERT_TRUE(sim.WaitForRequests(4, 2s));
  EXPECT_EQ(*sim.GetRegister(1, 4000), 9);
  EXPECT_EQ(*sim.GetRegister(5, 4000), 9);

  const auto log = sim.Requests();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].Address, 5);
  EXPECT_EQ(log[0].Register, 7500);
  EXPECT_EQ(log[0].Count, 1);
  EXPECT_EQ(log[0].Reply, 3);
  EXPECT_EQ(log[1].Register, 7612);
  EXPECT_EQ(log[1].Count, 6);
  EXPECT_EQ(log[2].Address, 9);
  EXPECT_EQ(log[2].Reply, 0);
  EXPECT_EQ(log[3].Function, 6);
  EXPECT_EQ(log[3].Value, 9);
  EXPECT_LE(log[0].Time, log[3].Time);
  sim.ClearRequests();
  EXPECT_EQ(sim.RequestCount(), 0u);
  EXPECT_FALSE(sim.WaitForRequests(1, 50ms));
}

TEST_P(SimServerLine, FaultsCanBeLimitedToOneMeterAndToSomeReplies) {
  TempDir dir;
  SimConfig config;
  config.LinkPath = dir / "COM1";
  config.Mode = 6;
  config.Meters = {{80, 1}, {118, 2}};
  ASSERT_NO_FATAL_FAILURE(Serve(config));
  SimServer& sim = *Sim;
  const auto client = Client();
  RawClient& c = *client;
  SimFaults f;
  f.ExceptionCode = 4;
  f.OnlyAddress = 2;
  f.ForReplies = 2;
  sim.SetFaults(f);
  EXPECT_EQ(c.Ask(Rtu(ReadReq(1, 4000, 1)), UntilSize(7)).size(), 7u);  // meter 1 unharmed
  for (int i = 0; i < 2; ++i) EXPECT_EQ(c.Ask(Rtu(ReadReq(2, 4000, 1)), UntilSize(5)), Rtu({2, 0x83, 4}));
  EXPECT_EQ(c.Ask(Rtu(ReadReq(2, 4000, 1)), UntilSize(7)).size(), 7u);  // over after two
  EXPECT_FALSE(sim.Faults().Any());

  // A refused write is not carried out; a write whose reply is spoiled is.
  const SimBytes write{1, 6, 0x0F, 0xA1, 0, 42};  // voltage ratio 42
  f = SimFaults{};
  f.ExceptionCode = 4;
  sim.SetFaults(f);
  EXPECT_EQ(c.Ask(Rtu(write), UntilSize(5)), Rtu({1, 0x86, 4}));
  EXPECT_EQ(*sim.GetRegister(1, 4001), 1);
  f = SimFaults{};
  f.BadCheck = true;
  sim.SetFaults(f);
  EXPECT_EQ(c.Ask(Rtu(write), UntilSize(8)).size(), 8u);
  EXPECT_EQ(*sim.GetRegister(1, 4001), 42);
}

TEST(SimServer, PacedRepliesTakeTheirTimeOnTheLine) {
  TempDir dir;
  SimConfig config;
  config.LinkPath = dir / "COM1";
  config.Mode = 3;  // RTU N,8,2: 11 bits a character
  config.Baud = 300;
  config.Pace = true;
  SimServer sim(config);
  ASSERT_TRUE(sim.Start());
  RawClient c(config.LinkPath);
  const auto start = SimClock::now();
  const SimBytes r = c.Ask(Rtu(ReadReq(1, 4000, 2)), UntilSize(9), 10s);
  EXPECT_EQ(r.size(), 9u);
  EXPECT_GE(SimClock::now() - start, 8 * 11 * 1000ms / 300 * 8 / 10);  // 8 character times, less some slack
}

// Over TCP the unplugged line takes the connection with it and refuses new
// ones until it is back.
TEST_P(SimServerLine, UnpluggedLineVanishesAndComesBack) {
  TempDir dir;
  SimConfig config;
  config.LinkPath = dir / "COM1";
  config.Mode = 4;
  ASSERT_NO_FATAL_FAILURE(Serve(config));
  SimServer& sim = *Sim;
  {
    const auto client = Client();
    RawClient& c = *client;
    ASSERT_TRUE(c.Ok());
    sim.Unplug();
    EXPECT_FALSE(sim.Plugged());
    EXPECT_FALSE(fs::exists(fs::symlink_status(config.LinkPath)));
    c.Ask(Rtu(ReadReq(1, 4000, 1)), UntilSize(7), 500ms);
    EXPECT_TRUE(c.failed);  // the open port died with the line
  }
  ASSERT_TRUE(sim.Plug());
  const auto again = Client();
  ASSERT_TRUE(again->Ok());
  EXPECT_EQ(again->Ask(Rtu(ReadReq(1, 4000, 1)), UntilSize(7)).size(), 7u);

  sim.Unplug(300ms);  // back by itself
  const auto end = SimClock::now() + 5s;
  while (!sim.Plugged() && SimClock::now() < end) std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(sim.Plugged());
  EXPECT_TRUE(fs::is_symlink(config.LinkPath));
}

INSTANTIATE_TEST_SUITE_P(Transport, SimServerLine, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Tcp" : "Pty");
                         });

// One client at a time: a new one takes the line over, the old one is closed.
TEST(SimTcpListener, NewClientReplacesTheOld) {
  SimConfig config;
  config.LinkPath.clear();
  SimServer sim(config);
  ASSERT_TRUE(sim.Start());
  SimTcpListener net(sim);
  std::string error;
  ASSERT_TRUE(net.Start("127.0.0.1", 0, &error)) << error;
  const auto first = RawClient::Tcp(net.Port());
  EXPECT_EQ(first->Ask(SimFrameReply(false, ReadReq(1, 4000, 1)), UntilLf).size(), 15u);
  const auto second = RawClient::Tcp(net.Port());
  EXPECT_EQ(second->Ask(SimFrameReply(false, ReadReq(1, 4000, 1)), UntilLf).size(), 15u);
  first->Ask(SimFrameReply(false, ReadReq(1, 4000, 1)), UntilLf, 1000ms);
  EXPECT_TRUE(first->failed);
  EXPECT_EQ(net.Connections(), 2);
  SimTcpListener taken(sim);  // the port is in use
  EXPECT_FALSE(taken.Start("127.0.0.1", net.Port(), &error));
  EXPECT_NE(error.find("cannot listen"), std::string::npos) << error;
}

}  // namespace

namespace {

TEST(SimCommands, SwitchFaultsAndRegistersAndRejectNonsense) {
  SimServer sim;  // not started: faults and registers work all the same
  EXPECT_TRUE(SimExecuteCommand(sim, "delay 250").Ok);
  EXPECT_TRUE(SimExecuteCommand(sim, "noise 3").Ok);
  EXPECT_TRUE(SimExecuteCommand(sim, "only 1").Ok);
  const SimCommandResult r = SimExecuteCommand(sim, "next 2");
  EXPECT_NE(r.Text.find("delay 250 ms, noise 3 bytes (meter 1 only) for the next 2 replies"), std::string::npos)
      << r.Text;
  SimFaults f = sim.Faults();
  EXPECT_EQ(f.DelayMs, 250);
  EXPECT_EQ(f.NoiseBytes, 3);
  EXPECT_EQ(f.ForReplies, 2);
  EXPECT_TRUE(SimExecuteCommand(sim, "clear").Ok);
  EXPECT_FALSE(sim.Faults().Any());

  EXPECT_TRUE(SimExecuteCommand(sim, "set 1 4030 5").Ok);
  EXPECT_EQ(SimExecuteCommand(sim, "get 1 4030").Text, "1/4030 = 5");
  EXPECT_TRUE(SimExecuteCommand(sim, "release 1 4030").Ok);

  for (const char* bad : {"delay", "delay -1", "delay 5x", "silent maybe", "exception 256", "get 1", "get 2 4000",
                          "set 1 9999 1", "set 1 4000 abc", "unplug", "frobnicate", "only 300"}) {
    const SimCommandResult e = SimExecuteCommand(sim, bad);
    EXPECT_FALSE(e.Ok) << bad;
    EXPECT_EQ(e.Text.rfind("error: ", 0), 0u) << bad;
  }
  EXPECT_FALSE(sim.Faults().Any());
  EXPECT_TRUE(SimExecuteCommand(sim, "   ").Ok);
  EXPECT_TRUE(SimExecuteCommand(sim, "quit").Quit);
}

}  // namespace
