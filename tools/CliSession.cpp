// kavrel-cli: the session the commands share: settings, port, meter and link.
#include "tools/CliSession.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "comm/SerialDeviceTcp.h"
#include "model/LocalTime.h"
#include "settings/Settings.h"

namespace cli {

std::atomic<bool> Interrupted{false};

std::string Now() {
  const std::time_t t = std::time(nullptr);
  struct tm local;
  char buffer[16] = "--:--:--";
  if (ToLocalTime(t, local)) std::strftime(buffer, sizeof buffer, "%H:%M:%S", &local);
  return buffer;
}

int TSession::Setup(const TOptions& o) {
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
    std::fprintf(stderr, "kavrel-cli: meter type %d in %s is none of TR5, TR5B, VR5, VR5B, TR8\n", Meter.Kind,
                 SETTINGS_FILE_NAME);
    return RC_USAGE;
  }
  // The device list names a meter by model and address; the settings name
  // belongs to the settings' meter only.
  std::string name = settings.MeterName;
  if (meterOverridden || name.empty()) name = DefaultMeterName(Meter.Kind, Meter.Address);
  Meter.SetName(name.c_str());
  Meter.SetDescription(settings.MeterDescription.c_str());
  Meter.ResetValues();  // the link counts as down until a block has been read
  TimeoutMs = o.TimeoutMs;
  return RC_OK;
}

int TSession::OpenPort(bool wait) {
  if (PortIndex < 0 || PortIndex > 7) {
    std::fprintf(stderr, "kavrel-cli: no serial port configured (COM=%d)\n", PortIndex);
    return RC_PORT;
  }
  Port.UseNetwork(Network);
  SetLastSerialOpenError(TSerialOpenError::None);
  const int r = Port.Configure(PortIndex, BaudIndex, Mode, LinkType);
  if (TimeoutMs > 0) Port.ReplyTimeout = static_cast<uint32_t>(TimeoutMs);
  if (r >= 0) return RC_OK;
  const std::string problem = PortOpenProblem(Port.WantedName());
  if (!wait) {
    std::fprintf(stderr, "kavrel-cli: cannot open %s\n", problem.c_str());
    return RC_PORT;
  }
  // A port that comes late (an adapter plugged in, a server started) is
  // waited for; the port tries it again, backed off.
  std::fprintf(stderr, "kavrel-cli: waiting for %s\n", problem.c_str());
  std::fflush(stderr);
  while (!Interrupted && !Port.RetryOpen()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return Interrupted ? RC_PORT : RC_OK;
}

// Runs the acquisition cycle until the link is up (true) or three steps
// failed (false).
bool TSession::Connect() {
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
void TSession::DrainEvents(bool csv) {
  int code = 0;
  std::string text;
  while (Meter.NextEvent(code, text) == 1) {
    std::FILE* out = csv ? stderr : stdout;
    std::fprintf(out, "%s%s\n", Now().c_str(), text.c_str());
    std::fflush(out);
    text.clear();
  }
}

// RC_OK when the selector is an item (or, with groupAllowed, a whole group)
// of a group the model has.
int TSession::CheckSelector(const std::string& text, bool groupAllowed, int& selector) {
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

int TSession::Scan(const TOptions& o) {
  if (int r = OpenPort(); r != RC_OK) return r;
  return RunScanCommand(Port, o.Scan, Interrupted);
}

int TSession::ReadMeterSetup(TSetup& setup) {
  if (int r = OpenPort(); r != RC_OK) return r;
  if (!Connect()) return RC_NO_REPLY;
  std::string error;
  if (!ReadSetup(Meter, setup, error)) {
    std::fprintf(stderr, "kavrel-cli: %s\n", error.c_str());
    return RC_NO_REPLY;
  }
  return RC_OK;
}

}  // namespace cli
