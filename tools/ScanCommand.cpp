#include "tools/ScanCommand.h"

#include <cstdio>

#include "comm/Trans.h"
#include "model/BusScan.h"

int RunScanCommand(TModbusPort& port, const TScanCommandOptions& options, const std::atomic<bool>& interrupted) {
  TBusScan scan(port);
  scan.From = options.From;
  scan.To = options.To;
  if (options.ProbeMarginMs >= 0) scan.ProbeMarginMs = static_cast<uint32_t>(options.ProbeMarginMs);
  if (options.AllSettings) scan.Settings = AllLineSettings();
  const TLineSetting own{port.BaudIndex, port.Mode};

  const std::string where = options.AllSettings ? "at " + std::to_string(scan.Settings.size()) + " line settings"
                                                : "at " + LineSettingText(own);
  std::fprintf(stderr, "Scanning addresses %d to %d %s: about %s", scan.From, scan.To, where.c_str(),
               DurationText(scan.EstimateMs()).c_str());
  std::fprintf(stderr, options.AllSettings ? ", and up to %s more per meter found\n" : " (%s more per meter found)\n",
               DurationText(scan.IdentifyEstimateMs(options.AllSettings ? TLineSetting{0, 0} : own)).c_str());
  std::fflush(stderr);

  TLineSetting shown = own;
  scan.OnProgress = [&](const TScanProgress& p) {
    if (interrupted) scan.Cancel();
    if (options.AllSettings && (p.Done == 0 || !(p.Setting == shown))) {
      std::fprintf(stderr, "  %s ...\n", LineSettingText(p.Setting).c_str());
      std::fflush(stderr);
    }
    shown = p.Setting;
  };
  scan.OnFind = [&](const TScanFind& f) {
    std::printf("%3d  %-12s %s", f.Address, f.ModelText().c_str(), LineSettingText(f.Setting).c_str());
    if (!f.Detail.empty()) std::printf("  (%s)", f.Detail.c_str());
    std::printf("\n");
    std::fflush(stdout);
    if (interrupted) scan.Cancel();
  };

  const TScanResult r = scan.Run();
  if (r.PortClosed) {
    std::fprintf(stderr, "kavrel-cli: the port is not open\n");
    return 1;
  }
  const size_t n = r.Finds.size();
  std::fprintf(stderr, "%s%zu meter%s found\n", r.Cancelled ? "Scan interrupted: " : "", n, n == 1 ? "" : "s");
  return n > 0 ? 0 : 3;
}
