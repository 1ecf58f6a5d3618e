// kavrel-cli: the help text and the command line.
#include "tools/CliSession.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "comm/LineFormat.h"
#include "comm/LineFraming.h"
#include "comm/SerialDeviceTcp.h"
#include "settings/Settings.h"

namespace cli {

const char* const HELP_TEXT =
    "Usage: kavrel-cli [OPTIONS] COMMAND [ARGUMENTS]\n"
    "\n"
    "Talks to the current meter of Kavrel.INI in the working directory; the options\n"
    "override the port settings and the meter found there (defaults as in the program:\n"
    "COM1, 19200 bit/s, mode 0, RS485 card, address 1, TR5).\n"
    "\n"
    "Commands:\n"
    "  poll [--cycles N] [--csv]  run the acquisition cycle on the 200 ms timer and print\n"
    "                             the 40 measured quantities after every full cycle (process\n"
    "                             and THD block), laid out as the measurement table, with link\n"
    "                             and alarm events as they happen. Without --cycles it runs\n"
    "                             until interrupted. --csv prints one line per cycle (time,\n"
    "                             cycle, then the quantities in register order) and writes\n"
    "                             the events to standard error. \"----\" marks no value.\n"
    "                             A port that is missing or refused is waited for (\"waiting\n"
    "                             for COM3\" on standard error), tried again at most every 5 s;\n"
    "                             the other commands fail at once (exit 1)\n"
    "  groups                     list the register groups of the meter model: selector and title\n"
    "  read SELECTOR              read a group from the meter (SELECTOR = group * 100) and print\n"
    "                             each item: selector, code, description, value with unit;\n"
    "                             group * 100 + n prints item n only\n"
    "  backup FILE                read every setup item of the meter into FILE (plain text,\n"
    "                             one item a line; the meter's clock and relay state left out)\n"
    "  diff FILE                  read the meter and list the items whose value differs from\n"
    "                             FILE: exit 0 the same, 1 different; a value outside its\n"
    "                             item's limits is marked, in any item\n"
    "  restore FILE [--yes]       show the differences, ask, then write only those items, each\n"
    "                             read back; a file of another model or damaged is refused\n"
    "                             before anything is sent, and one where an item to be written\n"
    "                             is outside its limits (named) before anything is written\n"
    "  write SELECTOR VALUE       write one setup parameter (SELECTOR = group * 100 + item);\n"
    "                             done only when the meter reads back the value sent, which\n"
    "                             is then printed\n"
    "  scan [--all-settings] [--from A --to B] [--probe-margin MS]\n"
    "                             find the meters on the line: probe addresses A to B (default\n"
    "                             1 to 247) at the port's settings, or with --all-settings at\n"
    "                             every baud rate and mode (long: the estimate is printed\n"
    "                             first), and print one line per meter found: address, model\n"
    "                             (\"VR5 or VR5B\" where the registers cannot tell, \"unknown\"\n"
    "                             with the reason) and line settings. --probe-margin is what\n"
    "                             the first probe of an address waits beyond its line time\n"
    "                             (default 50 ms); an address that stays silent is probed\n"
    "                             again, waiting its line time, the latency measured on the\n"
    "                             answers so far and 250 ms\n"
    "\n"
    "Options:\n"
    "  --port COMn | n            serial port COM1 to COM8\n"
    "  --tcp HOST:PORT            a network serial server (RTU or ASCII frames over TCP)\n"
    "                             instead of the serial port; overrides TCP= of Kavrel.INI.\n"
    "                             --port alone uses the serial port even when TCP= is set\n"
    "  --baud RATE                300, 600, 1200, 2400, 4800, 9600 or 19200\n"
    "  --mode N                   the mode as the settings file keeps it (Mode= of Kavrel.INI):\n"
    "                             0 ASCII 8N1, 1 ASCII 7E1, 2 ASCII 7O1, 3 RTU 8N2,\n"
    "                             4 RTU 8E1, 5 RTU 8O1, 6 RTU 8N1\n"
    "  --framing ascii | rtu      the mode as a gateway line names it, instead of --mode:\n"
    "  --format 8N1 | 7E1 | ...   ASCII 8N1, 7E1 or 7O1; RTU 8N1, 8N2, 8E1 or 8O1 (framing\n"
    "                             rtu and format 8N1 unless given)\n"
    "  --link rs485 | kx7         RS485 card (0) or KX7 converter (1)\n"
    "  --address N                bus address of the meter, 1 to 247\n"
    "  --model NAME               TR5, TR5B, VR5, VR5B or TR8 (or its type code 80, 81, 85,\n"
    "                             86, 118)\n"
    "  --timeout MS               reply time-out in milliseconds (default: by baud rate)\n"
    "  --yes                      restore without asking\n"
    "  -h, --help                 this text\n"
    "  --version                  the version of kavrel-cli\n"
    "\n"
    "Exit codes:\n"
    "  0  done\n"
    "  1  the serial port cannot be opened (or the server not reached), with the reason\n"
    "  2  bad command line, or a selector that addresses nothing on this model\n"
    "  3  no reply from the meter (poll: not a single block answered; read: the group\n"
    "     read failed; write: the meter did not confirm, or does not hold the value; scan: no\n"
    "     meter found)\n"
    "  4  the value was refused (\"Out of range\", \"Parameter read-only\")\n"
    "  5  Kavrel.INI exists but cannot be read\n"
    "  6  the setup file cannot be read or written (the reason is given), is damaged, is\n"
    "     for another model, or restore would write a value outside its item's limits\n"
    "     (nothing was written)\n"
    "  7  restore: the writes were not confirmed at the question\n"
    "  diff exits 1 when the meter differs from the file; restore exits 3 or 4 when an\n"
    "  item was not confirmed or refused (each item is reported)\n";

namespace {

bool EqualNoCase(const char* a, const char* b) { return KeysEqual(a, b); }

}  // namespace

bool ParseInt(const char* text, long low, long high, int& value) {
  if (!text || !*text) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  value = static_cast<int>(v);
  return true;
}

int UsageError(const std::string& what) {
  std::fprintf(stderr, "kavrel-cli: %s\nTry 'kavrel-cli --help'.\n", what.c_str());
  return RC_USAGE;
}

int ParseCommandLine(int argc, char** argv, TOptions& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      o.Help = true;
      continue;
    }
    if (arg == "--version") {
      o.Version = true;
      continue;
    }
    if (arg == "--csv" || arg == "--yes") {
      (arg == "--csv" ? o.Csv : o.Yes) = true;
      continue;
    }
    if (arg == "--all-settings") {
      o.Scan.AllSettings = o.ScanOptions = true;
      continue;
    }
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      o.Arguments.push_back(arg);
      continue;
    }
    static const char* const WITH_VALUE[] = {"--port",    "--tcp",          "--baud",    "--mode",   "--link",
                                             "--address", "--model",        "--timeout", "--cycles", "--from",
                                             "--to",      "--probe-margin", "--framing", "--format"};
    if (std::find(std::begin(WITH_VALUE), std::end(WITH_VALUE), arg) == std::end(WITH_VALUE))
      return UsageError("unknown option " + arg);
    if (i + 1 >= argc) return UsageError("option " + arg + " needs a value");
    const char* value = argv[++i];
    bool ok = true;
    if (arg == "--port") {
      const char* number = value;
      if (std::strlen(value) > 3 && EqualNoCase(std::string(value, 3).c_str(), "COM")) number = value + 3;
      int n = 0;
      ok = ParseInt(number, 1, 8, n);
      o.PortIndex = n - 1;
    } else if (arg == "--tcp") {
      TTcpAddress address;
      ok = ParseTcpAddress(value, address);
      if (ok) o.Network = TcpDeviceName(address);
    } else if (arg == "--baud") {
      int rate = 0;
      ok = ParseInt(value, 1, 1000000, rate);
      o.BaudIndex = ok ? lineformat::BaudIndexOf(rate) : -1;
      ok = ok && o.BaudIndex >= 0;
    } else if (arg == "--mode") {
      ok = ParseInt(value, 0, 6, o.Mode);
    } else if (arg == "--framing" || arg == "--format") {
      (arg == "--framing" ? o.Framing : o.Format) = value;
      o.FramingGiven = true;
    } else if (arg == "--link") {
      if (EqualNoCase(value, "rs485") || std::strcmp(value, "0") == 0) {
        o.LinkType = 0;
      } else if (EqualNoCase(value, "kx7") || std::strcmp(value, "1") == 0) {
        o.LinkType = 1;
      } else {
        ok = false;
      }
    } else if (arg == "--address") {
      ok = ParseInt(value, 1, 247, o.Address);
    } else if (arg == "--model") {
      o.MeterType = -1;
      for (int type : METER_TYPES) {
        int code = 0;
        if (EqualNoCase(value, ModelName(type)) || (ParseInt(value, 0, 1000, code) && code == type))
          o.MeterType = type;
      }
      ok = o.MeterType >= 0;
    } else if (arg == "--timeout") {
      ok = ParseInt(value, 1, 600000, o.TimeoutMs);
    } else if (arg == "--cycles") {
      ok = ParseInt(value, 1, 100000000, o.Cycles);
    } else if (arg == "--from" || arg == "--to" || arg == "--probe-margin") {
      o.ScanOptions = true;
      ok = arg == "--probe-margin" ? ParseInt(value, 0, 60000, o.Scan.ProbeMarginMs)
                                   : ParseInt(value, 1, 247, arg == "--from" ? o.Scan.From : o.Scan.To);
    } else {
      return UsageError("unknown option " + arg);
    }
    if (!ok) return UsageError("bad value '" + std::string(value) + "' for " + arg);
  }
  // --framing and --format as a gateway line names them (framing rtu unless
  // given, format 8N1 unless given); they are another way to say --mode.
  if (o.FramingGiven) {
    if (o.Mode >= 0) return UsageError("--mode and --framing/--format both set the mode; give one");
    std::string error;
    o.Mode = ModeFromFraming(o.Framing.empty() ? "rtu" : o.Framing, o.Format, error);
    if (o.Mode < 0) return UsageError(error);
  }
  return RC_OK;
}

}  // namespace cli
