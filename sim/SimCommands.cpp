#include "sim/SimCommands.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "comm/ModbusFrame.h"
#include "sim/SimServer.h"

const char* SimCommandHelp() {
  return "Faults (they hit the replies of the meters; several can be on at once):\n"
         "  silent on|off         give no reply at all\n"
         "  delay MS              reply MS milliseconds late (0: at once)\n"
         "  badcheck on|off       spoil the LRC (ASCII) or CRC (RTU) of each reply\n"
         "  noise N               send N noise bytes in front of each reply (0: none)\n"
         "  wrongaddr on|off      reply as if from the next address up\n"
         "  echo on|off           the line hands every byte the master sends straight back\n"
         "                        (a 2-wire adapter with local echo); not ended by next\n"
         "  exception CODE        answer every request with exception CODE (1-255; 0: off)\n"
         "  trickle MS            send each reply byte by byte, MS milliseconds apart (0: off)\n"
         "  only ADDRESS          faults hit only the meter at ADDRESS (0: every meter)\n"
         "  next N                the faults now on end by themselves after N replies (0: never)\n"
         "  clear                 all faults off\n"
         "  unplug [SECONDS]      take the line away (link and port vanish), for SECONDS or until plug\n"
         "  plug                  bring the line back\n"
         "Registers:\n"
         "  get ADDRESS REGISTER          show a register's value\n"
         "  set ADDRESS REGISTER VALUE    hold a register at VALUE (e.g. set 1 4030 5: relay P1 and P3)\n"
         "  release ADDRESS REGISTER      let the meter compute the register again\n"
         "  write ADDRESS REGISTER VALUE  write a setup register as the master would (e.g. write 1 4010 1:\n"
         "                                the TR5 at 1 cancels its active energy counter)\n"
         "Other:\n"
         "  status                show the line, the meters and the faults\n"
         "  help                  this list\n"
         "  quit                  stop the simulator (as Ctrl+C does)\n";
}

namespace {

bool ParseInt(const std::string& s, int& out) {
  const char* end = s.data() + s.size();
  const auto [p, ec] = std::from_chars(s.data(), end, out);
  return ec == std::errc() && p == end;
}

bool ParseDouble(const std::string& s, double& out) {
  if (s.empty()) return false;
  const char* end = s.data() + s.size();
  const auto [p, ec] = std::from_chars(s.data(), end, out);
  return ec == std::errc() && p == end;
}

bool ParseSwitch(const std::string& s, bool& out) {
  if (s == "on" || s == "1" || s == "yes") return out = true, true;
  if (s == "off" || s == "0" || s == "no") return out = false, true;
  return false;
}

std::string DescribeFaults(const SimFaults& f) {
  std::string s;
  auto add = [&s](const std::string& t) { s += (s.empty() ? "" : ", ") + t; };
  if (f.NoReply) add("silent");
  if (f.DelayMs > 0) add("delay " + std::to_string(f.DelayMs) + " ms");
  if (f.BadCheck) add("bad check");
  if (f.NoiseBytes > 0) add("noise " + std::to_string(f.NoiseBytes) + " bytes");
  if (f.WrongAddress) add("wrong address");
  if (f.ExceptionCode > 0) add("exception " + std::to_string(f.ExceptionCode));
  if (f.TrickleMs > 0) add("trickle " + std::to_string(f.TrickleMs) + " ms");
  if (f.Echo) add("local echo");
  if (s.empty()) return "none";
  if (f.OnlyAddress > 0) s += " (meter " + std::to_string(f.OnlyAddress) + " only)";
  if (f.ForReplies > 0) s += " for the next " + std::to_string(f.ForReplies) + " replies";
  return s;
}

SimCommandResult Fail(const std::string& text) { return {false, false, "error: " + text}; }

}  // namespace

SimCommandResult SimExecuteCommand(SimServer& server, const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string t; in >> t;) w.push_back(t);
  if (w.empty() || w[0][0] == '#') return {};
  const std::string& cmd = w[0];
  const size_t args = w.size() - 1;

  SimFaults f = server.Faults();
  int n = 0;
  bool b = false;
  auto setFaults = [&server, &f] {
    server.SetFaults(f);
    return SimCommandResult{true, false, "faults: " + DescribeFaults(f)};
  };

  if (cmd == "silent" || cmd == "badcheck" || cmd == "wrongaddr" || cmd == "echo") {
    if (args != 1 || !ParseSwitch(w[1], b)) return Fail(cmd + " needs on or off");
    (cmd == "silent"     ? f.NoReply
     : cmd == "badcheck" ? f.BadCheck
     : cmd == "echo"     ? f.Echo
                         : f.WrongAddress) = b;
    return setFaults();
  }
  if (cmd == "delay" || cmd == "trickle" || cmd == "noise") {
    const int limit = cmd == "noise" ? 1000 : 600000;
    if (args != 1 || !ParseInt(w[1], n) || n < 0 || n > limit)
      return Fail(cmd + " needs a number from 0 to " + std::to_string(limit));
    (cmd == "delay" ? f.DelayMs : cmd == "trickle" ? f.TrickleMs : f.NoiseBytes) = n;
    return setFaults();
  }
  if (cmd == "exception") {
    if (args != 1 || !ParseInt(w[1], n) || n < 0 || n > 255) return Fail("exception needs a code from 0 to 255");
    f.ExceptionCode = n;
    return setFaults();
  }
  if (cmd == "only") {
    if (args != 1 || !ParseInt(w[1], n) || n < 0 || n > 247) return Fail("only needs an address from 0 to 247");
    f.OnlyAddress = n;
    return setFaults();
  }
  if (cmd == "next") {
    if (args != 1 || !ParseInt(w[1], n) || n < 0) return Fail("next needs a count of replies (0: no limit)");
    f.ForReplies = n;
    return setFaults();
  }
  if (cmd == "clear" && args == 0) {
    f = SimFaults{};
    return setFaults();
  }
  if (cmd == "unplug") {
    double seconds = 0;
    if (args > 1 || (args == 1 && (!ParseDouble(w[1], seconds) || !(seconds >= 0) || seconds > 86400)))
      return Fail("unplug takes an optional number of seconds");
    if (!server.Running()) return Fail("the simulator is not running");
    server.Unplug(std::chrono::milliseconds(std::lround(seconds * 1000)));
    return {true, false,
            seconds > 0 ? "line unplugged for " + w[1] + " s" : "line unplugged until plug"};
  }
  if (cmd == "plug" && args == 0) {
    std::string error;
    if (!server.Plug(&error)) return Fail("cannot bring the line back: " + error);
    return {true, false, "line back: " + server.DevicePath()};
  }
  if (cmd == "get" || cmd == "release" || cmd == "set") {
    int address = 0, reg = 0;
    double value = 0;
    const size_t need = cmd == "set" ? 3 : 2;
    if (args != need || !ParseInt(w[1], address) || !ParseInt(w[2], reg) ||
        (cmd == "set" && !ParseDouble(w[3], value)))
      return Fail(cmd + (cmd == "set" ? " needs ADDRESS REGISTER VALUE" : " needs ADDRESS REGISTER"));
    if (cmd == "get") {
      const auto v = server.GetRegister(address, reg);
      if (!v) return Fail("meter " + w[1] + " has no register " + w[2]);
      char text[64];
      std::snprintf(text, sizeof text, "%d/%d = %.9g", address, reg, *v);
      return {true, false, text};
    }
    const bool ok = cmd == "set" ? server.HoldRegister(address, reg, value) : server.ReleaseRegister(address, reg);
    if (!ok) return Fail("meter " + w[1] + " has no register " + w[2]);
    return {true, false, cmd == "set" ? w[1] + "/" + w[2] + " held at " + w[3] : w[1] + "/" + w[2] + " released"};
  }
  if (cmd == "write") {
    int address = 0, reg = 0, value = 0;
    if (args != 3 || !ParseInt(w[1], address) || !ParseInt(w[2], reg) || !ParseInt(w[3], value) ||
        value < -32768 || value > 65535)
      return Fail("write needs ADDRESS REGISTER VALUE (a 16-bit value)");
    const int result = server.WriteRegister(address, reg, value);
    if (result < 0) return Fail("no meter at address " + w[1]);
    if (result > 0)
      return Fail("meter " + w[1] + " refused the write with exception " + std::to_string(result));
    return {true, false, w[1] + "/" + w[2] + " written: " + w[3]};
  }
  if (cmd == "status" && args == 0) {
    const SimConfig& c = server.Config();
    std::string s = "line: ";
    if (!server.Running()) s += "not running";
    else if (!server.Plugged()) s += "unplugged";
    else s += (server.LinkPath().empty() ? "" : server.LinkPath() + " -> ") + server.DevicePath();
    s += ", " + std::string(SimModeIsRtu(c.Mode) ? "RTU" : "ASCII") + " mode " + std::to_string(c.Mode) + " (" +
         SimModeText(c.Mode) + "), " + std::to_string(c.Baud) + " bit/s\nmeters:";
    for (const SimMeterConfig& m : c.Meters) s += std::string(" ") + SimModelName(m.Type) + "@" + std::to_string(m.Address);
    s += "\nfaults: " + DescribeFaults(f) + "\nrequests: " + std::to_string(server.RequestCount());
    return {true, false, s};
  }
  if (cmd == "help" && args == 0) return {true, false, SimCommandHelp()};
  if (cmd == "quit" && args == 0) return {true, true, ""};
  return Fail("unknown command \"" + line + "\" (help lists the commands)");
}

std::string SimDescribeRequest(const SimRequest& r) {
  char text[160];
  int n = std::snprintf(text, sizeof text, "%9.3f  @%-3d fn %-3d", r.Time, r.Address, r.Function);
  if (r.Function == modbus::READ_HOLDING_REGISTERS && r.Register >= 0)
    n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), " read %d x%d", r.Register, r.Count);
  else if (r.Function == modbus::WRITE_SINGLE_REGISTER && r.Register >= 0)
    n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), " write %d := %d", r.Register, r.Value);
  if (r.Address == 0)
    std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "  -> broadcast, no reply");
  else if (r.Exception)
    std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "  -> exception %d", r.Exception);
  else if (r.Reply)
    std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "  -> ok");
  else
    std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "  -> no reply");
  return text;
}
