// The gateway's Modbus TCP server against two simulated lines (RTU and ASCII),
// with real clients: mbpoll and pymodbus read the meters by unit id; a raw
// socket client plays the clients that misbehave.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <sstream>

#include "gateway/ClientAllow.h"
#include "gateway/Gateway.h"
#include "gateway/MbapParser.h"
#include "gateway/PassThrough.h"
#include "gateway/RegisterStore.h"
#include "model/ParamDef.h"
#include "sim/SimServer.h"
#include "tests/gateway/GatewayTestSupport.h"
#include "tests/support/PtyTools.h"

using namespace gatewaytest;
using namespace std::chrono_literals;

namespace {

using TBytes = std::vector<uint8_t>;

// What a command printed, and its exit code.
std::string RunCommand(const std::string& command, int* code = nullptr) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  std::string said;
  char buffer[512];
  while (p && fgets(buffer, sizeof buffer, p)) said += buffer;
  const int status = p ? pclose(p) : -1;
  if (code) *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return said;
}

// The 16-bit words a float register travels as, high word first.
std::vector<uint16_t> WordsOf(const std::vector<float>& values) {
  std::vector<uint16_t> words;
  for (float f : values) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    words.push_back(static_cast<uint16_t>(u >> 16));
    words.push_back(static_cast<uint16_t>(u));
  }
  return words;
}

// Hex words in a client's output, after `after`.
std::vector<uint16_t> HexWords(const std::string& text, const std::string& after) {
  std::vector<uint16_t> words;
  const size_t at = text.find(after);
  if (at == std::string::npos) return words;
  std::istringstream in(text.substr(at + after.size()));
  std::string token;
  while (in >> token) {
    if (token.rfind("0x", 0) == 0) token.erase(0, 2);
    if (token.empty() || token.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) continue;
    words.push_back(static_cast<uint16_t>(std::stoul(token, nullptr, 16)));
  }
  return words;
}

// How long a connection the server refuses may take to be closed, and an idle
// time-out well beyond that.
std::chrono::milliseconds CloseWait() { return testsupport::LoadAllowance() + 1s; }
int IdleTimeoutS() {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(2 * CloseWait()).count()) + 2;
}

// A plain socket client: whole frames out, whole frames in.
class TRawClient {
public:
  explicit TRawClient(int port, const char* from = nullptr) {
    Fd = socket(AF_INET, SOCK_STREAM, 0);
    if (from) {
      sockaddr_in local{};
      local.sin_family = AF_INET;
      inet_pton(AF_INET, from, &local.sin_addr);
      bind(Fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    Connected = connect(Fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~TRawClient() { Close(); }
  void Close() {
    if (Fd >= 0) close(Fd);
    Fd = -1;
  }
  void Send(const TBytes& bytes) {
    [[maybe_unused]] auto n = send(Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  // The next reply frame; empty when the server closed the connection or nothing came in time.
  TBytes Receive(std::chrono::milliseconds limit = 10s) {
    TBytes& in = Pending;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (in.size() >= 6 && in.size() >= 6u + (in[4] << 8 | in[5])) {
        const auto frameEnd = in.begin() + 6 + (in[4] << 8 | in[5]);
        TBytes frame(in.begin(), frameEnd);
        in.erase(in.begin(), frameEnd);
        return frame;
      }
      pollfd p{Fd, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      uint8_t b[512];
      const ssize_t n = recv(Fd, b, sizeof b, 0);
      if (n <= 0) return {};
      in.insert(in.end(), b, b + n);
    }
    return {};
  }
  // Whether the server closed the connection within the limit. The default is
  // well short of the idle time-out the tests set, so that a connection closed
  // for being idle is not taken for one the server refused.
  bool ClosedByServer(std::chrono::milliseconds limit = CloseWait()) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{Fd, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      uint8_t b[512];
      if (recv(Fd, b, sizeof b, 0) <= 0) return true;
    }
    return false;
  }
  TBytes Ask(uint8_t unit, uint8_t function, uint16_t reg, uint16_t count, uint16_t transaction = 7) {
    Send({static_cast<uint8_t>(transaction >> 8), static_cast<uint8_t>(transaction), 0, 0, 0, 6, unit,
          function, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg),
          static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)});
    return Receive();
  }
  bool Connected = false;
  int Fd = -1;
  TBytes Pending;  // bytes of the next frames
};

// The exception code of a reply frame; 0 for a normal reply, -1 for none.
int ExceptionOf(const TBytes& frame) {
  if (frame.size() < 9) return -1;
  return (frame[7] & 0x80) ? frame[8] : 0;
}

constexpr int TR5_UNIT = 1;
constexpr int TR8_UNIT = 3;
constexpr int VR5_UNIT = 2;  // address 1 on the second line

class ModbusTcp : public ::testing::Test {
protected:
  void SetUp() override {
    // Line a: RTU, a TR5 and a TR8; line b: ASCII, a VR5 at the same address as the TR5.
    SimConfig a;
    a.Meters = {{MT_TR5, 1}, {MT_TR8, 3}};
    a.Mode = 6;
    a.Pace = true;
    a.LinkPath = Dir.Path() + "/COM1";
    SimConfig b;
    b.Meters = {{MT_VR5, 1}};
    b.Mode = 0;
    b.Pace = true;
    b.LinkPath = Dir.Path() + "/COM2";
    SimA = std::make_unique<SimServer>(a);
    SimB = std::make_unique<SimServer>(b);
    std::string error;
    ASSERT_TRUE(SimA->Start(&error)) << error;
    ASSERT_TRUE(SimB->Start(&error)) << error;
    // Held values do not drift: what the clients get can be compared bit for bit.
    for (int i = 0; i < PROCESS_BLOCK_LENGTH; ++i) {
      TR5Values.push_back(230.25f + static_cast<float>(i) * 1.3f);
      VR5Values.push_back(-17.5f + static_cast<float>(i) * 0.77f);
      SimA->HoldRegister(1, PROCESS_BLOCK_START + i, TR5Values.back());
      SimB->HoldRegister(1, PROCESS_BLOCK_START + i, VR5Values.back());
    }
    TLineConfig la;
    la.Name = "a";
    la.Port = Dir.Path() + "/COM1";
    la.Mode = 6;
    // Room for a loaded machine: a pass-through read is given the whole time-out.
    la.TimeoutMs = 1000;
    // The TR8 has no unit id of its own: it answers at its address.
    la.Meters = {{"incomer", MT_TR5, 1, 1, true}, {"drive", MT_TR8, 3, 0, false}};
    TLineConfig lb = la;
    lb.Name = "b";
    lb.Port = Dir.Path() + "/COM2";
    lb.Mode = 0;
    lb.Meters = {{"feeder", MT_VR5, 1, VR5_UNIT, false}};
    Config.Lines = {la, lb};
    Config.Http.Enabled = true;
    Config.Http.Port = 0;
    Config.ModbusTcp.Enabled = true;
    Config.ModbusTcp.Port = 0;
  }

  void TearDown() override {
    Gw.reset();
    SimA->Stop();
    SimB->Stop();
  }

  void StartGateway() {
    Gw = std::make_unique<TGateway>(Config);
    std::string error;
    ASSERT_TRUE(Gw->Start(error)) << error;
    Port = Gw->ModbusTcpPort();
    ASSERT_GT(Port, 0);
    // Both process blocks are held once polled.
    ASSERT_TRUE(WaitUntil([&] {
      std::vector<uint8_t> bytes;
      const auto now = std::chrono::steady_clock::now();
      return Gw->State().Registers.Read(0, PROCESS_BLOCK_START, 34, 0, now, bytes) ==
                 TRegisterStore::TFind::Held &&
             Gw->State().Registers.Read(2, PROCESS_BLOCK_START, 34, 0, now, bytes) ==
                 TRegisterStore::TFind::Held &&
             Gw->State().Snapshot(2).LinkState == 1;
    }));
  }

  std::string Python(int unit, const std::string& action, int reg, int number) {
    return RunCommand(std::string("/usr/bin/python3 ") + KAVREL_MODBUS_TCP_CLIENT + " " +
                      std::to_string(Port) + " " + std::to_string(unit) + " " + action + " " +
                      std::to_string(reg) + " " + std::to_string(number));
  }

  std::string Metrics() {
    httplib::Client client("127.0.0.1", Gw->HttpPort());
    auto res = client.Get("/metrics");
    return res ? res->body : std::string();
  }

  testsupport::ComDirectory Dir;
  std::unique_ptr<SimServer> SimA, SimB;
  std::vector<float> TR5Values, VR5Values;
  TGatewayConfig Config;
  std::unique_ptr<TGateway> Gw;
  int Port = 0;
};

struct TClientKind {
  const char* Name;
};
void PrintTo(const TClientKind& k, std::ostream* os) { *os << k.Name; }

class ModbusTcpClients : public ModbusTcp, public ::testing::WithParamInterface<TClientKind> {};

TEST_P(ModbusTcpClients, ReadTheProcessBlocksOfTwoLinesBitForBit) {
  StartGateway();
  const bool mbpoll = std::string(GetParam().Name) == "mbpoll";
  for (const auto& [unit, values] : {std::pair{TR5_UNIT, TR5Values}, std::pair{VR5_UNIT, VR5Values}}) {
    const std::vector<uint16_t> expected = WordsOf(values);
    // A client that counts 16-bit words asks for two per register.
    std::string said;
    std::vector<uint16_t> got;
    if (mbpoll) {
      said = RunCommand("mbpoll -m tcp -a " + std::to_string(unit) +
                        " -r 7501 -c 68 -t 4:hex -1 -o 5 127.0.0.1 -p " + std::to_string(Port));
      got = HexWords(said, "Polling slave");
    } else {
      said = Python(unit, "read", PROCESS_BLOCK_START, 68);
      got = HexWords(said, "words");
    }
    EXPECT_EQ(got, expected) << said;
    if (mbpoll) {
      // The README's command, polling once: 34 floats, high word first, at 7501, 7503, ...
      said = RunCommand("mbpoll -m tcp -a " + std::to_string(unit) +
                        " -r 7501 -c 34 -t 4:float -B -1 -o 5 127.0.0.1 -p " + std::to_string(Port));
      const std::regex line(R"(\[(\d+)\]:\s+(\S+))");
      size_t i = 0;
      for (std::sregex_iterator m(said.begin(), said.end(), line), end; m != end; ++m, ++i) {
        ASSERT_LT(i, values.size()) << said;
        EXPECT_EQ(std::stoi((*m)[1]), 7501 + 2 * static_cast<int>(i));
        EXPECT_NEAR(std::stod((*m)[2]), values[i], 1e-3) << said;
      }
      EXPECT_EQ(i, values.size()) << said;
    }
  }
  if (!mbpoll) {
    // pymodbus takes the meter's own layout as well: 34 registers of 4 bytes.
    const std::string said = Python(TR5_UNIT, "read", PROCESS_BLOCK_START, 34);
    EXPECT_EQ(HexWords(said, "words"), WordsOf(TR5Values)) << said;
  }
}
INSTANTIATE_TEST_SUITE_P(Client, ModbusTcpClients,
                         ::testing::Values(TClientKind{"mbpoll"}, TClientKind{"pymodbus"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ModbusTcp, PassesSetupReadsAndWritesToTheLineAndRefusesADeadMeter) {
  Config.ModbusTcp.QueueLimit = 1;
  // Values older than this are not served; the process blocks are renewed many
  // times a second, the relay states not for an hour.
  Config.Lines[0].StaleAfterS = 3 + testsupport::LoadAllowanceMs() / 1000.0;
  Config.Lines[0].RelayIntervalMs = 3600000;
  StartGateway();
  TRawClient raw(Port);
  ASSERT_TRUE(raw.Connected);

  // The meter's own layout from memory: 34 registers, 136 bytes, the function asked (3 or 4).
  for (uint8_t function : {3, 4}) {
    const TBytes reply = raw.Ask(TR5_UNIT, function, PROCESS_BLOCK_START, 34);
    ASSERT_EQ(reply.size(), 9u + 136u);
    EXPECT_EQ(reply[7], function);
    std::vector<uint16_t> words;
    for (size_t i = 9; i + 1 < reply.size(); i += 2)
      words.push_back(static_cast<uint16_t>(reply[i] << 8 | reply[i + 1]));
    EXPECT_EQ(words, WordsOf(TR5Values));
  }
  // A part of the block; a span that runs past it; a unit no meter has.
  EXPECT_EQ(raw.Ask(TR5_UNIT, 3, PROCESS_BLOCK_START + 30, 4).size(), 9u + 16u);
  EXPECT_EQ(ExceptionOf(raw.Ask(TR5_UNIT, 3, PROCESS_BLOCK_START + 30, 5)), mbap::ILLEGAL_ADDRESS);
  EXPECT_EQ(ExceptionOf(raw.Ask(TR5_UNIT, 3, PROCESS_BLOCK_START - 2, 4)), mbap::ILLEGAL_ADDRESS);
  EXPECT_EQ(ExceptionOf(raw.Ask(99, 3, PROCESS_BLOCK_START, 2)), mbap::PATH_UNAVAILABLE);

  // A setup register is read from the meter, between two polling transactions.
  SimA->HoldRegister(1, 4000, 150);
  SimA->ClearRequests();
  std::string said = Python(TR5_UNIT, "read", 4000, 2);
  EXPECT_EQ(HexWords(said, "words"),
            (std::vector<uint16_t>{150, static_cast<uint16_t>(*SimA->GetRegister(1, 4001))}))
      << said;
  const auto asked = [](SimServer& sim, int function, int reg) {
    for (const SimRequest& r : sim.Requests())
      if (r.Function == function && r.Register == reg) return true;
    return false;
  };
  EXPECT_TRUE(asked(*SimA, 3, 4000));

  // Writes: refused where allow_writes is off (nothing reaches the line), done with read-back where on.
  SimB->ClearRequests();
  said = Python(VR5_UNIT, "write", 4000, 40);
  EXPECT_NE(said.find("exception 1"), std::string::npos) << said;
  EXPECT_FALSE(asked(*SimB, 6, 4000));
  SimA->ReleaseRegister(1, 4000);
  SimA->ClearRequests();
  said = Python(TR5_UNIT, "write", 4000, 1234);
  EXPECT_NE(said.find("written 4000 1234"), std::string::npos) << said;
  EXPECT_EQ(*SimA->GetRegister(1, 4000), 1234);
  const std::vector<SimRequest> log = SimA->Requests();
  const auto write =
      std::find_if(log.begin(), log.end(), [](const SimRequest& r) { return r.Function == 6; });
  ASSERT_NE(write, log.end());
  EXPECT_TRUE(std::any_of(write, log.end(), [](const SimRequest& r) {
    return r.Function == 3 && r.Register == 4000;
  })) << "read back";
  // Outside the register's limits (1 ... 20000): the meter is not asked.
  SimA->ClearRequests();
  said = Python(TR5_UNIT, "write", 4000, 30000);
  EXPECT_NE(said.find("exception 3"), std::string::npos) << said;
  EXPECT_FALSE(asked(*SimA, 6, 4000));

  // No such setup register on the model, or a measured one: nothing is sent.
  EXPECT_EQ(ExceptionOf(raw.Ask(TR5_UNIT, 6, 5999, 1)), mbap::ILLEGAL_ADDRESS);
  EXPECT_EQ(ExceptionOf(raw.Ask(TR5_UNIT, 6, PROCESS_BLOCK_START, 1)), mbap::ILLEGAL_ADDRESS);
  EXPECT_FALSE(asked(*SimA, 6, 5999) || asked(*SimA, 6, PROCESS_BLOCK_START));
  // Requests sent back to back are answered one by one, in order.
  raw.Send(
      {0, 1, 0, 0, 0, 6, TR5_UNIT, 3, 0x0F, 0xA0, 0, 1, 0, 2, 0, 0, 0, 6, TR5_UNIT, 3, 0x1D, 0x4C, 0, 2});
  const TBytes one = raw.Receive(), two = raw.Receive();
  ASSERT_GE(one.size(), 9u);
  ASSERT_GE(two.size(), 9u);
  EXPECT_EQ(one[1], 1);
  EXPECT_EQ(one[8], 2);  // one 16-bit register
  EXPECT_EQ(two[1], 2);
  EXPECT_EQ(two[8], 8);  // two floats

  // Over the line's queue limit (1 here) a pass-through request is refused as busy.
  SimB->SetFaults(SimFaults{.DelayMs = 150, .OnlyAddress = 1});
  std::vector<std::unique_ptr<TRawClient>> crowd;
  for (int i = 0; i < 4; ++i) {
    crowd.push_back(std::make_unique<TRawClient>(Port));
    crowd.back()->Send({0, 1, 0, 0, 0, 6, VR5_UNIT, 3, 0x0F, 0xA0, 0, 1});
  }
  int busy = 0, answered = 0;
  for (auto& c : crowd) {
    const int e = ExceptionOf(c->Receive(20s));
    busy += e == mbap::BUSY;
    answered += e == 0;
  }
  EXPECT_GE(busy, 1);
  EXPECT_GE(answered, 1);
  SimB->SetFaults(SimFaults{});

  // A block read long ago is not served, though the meter's link is up: the
  // TR5's relay state (4030), read here at the start only, once older than
  // stale_after_s. Passed to the line it would be answered.
  EXPECT_TRUE(WaitUntil([&] { return ExceptionOf(raw.Ask(TR5_UNIT, 3, 4030, 1)) == mbap::TARGET_FAILED; }));
  EXPECT_EQ(Gw->State().Snapshot(0).LinkState, 1);
  EXPECT_EQ(ExceptionOf(raw.Ask(TR5_UNIT, 3, PROCESS_BLOCK_START, 34)), 0);

  // A meter that stops answering: the read under way times out, and once its
  // link is down nothing is served for it, from memory either.
  SimA->SetFaults(SimFaults{.NoReply = true, .OnlyAddress = 3});
  EXPECT_EQ(ExceptionOf(raw.Ask(TR8_UNIT, 3, 4000, 1)), mbap::TARGET_FAILED);
  ASSERT_TRUE(WaitUntil([&] { return Gw->State().Snapshot(1).LinkState != 1; }));
  EXPECT_EQ(ExceptionOf(raw.Ask(TR8_UNIT, 3, PROCESS_BLOCK_START, 34)), mbap::TARGET_FAILED);
  // The others are served all along.
  EXPECT_EQ(ExceptionOf(raw.Ask(TR5_UNIT, 3, PROCESS_BLOCK_START, 34)), 0);
  SimA->SetFaults(SimFaults{});
  EXPECT_TRUE(WaitUntil([&] { return ExceptionOf(raw.Ask(TR8_UNIT, 3, PROCESS_BLOCK_START, 34)) == 0; }));
}

TEST_F(ModbusTcp, ClientsThatMisbehaveLeaveTheOthersServed) {
  Config.ModbusTcp.MaxConnections = 4;
  Config.ModbusTcp.IdleTimeoutS = IdleTimeoutS();
  Config.ModbusTcp.Allow = {"127.0.0.1/32", "::1/128"};
  StartGateway();
  TRawClient good(Port);
  auto served = [&] { return ExceptionOf(good.Ask(TR5_UNIT, 3, PROCESS_BLOCK_START, 34)) == 0; };
  ASSERT_TRUE(served());

  // From an address outside the allow list: refused at connect.
  {
    TRawClient stranger(Port, "127.0.0.2");
    EXPECT_TRUE(stranger.ClosedByServer());
  }
  TRawClient first(Port);
  ASSERT_TRUE(ExceptionOf(first.Ask(TR5_UNIT, 3, PROCESS_BLOCK_START, 2)) == 0);

  // Garbage, a frame longer than 260 bytes, a wrong protocol id: closed.
  for (const TBytes& bad :
       {TBytes{'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P', '/', '1', '.', '1', '\r', '\n'},
        TBytes{0, 1, 0, 0, 0x01, 0x00, 1, 3}, TBytes{0, 1, 0, 1, 0, 6, 1, 3, 0x1D, 0x4C, 0, 2}}) {
    TRawClient c(Port);
    c.Send(bad);
    EXPECT_TRUE(c.ClosedByServer());
  }
  // An unknown function, a quantity of 0 or over 125: the exception, and the connection stays.
  {
    TRawClient c(Port);
    c.Send({0, 9, 0, 0, 0, 2, 1, 0x11});
    const TBytes reply = c.Receive();
    EXPECT_EQ(reply, (TBytes{0, 9, 0, 0, 0, 3, 1, 0x91, mbap::ILLEGAL_FUNCTION}));
    EXPECT_EQ(ExceptionOf(c.Ask(TR5_UNIT, 3, PROCESS_BLOCK_START, 0)), mbap::ILLEGAL_VALUE);
    EXPECT_EQ(ExceptionOf(c.Ask(TR5_UNIT, 3, PROCESS_BLOCK_START, 126)), mbap::ILLEGAL_VALUE);
    EXPECT_EQ(ExceptionOf(c.Ask(TR5_UNIT, 3, PROCESS_BLOCK_START, 2)), 0);
  }
  // Once the server has seen those clients go, only the good connection is left.
  auto settled = [&] {
    return WaitUntil([&] {
      const std::string m = Metrics();
      const size_t at = m.find("kavrel_modbus_tcp_connections{client=\"127.0.0.1\"} ");
      return at != std::string::npos && std::stoi(m.substr(m.find('}', at) + 2)) <= 1;
    });
  };
  first.Close();
  EXPECT_TRUE(settled()) << Metrics();
  // Gone in mid-request, with a pass-through read under way too.
  {
    TRawClient c(Port);
    c.Send({0, 1, 0, 0, 0, 6, TR5_UNIT, 3, 0x1D});
    TRawClient d(Port);
    d.Send({0, 1, 0, 0, 0, 6, TR5_UNIT, 3, 0x0F, 0xA0, 0, 1});
  }
  EXPECT_TRUE(served());
  EXPECT_TRUE(settled()) << Metrics();

  // More connections than allowed: the one over is closed, the others go on.
  std::vector<std::unique_ptr<TRawClient>> many;
  for (int i = 0; i < 3; ++i) many.push_back(std::make_unique<TRawClient>(Port));
  for (auto& c : many) EXPECT_EQ(ExceptionOf(c->Ask(TR5_UNIT, 3, PROCESS_BLOCK_START, 2)), 0);
  TRawClient over(Port);
  EXPECT_TRUE(over.ClosedByServer());
  EXPECT_TRUE(served());
  // An idle connection is closed after idle_timeout_s.
  EXPECT_TRUE(many[0]->ClosedByServer(std::chrono::seconds(IdleTimeoutS()) + CloseWait()));

  const std::string metrics = Metrics();
  for (const char* series :
       {"kavrel_modbus_tcp_connections{client=\"127.0.0.1\"} ",
        "kavrel_modbus_tcp_requests_total{client=\"127.0.0.1\"} ",
        "kavrel_modbus_tcp_exceptions_total{client=\"127.0.0.1\"} 3\n", "kavrel_modbus_tcp_refused_total 2\n",
        "kavrel_modbus_tcp_pass_through_queue{line=\"b\"} 0\n"})
    EXPECT_NE(metrics.find(series), std::string::npos) << series << "\n" << metrics;
}

// The frame reader on its own: every kind of frame a client may send.
TEST(Mbap, FramesAreTakenRefusedOrCloseTheConnection) {
  const struct {
    TBytes In;
    mbap::TParse Result;
    uint8_t Code;
    size_t Consumed;
  } cases[] = {
      {{0, 5, 0, 0, 0, 6, 1, 3, 0x1D, 0x4C, 0, 34}, mbap::TParse::Request, 0, 12},
      {{0, 5, 0, 0, 0, 6, 1, 3, 0x1D, 0x4C, 0, 34, 0, 6},
       mbap::TParse::Request,
       0,
       12},  // the next frame's start stays
      {{0, 5, 0, 0, 0, 6, 1, 6, 0x0F, 0xA0, 0xFF, 0xFF}, mbap::TParse::Request, 0, 12},  // a write of -1
      {{0, 5, 0, 0, 0, 6, 1, 4, 0x1D, 0x4C, 0, 125}, mbap::TParse::Request, 0, 12},
      {{0, 5, 0, 0, 0, 6, 1, 3, 0x1D, 0x4C, 0}, mbap::TParse::NeedMore, 0, 0},
      {{0, 5, 0, 0, 0, 6}, mbap::TParse::NeedMore, 0, 0},
      {{0, 5, 0, 0, 0, 6, 1, 3, 0x1D, 0x4C, 0, 0}, mbap::TParse::Exception, mbap::ILLEGAL_VALUE, 12},
      {{0, 5, 0, 0, 0, 6, 1, 3, 0x1D, 0x4C, 0, 126}, mbap::TParse::Exception, mbap::ILLEGAL_VALUE, 12},
      {{0, 5, 0, 0, 0, 7, 1, 3, 0x1D, 0x4C, 0, 1, 9}, mbap::TParse::Exception, mbap::ILLEGAL_VALUE, 13},
      {{0, 5, 0, 0, 0, 2, 1, 0x10}, mbap::TParse::Exception, mbap::ILLEGAL_FUNCTION, 8},
      {{0, 5, 0, 0, 0, 0xFE, 1, 0x2B}, mbap::TParse::NeedMore, 0, 0},  // 260 bytes in all: wait for them
      {{0, 5, 0, 0, 0, 0xFF, 1, 3}, mbap::TParse::Close, 0, 0},        // 261
      {{0, 5, 0, 0, 0, 1, 1, 3}, mbap::TParse::Close, 0, 0},           // no function code
      {{0, 5, 0, 2, 0, 6, 1, 3, 0x1D, 0x4C, 0, 34}, mbap::TParse::Close, 0, 0},
  };
  for (const auto& k : cases) {
    const mbap::TRequest r = mbap::Parse(k.In.data(), k.In.size());
    EXPECT_EQ(r.Result, k.Result) << ::testing::PrintToString(k.In);
    EXPECT_EQ(r.Code, k.Code) << ::testing::PrintToString(k.In);
    EXPECT_EQ(r.Consumed, k.Consumed) << ::testing::PrintToString(k.In);
  }
  const TBytes write = {0x12, 0x34, 0, 0, 0, 6, 9, 6, 0x0F, 0xA0, 0xFF, 0xFF};
  const mbap::TRequest w = mbap::Parse(write.data(), write.size());
  EXPECT_EQ(w.Transaction, 0x1234);
  EXPECT_EQ(w.Unit, 9);
  EXPECT_EQ(w.Register, 4000);
  EXPECT_EQ(w.Count, 0xFFFF);
  EXPECT_EQ(mbap::ExceptionReply(0x1234, 9, 6, 2), (TBytes{0x12, 0x34, 0, 0, 0, 3, 9, 0x86, 2}));
}

// Reads from memory: the meter's own layout, 16-bit words, spans outside, stale blocks.
TEST(RegisterStore, AnswersHeldSpansInEitherCountAndNothingElse) {
  TRegisterStore store;
  const auto t0 = std::chrono::steady_clock::now();
  TBytes block(34 * 4);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
  store.Store(0, 7500, 34, block.data(), block.size(), t0);
  const TBytes relay = {0, 5};
  store.Store(0, 4030, 1, relay.data(), relay.size(), t0);
  store.Store(0, 7612, 6, block.data(), 23, t0);  // the wrong size: not kept
  TBytes got;
  using F = TRegisterStore::TFind;
  EXPECT_EQ(store.Read(0, 7500, 34, 0, t0, got), F::Held);
  EXPECT_EQ(got, block);
  EXPECT_EQ(store.Read(0, 7500, 68, 0, t0, got), F::Held);  // as words
  EXPECT_EQ(got, block);
  EXPECT_EQ(store.Read(0, 7532, 4, 0, t0, got), F::Held);  // two registers as four words
  EXPECT_EQ(got, TBytes(block.end() - 8, block.end()));
  EXPECT_EQ(store.Read(0, 7532, 3, 0, t0, got), F::Outside);
  EXPECT_EQ(store.Read(0, 7533, 4, 0, t0, got), F::Outside);
  EXPECT_EQ(store.Read(0, 7490, 20, 0, t0, got), F::Outside);
  EXPECT_EQ(store.Read(0, 4030, 1, 0, t0, got), F::Held);
  EXPECT_EQ(got, relay);
  EXPECT_EQ(store.Read(0, 4030, 2, 0, t0, got), F::Outside);  // 16-bit registers have no word reading
  EXPECT_EQ(store.Read(0, 7612, 6, 0, t0, got), F::NotHeld);
  EXPECT_EQ(store.Read(0, 4000, 10, 0, t0, got), F::NotHeld);
  EXPECT_EQ(store.Read(1, 7500, 34, 0, t0, got), F::NotHeld);
  // A reply holds at most 250 bytes of registers.
  TBytes longBlock(70 * 4, 1);
  store.Store(2, 7700, 70, longBlock.data(), longBlock.size(), t0);
  EXPECT_EQ(store.Read(2, 7700, 62, 0, t0, got), F::Held);
  EXPECT_EQ(store.Read(2, 7700, 63, 0, t0, got), F::Outside);
  // Stale: past stale_after_s, or else three read intervals but at least 10 s.
  EXPECT_EQ(store.Read(0, 7500, 2, 5, t0 + 6s, got), F::Stale);
  EXPECT_EQ(store.Read(0, 7500, 2, 0, t0 + 9s, got), F::Held);
  store.Store(0, 7500, 34, block.data(), block.size(), t0 + 5s);
  EXPECT_EQ(store.Read(0, 7500, 2, 0, t0 + 19s, got), F::Held);
  EXPECT_EQ(store.Read(0, 7500, 2, 0, t0 + 21s, got), F::Stale);
}

TEST(ClientAllow, NetworksAndTheAddressesInThem) {
  std::vector<TNetwork> allow(3);
  ASSERT_TRUE(ParseNetwork("127.0.0.1/32", allow[0]));
  ASSERT_TRUE(ParseNetwork("192.0.2.0/23", allow[1]));
  ASSERT_TRUE(ParseNetwork("::1", allow[2]));
  EXPECT_TRUE(AddressAllowed("127.0.0.1", allow));
  EXPECT_FALSE(AddressAllowed("127.0.0.2", allow));
  EXPECT_TRUE(AddressAllowed("192.0.3.255", allow));
  EXPECT_FALSE(AddressAllowed("192.0.4.0", allow));
  EXPECT_TRUE(AddressAllowed("::ffff:192.0.2.7", allow));
  EXPECT_TRUE(AddressAllowed("::1", allow));
  EXPECT_FALSE(AddressAllowed("::2", allow));
  EXPECT_FALSE(AddressAllowed("not an address", allow));
  TNetwork n;
  for (const char* bad : {"127.0.0.1/33", "::1/129", "10.0.0.0/", "10.0.0.0/x", "10.0.0", "", "/8"})
    EXPECT_FALSE(ParseNetwork(bad, n)) << bad;
  const TParamDef* def = FindParamDef(SelectorOfRegister(MT_TR5, 4000));
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->Register, 4000);
  EXPECT_EQ(SelectorOfRegister(MT_TR5, 5999), 0);
}

}  // namespace
