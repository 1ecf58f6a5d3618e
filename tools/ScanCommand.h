// kavrel-cli scan: finds the meters on the line of the open port.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

class TModbusPort;

struct TScanCommandOptions {
  int From = 1;
  int To = 247;
  bool AllSettings = false;
  int ProbeMarginMs = -1;  // -1: the scan's default
};

// Prints the duration estimate (standard error), then one line per meter found
// (standard output): address, model, line settings. interrupted stops the scan.
// Returns 0 when at least one meter was found, 3 when none was, 1 when the
// port is not open.
int RunScanCommand(TModbusPort& port, const TScanCommandOptions& options, const std::atomic<bool>& interrupted);
