// The driver of all five meter models.
#pragma once

#include "model/ValueText.h"
#include "model/Zmienna.h"

class TModbusPort;

// Results of GetCatalogText.
enum : int {
  CATALOG_END = 0,          // the selector addresses nothing
  CATALOG_MENU = 1,         // a group of the meter's model: its title
  CATALOG_PARAMETER = 2,    // an item: its description
  CATALOG_OTHER_MODEL = 3,  // a group the meter's model does not have
};

// Results of WriteParameter.
enum : int {
  WRITE_NO_LINK = 0,         // link down (or no such group): nothing sent
  WRITE_OK = 1,              // written and confirmed by the meter
  WRITE_IMPOSSIBLE = 9,      // no such item, or the meter did not confirm
  WRITE_READ_ONLY = 16,      // a measured register
  WRITE_OUT_OF_RANGE = 33,   // no number, or outside the item's limits
};

// A time value (kind 6: seconds on the meter's clock, one hour ahead of the
// PC's epoch time) as ISO 8601 local time; "" for 0 or a time that cannot be
// converted.
std::string MeterTimeIso(double value);

// The name of a meter that was given none: its model and bus address
// ("TR5_1"); "Meter_1" for a model that is not known.
std::string DefaultMeterName(int meterType, int address);

// The Id of the relay output state variable "ALR", whatever register the model keeps it in.
constexpr int RELAY_VARIABLE_ID = 4030;

class TTR5 : public TSlownik {
public:
  // With populate set, builds the 41 numeric variables of the acquisition list.
  // port is the Modbus master all line traffic goes through; with none the
  // meter behaves as on a closed port.
  explicit TTR5(bool populate, TModbusPort* port = nullptr);

  void SetPort(TModbusPort* port) { Port = port; }
  TModbusPort* GetPort() const { return Port; }

  // One non-blocking acquisition step; the argument is ignored. 25 while the
  // transaction is open, else 0.
  int Update(float value) override;
  // Link events first, then the start and end of alarms A1..A3.
  int NextEvent(int& code, std::string& text) override;
  int GetCatalogText(int selector, std::string& text) override;
  void ReadOrFormatValue(int selector, std::string& text, std::string* unit) override;
  int WriteParameter(int selector, const char* text, std::string& message) override;
  // Item: its LastValue formatted with its unit, its code into code; returns the
  // value or NO_VALUE. Item 0: a group read, returns NO_VALUE.
  float FormatValueWithUnit(int selector, std::string& text, std::string* code);

  // The register holding the relay output state on the current model (its
  // "ALR" setup item); 0 when the model has none.
  int RelayRegister() const;

  // The acquisition cycle reads the relay output state into "ALR" once at
  // least this many milliseconds have passed since its last read.
  uint32_t RelayReadInterval = 5000;

  // Outcome of the last group read made: 1 the values were stored, 0 it failed
  // (no reply, an exception, a reply of the wrong size) and every item of the
  // group holds NO_VALUE.
  int LastGroupReadOk = 0;

  // Whether reading block (a BlockStart) completes the meter's values: the THD
  // block, or on a TR8, which has none, the process block.
  bool CompletesCycle(int block) const;

private:
  bool StoreProcessBlock();
  bool StoreRelayState();
  void ChooseNextBlock(int finishedStart);
  void ReadGroup(int groupIndex);

  void RestartCycleOnMeterChange();

  bool RelayReadDone = false;  // the relay output state has been read at least once
  // The meter the cycle runs for. A change of model or address starts the
  // cycle afresh, and a reply still due from the old meter is dropped.
  int CycleKind = -1;
  int CycleAddress = -1;
  bool DropPending = false;
  uint32_t LastRelayRead = 0;  // tick at which the last relay read finished
  TModbusPort* Port = nullptr;
};
