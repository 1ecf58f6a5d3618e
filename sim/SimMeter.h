// One simulated meter: the values behind each register of its map, and the
// answers it gives to function-3 and function-6 requests.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/SimFraming.h"
#include "sim/SimPhysics.h"
#include "sim/SimRegisterMap.h"

class SimMeter {
public:
  // meterType: 80 TR5, 81 TR5B, 85 VR5, 86 VR5B, 118 TR8; address 1..247.
  SimMeter(int meterType, int address, uint32_t seed);

  int Type() const { return type_; }
  int Address() const { return address_; }
  const SimRegisterMap& Map() const { return map_; }
  SimPhysics& Physics() { return physics_; }

  // Brings the system and every register not held up to the given time.
  void Advance(SimClock::time_point now, std::chrono::system_clock::time_point wall);

  // Answers one request PDU (address byte first, check removed). A request to
  // address 0 is carried out where it makes sense (a write) and gets no
  // answer: the result is then empty.
  SimBytes Handle(const SimBytes& pdu);

  // Register value as the meter would send it (before coding for the wire).
  std::optional<double> Get(int reg) const;
  // Holds a register at a value: the meter stops computing it until Release.
  // Setup registers take the value as if written (limits not checked).
  bool Hold(int reg, double value);
  bool Release(int reg);

  // Meter clock: local time, seconds since 1970, following the PC clock plus
  // whatever offset writes to the clock registers made.
  int64_t ClockNow(std::chrono::system_clock::time_point wall) const;

private:
  struct Slot {
    double Value = 0;
    bool Held = false;
  };

  SimBytes ReadRegisters(const SimBytes& pdu);
  SimBytes WriteRegister(const SimBytes& pdu, bool broadcast);
  static SimBytes Exception(const SimBytes& pdu, uint8_t code);
  uint8_t ApplyWrite(const SimRegister& r, int value, std::chrono::system_clock::time_point wall);
  void InitialiseSetup();
  void ApplySetup();
  void Refresh(std::chrono::system_clock::time_point wall, double dt);
  double SourceValue(const SimSource& s) const;
  int Setup(const std::string& code, int fallback) const;
  void SetSetup(const std::string& code, int value);

  int type_;
  int address_;
  SimRegisterMap map_;
  SimPhysics physics_;
  std::map<int, Slot> values_;
  std::vector<SimAlarm> alarms_;
  int64_t clockOffset_ = 0;  // seconds added to the PC clock
  bool started_ = false;
  SimClock::time_point last_{};
  std::chrono::system_clock::time_point lastWall_{};
};
