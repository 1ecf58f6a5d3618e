// The master against an independent Modbus slave (pymodbus's serial server)
// over two pseudo-terminals joined like a null-modem cable, in both framings:
// function 3 reads of 16-bit registers, function 6 writes, an exception reply.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "comm/Trans.h"
#include "tests/support/PtyTools.h"

#ifndef KAVREL_MODBUS_SLAVE_SCRIPT
#error "KAVREL_MODBUS_SLAVE_SCRIPT must name the slave script"
#endif

namespace {

constexpr const char* PYTHON = "/usr/bin/python3";

// The slave as a child process; killed when the test ends however it ends
// (and by the kernel should the test process die first).
class SlaveProcess {
public:
  SlaveProcess(const std::string& port, const std::string& framing, int unit) {
    int out[2];
    if (pipe(out) != 0) return;
    const pid_t parent = getpid();
    Pid = fork();
    if (Pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(3);
      dup2(out[1], STDOUT_FILENO);
      dup2(out[1], STDERR_FILENO);
      close(out[0]);
      close(out[1]);
      const std::string unitText = std::to_string(unit);
      execl(PYTHON, PYTHON, KAVREL_MODBUS_SLAVE_SCRIPT, port.c_str(), framing.c_str(), unitText.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    Output = out[0];
  }

  ~SlaveProcess() {
    if (Pid > 0) {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
    if (Output >= 0) close(Output);
  }

  // Waits for the "ready" line; returns what the slave printed otherwise.
  bool WaitReady(std::string& said, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (Output >= 0 && std::chrono::steady_clock::now() < deadline) {
      if (said.find("ready\n") != std::string::npos) return true;
      pollfd p{Output, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char buffer[512];
      const ssize_t n = read(Output, buffer, sizeof buffer);
      if (n <= 0) break;  // the slave exited
      said.append(buffer, static_cast<size_t>(n));
    }
    return said.find("ready\n") != std::string::npos;
  }

private:
  pid_t Pid = -1;
  int Output = -1;
};

class Interop : public ::testing::TestWithParam<int> {
protected:
  void SetUp() override {
    const bool rtu = GetParam() >= 3;
    Slave = std::make_unique<SlaveProcess>(Cable.PathA(), rtu ? "rtu" : "ascii", 17);
    std::string said;
    ASSERT_TRUE(Slave->WaitReady(said, 30000)) << "the pymodbus serial slave did not start:\n" << said;
    Dir.Link(1, Cable.PathB());
    ASSERT_EQ(Port.Configure(0, 6, GetParam(), 0), 0);
    Port.ReplyTimeout = 3000;  // the slave is a Python program on a loaded machine
  }

  std::vector<int16_t> Take(int n) {
    std::vector<int16_t> v(static_cast<size_t>(n));
    for (auto& x : v) EXPECT_EQ(Port.TakeValue('i', &x), 0);
    return v;
  }

  testsupport::PtyLink Cable;
  testsupport::ComDirectory Dir;
  std::unique_ptr<SlaveProcess> Slave;
  TModbusPort Port;
};

TEST_P(Interop, ReadsWritesAndExceptionsAgreeWithAnIndependentSlave) {
  // Blocking read.
  ASSERT_EQ(Port.ReadRegistersWait(17, 0, 4), 3);
  EXPECT_EQ(Port.Reply.ByteCount, 8);
  EXPECT_EQ(Take(4), (std::vector<int16_t>{1000, 1001, 1002, 1003}));

  // Non-blocking read, driven as the acquisition step drives it.
  int r;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((r = Port.ReadRegisters(17, 40, 3)) == MB_PENDING && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(r, 3);
  EXPECT_EQ(Take(3), (std::vector<int16_t>{1040, 1041, 1042}));

  // Write, confirmed by the slave's echo, then read back.
  const int16_t value = -1234;
  ASSERT_EQ(Port.AppendValue('i', &value), 0);
  ASSERT_EQ(Port.WriteRegister(17, 5), 6);
  ASSERT_EQ(Port.ReadRegistersWait(17, 4, 3), 3);
  EXPECT_EQ(Take(3), (std::vector<int16_t>{1004, -1234, 1006}));

  // Registers the slave does not have: exception 0x83.
  EXPECT_EQ(Port.ReadRegistersWait(17, 200, 2), 0x83);
  // Another unit address: the slave keeps silent.
  Port.ReplyTimeout = 500;
  EXPECT_EQ(Port.ReadRegistersWait(18, 0, 1), MB_NO_REPLY);
  Port.ReplyTimeout = 3000;
  // And the line is still good afterwards.
  ASSERT_EQ(Port.ReadRegistersWait(17, 99, 1), 3);
  EXPECT_EQ(Take(1), std::vector<int16_t>{1099});
}

INSTANTIATE_TEST_SUITE_P(Framing, Interop, ::testing::Values(0, 6),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param >= 3 ? std::string("Rtu") : std::string("Ascii");
                         });

}  // namespace
