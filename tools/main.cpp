// kavrel-cli: the meter driver from the command line, for scripted checks.
//
// Port and meter come from "Kavrel.INI" in the working directory (the same
// keys and defaults as the program); options override them.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "comm/SerialDeviceTcp.h"
#include "comm/Trans.h"
#include "model/LocalTime.h"
#include "model/MeasureTable.h"
#include "model/SetupFile.h"
#include "model/TR5.h"
#include "settings/Settings.h"
#include "tools/ScanCommand.h"

namespace {

enum ExitCode {
  RC_OK = 0,
  RC_PORT = 1,        // the serial port (or the network serial server) cannot be opened
  RC_USAGE = 2,       // bad command line, or a selector that does not fit the model
  RC_NO_REPLY = 3,    // the meter does not answer, or did not confirm a write
  RC_REFUSED = 4,     // the value was refused (out of range, read-only)
  RC_SETTINGS = 5,    // Kavrel.INI exists but cannot be read
  RC_DIFFERENT = 1,   // diff: the meter's setup differs from the file
  RC_SETUP_FILE = 6,  // a setup file that cannot be read or written, is damaged or does not fit
  RC_DECLINED = 7,    // restore: the writes were not confirmed at the question
};

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
    "  groups                     list the register groups of the meter model: selector and title\n"
    "  read SELECTOR              read a group from the meter (SELECTOR = group * 100) and print\n"
    "                             each item: selector, code, description, value with unit;\n"
    "                             group * 100 + n prints item n only\n"
    "  backup FILE                read every setup item of the meter into FILE (plain text,\n"
    "                             one item a line; the meter's clock and relay state left out)\n"
    "  diff FILE                  read the meter and list the items whose value differs from\n"
    "                             FILE: exit 0 the same, 1 different\n"
    "  restore FILE [--yes]       show the differences, ask, then write only those items, each\n"
    "                             read back; a file of another model, with a value outside its\n"
    "                             item's limits, or damaged is refused before anything is sent\n"
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
    "  --mode N                   0 ASCII 8N1, 1 ASCII 7E1, 2 ASCII 7O1, 3 RTU 8N2,\n"
    "                             4 RTU 8E1, 5 RTU 8O1, 6 RTU 8N1\n"
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
    "  1  the serial port cannot be opened (or the server not reached)\n"
    "  2  bad command line, or a selector that addresses nothing on this model\n"
    "  3  no reply from the meter (poll: not a single block answered; read: the group\n"
    "     read failed; write: the meter did not confirm, or does not hold the value; scan: no\n"
    "     meter found)\n"
    "  4  the value was refused (\"Out of range\", \"Parameter read-only\")\n"
    "  5  Kavrel.INI exists but cannot be read\n"
    "  6  the setup file cannot be read or written, is damaged, is for another model or\n"
    "     holds a value outside its item's limits (nothing was sent)\n"
    "  7  restore: the writes were not confirmed at the question\n"
    "  diff exits 1 when the meter differs from the file; restore exits 3 or 4 when an\n"
    "  item was not confirmed or refused (each item is reported)\n";

constexpr int TICK_MS = 200;
constexpr int BAUD_RATES[] = {300, 600, 1200, 2400, 4800, 9600, 19200};

std::atomic<bool> Interrupted{false};

extern "C" void OnSignal(int) { Interrupted = true; }

bool ParseInt(const char* text, long low, long high, int& value) {
  if (!text || !*text) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  value = static_cast<int>(v);
  return true;
}

bool EqualNoCase(const char* a, const char* b) { return KeysEqual(a, b); }

struct TOptions {
  int PortIndex = -1;   // -1: from the settings file
  std::string Network;  // "tcp://HOST:PORT" of --tcp
  int BaudIndex = -1;
  int Mode = -1;
  int LinkType = -1;
  int Address = -1;
  int MeterType = -1;
  int TimeoutMs = -1;
  int Cycles = 0;  // 0: until interrupted
  bool Csv = false;
  bool Yes = false;
  bool Help = false;
  bool Version = false;
  bool ScanOptions = false;  // one of the scan command's options was given
  TScanCommandOptions Scan;
  std::vector<std::string> Arguments;  // command and its arguments
};

int UsageError(const std::string& what) {
  std::fprintf(stderr, "kavrel-cli: %s\nTry 'kavrel-cli --help'.\n", what.c_str());
  return RC_USAGE;
}

// Returns RC_OK, or the code to exit with after the message was printed.
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
      o.BaudIndex = -1;
      for (int b = 0; ok && b < 7; ++b)
        if (BAUD_RATES[b] == rate) o.BaudIndex = b;
      ok = ok && o.BaudIndex >= 0;
    } else if (arg == "--mode") {
      ok = ParseInt(value, 0, 6, o.Mode);
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
  return RC_OK;
}

std::string Now() {
  const std::time_t t = std::time(nullptr);
  struct tm local;
  char buffer[16] = "--:--:--";
  if (ToLocalTime(t, local)) std::strftime(buffer, sizeof buffer, "%H:%M:%S", &local);
  return buffer;
}

class TSession {
public:
  TSession() : Meter(true, &Port) {}

  int Setup(const TOptions& o) {
    TSettings settings;
    const std::string path = FindSettingsFile("");
    if (!path.empty()) {
      TSettingsFile file;
      if (ReadSettingsFile(path, file) == TSettingsReadResult::CannotOpen) {
        std::fprintf(stderr, "kavrel-cli: Cannot open file %s.\n", path.c_str());
        return RC_SETTINGS;
      }
      settings = ParseSettings(file.Lines);
      for (const std::string& notice : settings.Notices)
        std::fprintf(stderr, "kavrel-cli: %s: %s\n", path.c_str(), notice.c_str());
    }
    const bool meterOverridden = o.Address >= 0 || o.MeterType >= 0;
    PortIndex = o.PortIndex >= 0 ? o.PortIndex : settings.PortIndex;
    Network = o.Network;
    if (Network.empty() && o.PortIndex < 0 && !settings.Network.empty()) {
      TTcpAddress address;
      if (!ParseTcpAddress(settings.Network, address)) {
        std::fprintf(stderr, "kavrel-cli: TCP=%s in %s is not HOST:PORT\n", settings.Network.c_str(),
                     SETTINGS_FILE_NAME);
        return RC_PORT;
      }
      Network = TcpDeviceName(address);
    }
    if (!Network.empty() && (PortIndex < 0 || PortIndex > 7)) PortIndex = 0;  // the server needs no COM
    BaudIndex = o.BaudIndex >= 0 ? o.BaudIndex : settings.BaudIndex;
    Mode = o.Mode >= 0 ? o.Mode : settings.Mode;
    LinkType = o.LinkType >= 0 ? o.LinkType : settings.LinkType;
    Meter.Address = o.Address >= 0 ? o.Address : settings.MeterAddress;
    Meter.Kind = o.MeterType >= 0 ? o.MeterType : settings.MeterType;
    const char* model = ModelName(Meter.Kind);
    if (!model) {
      std::fprintf(stderr, "kavrel-cli: meter type %d in %s is none of TR5, TR5B, VR5, VR5B, TR8\n",
                   Meter.Kind, SETTINGS_FILE_NAME);
      return RC_USAGE;
    }
    // The device list names a meter by model and address; the settings name
    // belongs to the settings' meter only.
    std::string name = settings.MeterName;
    if (meterOverridden || name.empty()) name = std::string(model) + "_" + std::to_string(Meter.Address);
    Meter.SetName(name.c_str());
    Meter.SetDescription(settings.MeterDescription.c_str());
    Meter.ResetValues();  // the link counts as down until a block has been read
    TimeoutMs = o.TimeoutMs;
    return RC_OK;
  }

  int OpenPort() {
    if (PortIndex < 0 || PortIndex > 7) {
      std::fprintf(stderr, "kavrel-cli: no serial port configured (COM=%d)\n", PortIndex);
      return RC_PORT;
    }
    Port.UseNetwork(Network);
    const int r = Port.Configure(PortIndex, BaudIndex, Mode, LinkType);
    if (r < 0 && !Network.empty()) {
      std::fprintf(stderr, "kavrel-cli: cannot open %s\n", LastTcpError().c_str());
      return RC_PORT;
    }
    if (r < 0) {
      const std::string portName = "COM" + std::to_string(PortIndex + 1);
      const std::string device = ResolveSerialDeviceName(portName);
      std::fprintf(stderr, "kavrel-cli: cannot open port %s%s%s%s\n", portName.c_str(),
                   device.empty() ? "" : " (", device.c_str(), device.empty() ? "" : ")");
      return RC_PORT;
    }
    if (TimeoutMs > 0) Port.ReplyTimeout = static_cast<uint32_t>(TimeoutMs);
    return RC_OK;
  }

  // Runs the acquisition cycle until the link is up (true) or three steps
  // failed (false).
  bool Connect() {
    auto next = std::chrono::steady_clock::now();
    while (!Interrupted) {
      Meter.Update(0.0f);
      int code = 0;
      std::string text;
      while (Meter.NextEvent(code, text) == 1) {}
      if (Meter.LinkState == 1) return true;
      if (Meter.LinkState != 0) break;
      next += std::chrono::milliseconds(TICK_MS);
      std::this_thread::sleep_until(next);
    }
    std::fprintf(stderr, "kavrel-cli: no reply from %s at address %d on %s\n", Meter.Name, Meter.Address,
                 PortLabel().c_str());
    return false;
  }

  // Prints the events waiting; to standard error in CSV mode.
  void DrainEvents(bool csv) {
    int code = 0;
    std::string text;
    while (Meter.NextEvent(code, text) == 1) {
      std::FILE* out = csv ? stderr : stdout;
      std::fprintf(out, "%s%s\n", Now().c_str(), text.c_str());
      std::fflush(out);
      text.clear();
    }
  }

  // A value read in this cycle; one not refreshed since the last print (the
  // link down, a block that failed) is no value, never the old reading again.
  static float Fresh(const TZmienna* z) { return z && z->GetState() == 1 ? z->GetValue() : NO_VALUE; }
  float Value(const char* name) { return Fresh(Meter.FindByName(name, 0)); }
  void StartNextCycle() {
    for (TZmienna* z = Meter.FirstChild(); z; z = z->Next.get()) z->SetState(0);
  }

  // The measurement table, row by row: the first column 9 characters wide to
  // the left, the others 10 wide to the right, each row up to its last cell;
  // rows without cells are left out. A blank line ends the table.
  void PrintTable(int cycle) {
    std::printf("%s  cycle %d  %s\n", Now().c_str(), cycle, Meter.Name);
    const auto cells = MeasureTableCells();
    int rows = 0;
    for (const TMeasureCell& c : cells) rows = std::max(rows, c.Row);
    for (int row = 1; row <= rows; ++row) {
      std::vector<std::string> texts;
      for (const TMeasureCell& c : cells) {
        if (c.Row != row) continue;
        if (texts.size() < static_cast<size_t>(c.Column)) texts.resize(static_cast<size_t>(c.Column));
        texts[static_cast<size_t>(c.Column) - 1] = c.Value ? TableValueText(Value(c.Text)) : c.Text;
      }
      if (texts.empty()) continue;
      for (size_t column = 0; column < texts.size(); ++column)
        std::printf(column == 0 ? "%-9s" : "%10s", texts[column].c_str());
      std::printf("\n");
    }
    std::printf("\n");
    std::fflush(stdout);
  }

  // The 40 quantities in register order: every variable but the relay state.
  std::vector<TZmienna*> CsvColumns() {
    std::vector<TZmienna*> columns;
    for (TZmienna* z = Meter.FirstChild(); z; z = z->Next.get())
      if (IsMeasuredRegister(z->Id)) columns.push_back(z);
    return columns;
  }

  int Poll(const TOptions& o) {
    const std::vector<TZmienna*> columns = CsvColumns();
    if (o.Csv) {
      std::printf("time,cycle");
      for (TZmienna* z : columns) std::printf(",%s", z->Name);
      std::printf("\n");
      std::fflush(stdout);
    }
    bool answered = false;
    int cycle = 0;
    auto next = std::chrono::steady_clock::now();
    while (!Interrupted) {
      const int block = Meter.BlockStart;
      const int r = Meter.Update(0.0f);
      if (r == 0 && Meter.ErrorCount == 0) answered = true;
      DrainEvents(o.Csv);
      if (r == 0 && Meter.CompletesCycle(block)) {
        ++cycle;
        if (o.Csv) {
          std::printf("%s,%d", Now().c_str(), cycle);
          for (TZmienna* z : columns) std::printf(",%s", TableValueText(Fresh(z)).c_str());
          std::printf("\n");
          std::fflush(stdout);
        } else {
          PrintTable(cycle);
        }
        StartNextCycle();
        if (o.Cycles > 0 && cycle >= o.Cycles) break;
      }
      next += std::chrono::milliseconds(TICK_MS);
      const auto now = std::chrono::steady_clock::now();
      if (next < now) next = now;  // a slow step: keep the tick, do not catch up
      std::this_thread::sleep_until(next);
    }
    if (!answered) {
      std::fprintf(stderr, "kavrel-cli: no reply from %s at address %d on %s\n", Meter.Name, Meter.Address,
                   PortLabel().c_str());
      return RC_NO_REPLY;
    }
    return RC_OK;
  }

  int Groups() {
    std::printf("Groups of %s:\n", ModelName(Meter.Kind));
    std::string title;
    for (int g = 0; g < PARAM_GROUP_COUNT; ++g) {
      if (Meter.GetCatalogText(g * 100, title) != CATALOG_MENU) continue;
      const TParamGroup* group = GetParamGroup(g);
      std::printf("%6d  %s (%d items)\n", g * 100, title.c_str(), group ? group->Count : 0);
    }
    return RC_OK;
  }

  // RC_OK when the selector is an item (or, with groupAllowed, a whole group)
  // of a group the model has.
  int CheckSelector(const std::string& text, bool groupAllowed, int& selector) {
    if (!ParseInt(text.c_str(), 0, PARAM_GROUP_COUNT * 100 - 1, selector))
      return UsageError("'" + text + "' is not a selector (group * 100 + item)");
    std::string title;
    const int group = selector / 100;
    if (Meter.GetCatalogText(selector, title) == CATALOG_END)
      return UsageError("selector " + text + " addresses nothing");
    if (Meter.GetCatalogText(group * 100, title) != CATALOG_MENU)
      return UsageError("group " + std::to_string(group) + " is not a group of the " + ModelName(Meter.Kind));
    if (!groupAllowed && selector % 100 == 0)
      return UsageError("selector " + text + " is a whole group; give an item (group * 100 + n)");
    return RC_OK;
  }

  int Read(const std::string& selectorText) {
    int selector = 0;
    if (int r = CheckSelector(selectorText, true, selector); r != RC_OK) return r;
    if (int r = OpenPort(); r != RC_OK) return r;
    if (!Connect()) return RC_NO_REPLY;
    const int group = selector / 100;
    std::string text;
    Meter.ReadOrFormatValue(group * 100, text, nullptr);
    if (!Meter.LastGroupReadOk) {
      std::fprintf(stderr, "kavrel-cli: no reply to the read of group %d from %s\n", group, Meter.Name);
      return RC_NO_REPLY;
    }
    std::string title;
    Meter.GetCatalogText(group * 100, title);
    std::printf("%s: %s\n", Meter.Name, title.c_str());
    const TParamGroup* g = GetParamGroup(group);
    for (int n = 1; g && n <= g->Count; ++n) {
      const int item = group * 100 + n;
      if (selector % 100 != 0 && item != selector) continue;
      std::string code, description, value;
      Meter.GetCatalogText(item, description);
      Meter.FormatValueWithUnit(item, value, &code);
      while (!value.empty() && value.back() == ' ') value.pop_back();  // no unit
      std::printf("%6d  %-10s %-52s %s\n", item, code.c_str(), description.c_str(), value.c_str());
    }
    return RC_OK;
  }

  int Write(const std::string& selectorText, const std::string& value) {
    int selector = 0;
    if (int r = CheckSelector(selectorText, false, selector); r != RC_OK) return r;
    if (int r = OpenPort(); r != RC_OK) return r;
    if (!Connect()) return RC_NO_REPLY;
    std::string message;
    const int r = Meter.WriteParameter(selector, value.c_str(), message);
    const TParamDef* def = FindParamDef(selector);
    if (r == WRITE_OK) {
      // What the meter holds, read back after the write (12.7 typed: 12).
      std::string held;
      Meter.FormatValueWithUnit(selector, held, nullptr);
      while (!held.empty() && held.back() == ' ') held.pop_back();  // no unit
      std::printf("%s: %s = %s written\n", Meter.Name, def ? def->Code : "?", held.c_str());
      return RC_OK;
    }
    std::fprintf(stderr, "kavrel-cli: %s%s\n", message.c_str(), r == WRITE_NO_LINK ? Meter.Name : "");
    return (r == WRITE_READ_ONLY || r == WRITE_OUT_OF_RANGE) ? RC_REFUSED : RC_NO_REPLY;
  }

  int Backup(const std::string& path) {
    TSetup setup;
    if (int r = ReadMeterSetup(setup); r != RC_OK) return r;
    setup.Date = IsoLocalTime(std::time(nullptr));
    std::string error;
    if (!WriteFileAtomically(path, FormatSetup(setup), error)) {
      std::fprintf(stderr, "kavrel-cli: cannot write %s: %s\n", path.c_str(), error.c_str());
      return RC_SETUP_FILE;
    }
    std::printf("%s: %zu setup items saved to %s\n", Meter.Name, setup.Items.size(), path.c_str());
    return RC_OK;
  }

  // diff and restore: the file, checked against the meter's model, and the
  // items where the meter differs from it.
  int Differences(const std::string& path, TSetup& file, std::vector<TSetupDifference>& differences) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "kavrel-cli: cannot read %s\n", path.c_str());
      return RC_SETUP_FILE;
    }
    if (!ParseSetup(text, file, error) || !CheckSetupForMeter(file, Meter.Kind, error)) {
      std::fprintf(stderr, "kavrel-cli: %s: %s\n", path.c_str(), error.c_str());
      return RC_SETUP_FILE;
    }
    TSetup meter;
    if (int r = ReadMeterSetup(meter); r != RC_OK) return r;
    differences = CompareSetup(file, meter);
    for (const TSetupDifference& d : differences) {
      std::printf("%6d  %-10s %-52s file %s, meter %s%s%s\n", d.Item.Selector, d.Item.Code.c_str(),
                  d.Item.Description.c_str(), SetupValueText(d.Item.Value).c_str(),
                  SetupValueText(d.MeterValue).c_str(), d.Item.Unit.empty() ? "" : " ", d.Item.Unit.c_str());
    }
    return RC_OK;
  }

  int Diff(const std::string& path) {
    TSetup file;
    std::vector<TSetupDifference> differences;
    if (int r = Differences(path, file, differences); r != RC_OK) return r;
    std::printf("%s: %zu of %zu items differ from %s\n", Meter.Name, differences.size(), file.Items.size(),
                path.c_str());
    return differences.empty() ? RC_OK : RC_DIFFERENT;
  }

  int Restore(const std::string& path, bool yes) {
    TSetup file;
    std::vector<TSetupDifference> differences;
    if (int r = Differences(path, file, differences); r != RC_OK) return r;
    if (differences.empty()) {
      std::printf("%s: the meter holds the file's setup already\n", Meter.Name);
      return RC_OK;
    }
    if (!yes) {
      std::printf("Write these %zu items into %s at address %d? [y/N] ", differences.size(), Meter.Name,
                  Meter.Address);
      std::fflush(stdout);
      char answer[16] = "";
      if (!std::fgets(answer, sizeof answer, stdin) || (answer[0] != 'y' && answer[0] != 'Y')) {
        std::printf("\nNothing written.\n");
        return RC_DECLINED;
      }
    }
    int code = RC_OK;
    for (const TRestoreResult& r : RestoreSetup(Meter, differences)) {
      std::printf("%6d  %-10s %s %s\n", r.Item.Selector, r.Item.Code.c_str(),
                  SetupValueText(r.Item.Value).c_str(), DescribeRestore(r).c_str());
      if (r.Outcome == TRestoreOutcome::NotConfirmed)
        code = RC_NO_REPLY;
      else if (r.Outcome == TRestoreOutcome::Refused && code == RC_OK)
        code = RC_REFUSED;
    }
    return code;
  }

  int Scan(const TOptions& o) {
    if (int r = OpenPort(); r != RC_OK) return r;
    return RunScanCommand(Port, o.Scan, Interrupted);
  }

private:
  std::string PortLabel() const { return Network.empty() ? "COM" + std::to_string(PortIndex + 1) : Network; }

  int ReadMeterSetup(TSetup& setup) {
    if (int r = OpenPort(); r != RC_OK) return r;
    if (!Connect()) return RC_NO_REPLY;
    std::string error;
    if (!ReadSetup(Meter, setup, error)) {
      std::fprintf(stderr, "kavrel-cli: %s\n", error.c_str());
      return RC_NO_REPLY;
    }
    return RC_OK;
  }

  TModbusPort Port;
  TTR5 Meter;
  std::string Network;  // a network serial server instead of COM<PortIndex + 1>
  int PortIndex = 0;
  int BaudIndex = 6;
  int Mode = 0;
  int LinkType = 0;
  int TimeoutMs = -1;
};

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (int r = ParseCommandLine(argc, argv, options); r != RC_OK) return r;
  if (options.Help) {
    std::fputs(HELP_TEXT, stdout);
    return RC_OK;
  }
  if (options.Version) {
    std::printf("kavrel-cli %s\n", KAVREL_VERSION);
    return RC_OK;
  }
  if (options.Arguments.empty()) return UsageError("no command given");

  const std::string command = options.Arguments[0];
  const bool withFile = command == "backup" || command == "diff" || command == "restore";
  const size_t wanted = command == "read" || withFile ? 2 : command == "write" ? 3 : 1;
  if (command != "poll" && command != "groups" && command != "read" && command != "write" &&
      command != "scan" && !withFile)
    return UsageError("unknown command '" + command + "'");
  if (options.Arguments.size() != wanted)
    return UsageError("wrong number of arguments for '" + command + "'");
  if ((options.Cycles > 0 || options.Csv) && command != "poll")
    return UsageError("--cycles and --csv belong to 'poll'");
  if (options.Yes && command != "restore") return UsageError("--yes belongs to 'restore'");
  if (options.ScanOptions && command != "scan")
    return UsageError("--all-settings, --from, --to and --probe-margin belong to 'scan'");
  if (options.Scan.From > options.Scan.To) return UsageError("--from must not be above --to");

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  TSession session;
  if (int r = session.Setup(options); r != RC_OK) return r;
  if (command == "groups") return session.Groups();
  if (command == "read") return session.Read(options.Arguments[1]);
  if (command == "write") return session.Write(options.Arguments[1], options.Arguments[2]);
  if (command == "backup") return session.Backup(options.Arguments[1]);
  if (command == "diff") return session.Diff(options.Arguments[1]);
  if (command == "restore") return session.Restore(options.Arguments[1], options.Yes);
  if (command == "scan") return session.Scan(options);
  if (int r = session.OpenPort(); r != RC_OK) return r;
  return session.Poll(options);
}
