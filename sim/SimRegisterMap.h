// The register map of a simulated meter, built from the program's register
// tables: which registers a model has, how each travels on the line, which
// are writable within which limits, and where a measured one's value comes from.
#pragma once

#include <map>
#include <string>

// Where a measured register's value comes from.
struct SimSource {
  enum Kind {
    None,       // no known meaning: reads 0
    Present,    // A = quantity
    Extreme,    // A = quantity, B = 0 minimum / 1 maximum
    ExtremeTime,  // as Extreme, the time it was reached
    Harmonic,   // A = channel 0..5, B = order 1..25
    Energy,     // A = 0 active / 1 reactive / 2 apparent
    External,   // as Energy, the external counter
    Tariff,     // A = 0 active / 1 reactive / 2 apparent, B = tariff 0..3
  };
  Kind What = None;
  int A = 0, B = 0;
};

struct SimRegister {
  int Register = 0;
  char Width = 'i';  // on the wire: 'i' 16-bit integer, 'f' float, 'l' 32-bit integer
  bool Writable = false;
  bool Command = false;  // acts when written, then reads 0 (the table record's mark)
  int Min = 0, Max = 0;  // limits of a writable register
  int Kind = 0;          // value kind of the table record
  std::string Code;      // code of the table record
  SimSource Source;      // measured registers only
};

// The registers one model has, from the program's register tables.
class SimRegisterMap {
public:
  explicit SimRegisterMap(int meterType);

  const SimRegister* Find(int reg) const;
  // The setup register carrying a table code on this model, or null.
  const SimRegister* FindCode(const std::string& code) const;
  bool Empty() const { return registers_.empty(); }
  const std::map<int, SimRegister>& All() const { return registers_; }

private:
  std::map<int, SimRegister> registers_;
};

// Model name ("TR5") from a meter type code, and the reverse (0 when unknown).
const char* SimModelName(int meterType);
int SimModelFromName(const std::string& name);
