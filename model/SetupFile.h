// Meter setup files: every setup item of a meter read into one plain text
// file, compared with the meter, and written back through the meter's own
// writing path (limits, read-back).
//
// A file reads, one item a line, tab between the fields:
//
//   # Kavrel meter setup
//   Model=TR5
//   Address=1
//   Name=TR5_1
//   Date=2026-12-08T14:03:11
//   # selector  code  description  value  unit
//   1	tr_I	Ratio of current transformer	250
//   ...
//
// The selector is group * 100 + item, as kavrel-cli and the programming
// dialog number items. A file holds every setup item of its model, so a file
// cut short is known as such.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TTR5;

struct TSetupItem {
  int Selector = 0;
  std::string Code;
  std::string Description;
  double Value = 0;
  std::string Unit;
};

struct TSetup {
  int MeterType = 0;
  int Address = 0;
  std::string Name;
  std::string Date;  // local time the meter was read, ISO 8601
  std::vector<TSetupItem> Items;  // in selector order
};

// The items a setup file keeps for a model, in selector order: those of the
// setup groups (registers below FIRST_MEASURED_REGISTER), without the meter's clock and the
// relay output state, which are live values and not setup.
std::vector<int> SetupSelectors(int meterType);

// Reads every setup group of the meter's model over the line. progress, when
// given, hears (groups done, groups in all) after each group and may answer
// false to stop. False when a group read fails or progress stops the read;
// error then says why.
bool ReadSetup(TTR5& meter, TSetup& setup, std::string& error,
               const std::function<bool(int, int)>& progress = {});

std::string FormatSetup(const TSetup& setup);

// Reads a setup file's text. False, with the line and the reason in error,
// for a damaged file: an unknown model, a line that is not an item of the
// model, a value that is no number, an item twice, or items missing.
bool ParseSetup(std::string_view text, TSetup& setup, std::string& error);

// Whether the file belongs to a meter of this model: the same model, and only
// items the model knows. Values outside their limits do not matter here (a
// meter may hold one, and its backup with it). False with the reason in error.
bool CheckSetupForMeter(const TSetup& file, int meterType, std::string& error);

// "Ao_L = 1 is outside its limits 80 to 120" for a value outside its item's
// limits; empty for one within them.
std::string OutsideLimits(int selector, const std::string& code, double value);

struct TSetupDifference {
  TSetupItem Item;          // as the file has it
  double MeterValue = 0;    // what the meter holds
  bool InMeter = true;      // false: the meter's setup lacks the item
};

// The items whose value in the file differs from the meter's, in file order.
std::vector<TSetupDifference> CompareSetup(const TSetup& file, const TSetup& meter);

// Whether restore may write the differing items: every value it would write
// within its item's limits. False with each item outside them named in error;
// nothing may then be written.
bool CheckRestore(const std::vector<TSetupDifference>& differences, std::string& error);

enum class TRestoreOutcome { Written, Refused, NotConfirmed };

struct TRestoreResult {
  TSetupItem Item;
  TRestoreOutcome Outcome = TRestoreOutcome::NotConfirmed;
  std::string Message;  // the meter's message when not written
};

// Writes the file's value of each differing item, one by one, through the
// meter's writing path; progress as for ReadSetup.
std::vector<TRestoreResult> RestoreSetup(TTR5& meter, const std::vector<TSetupDifference>& differences,
                                         const std::function<bool(int, int)>& progress = {});

// "written", "refused: <message>" or "not confirmed: <message>".
std::string DescribeRestore(const TRestoreResult& result);

// A number as a setup file and the writing path take it: whole numbers
// without a decimal point.
std::string SetupValueText(double value);
