// kavrel-cli: what the commands share. The options of the command line, and
// the session: the settings, the port and the meter the commands work on.
// Each command lives in a file of its own (PollCommand.cpp, ReadCommand.cpp, ...).
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "comm/Trans.h"
#include "model/SetupFile.h"
#include "model/TR5.h"
#include "tools/ScanCommand.h"

namespace cli {

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

extern const char* const HELP_TEXT;

constexpr int TICK_MS = 200;

extern std::atomic<bool> Interrupted;

bool ParseInt(const char* text, long low, long high, int& value);

struct TOptions {
  int PortIndex = -1;   // -1: from the settings file
  std::string Network;  // "tcp://HOST:PORT" of --tcp
  int BaudIndex = -1;
  int Mode = -1;
  std::string Framing;  // --framing and --format, another way to give the mode
  std::string Format;
  bool FramingGiven = false;
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

int UsageError(const std::string& what);

// Returns RC_OK, or the code to exit with after the message was printed.
int ParseCommandLine(int argc, char** argv, TOptions& o);

// Reads a file whole; false with the system's reason in error.
bool ReadWholeFile(const std::string& path, std::string& text, std::string& error);

// The local time of day, "HH:MM:SS".
std::string Now();

// Whether standard input is a terminal, which echoes what the user types.
bool InputIsTerminal();

class TSession {
public:
  TSession() : Meter(true, &Port) {}

  int Setup(const TOptions& o);
  // Opens the port; with wait a port that is missing or refused is tried
  // again until it opens or the program is interrupted.
  int OpenPort(bool wait = false);
  // Runs the acquisition cycle until the link is up (true) or three steps
  // failed (false).
  bool Connect();
  // Prints the events waiting; to standard error in CSV mode.
  void DrainEvents(bool csv);
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
  void PrintTable(int cycle);
  // The 40 quantities in register order: every variable but the relay state.
  std::vector<TZmienna*> CsvColumns();
  int Poll(const TOptions& o);
  int Groups();
  // RC_OK when the selector is an item (or, with groupAllowed, a whole group)
  // of a group the model has.
  int CheckSelector(const std::string& text, bool groupAllowed, int& selector);
  int Read(const std::string& selectorText);
  int Write(const std::string& selectorText, const std::string& value);
  int Backup(const std::string& path);
  // diff and restore: the file, checked against the meter's model, and the
  // items where the meter differs from it.
  int Differences(const std::string& path, TSetup& file, std::vector<TSetupDifference>& differences);
  int Diff(const std::string& path);
  int Restore(const std::string& path, bool yes);
  int Scan(const TOptions& o);

private:
  std::string PortLabel() const { return Network.empty() ? "COM" + std::to_string(PortIndex + 1) : Network; }

  int ReadMeterSetup(TSetup& setup);

  TModbusPort Port;
  TTR5 Meter;
  std::string Network;  // a network serial server instead of COM<PortIndex + 1>
  int PortIndex = 0;
  int BaudIndex = 6;
  int Mode = 0;
  int LinkType = 0;
  int TimeoutMs = -1;
};

}  // namespace cli
