#include "sim/SimRegisterMap.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "model/ParamDef.h"
#include "sim/SimPhysics.h"

namespace {

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() > n && s.compare(s.size() - n, n, suffix) == 0;
}

// The quantity behind each process or THD code of the acquisition list.
struct CodeQuantity {
  std::string Code;
  int Register;
  int Quantity;
};

std::vector<CodeQuantity> QuantityCodes() {
  std::vector<CodeQuantity> out;
  for (const TParamDef& d : AcquisitionList) {
    if (InProcessBlock(d.Register)) {
      out.push_back({d.Code, d.Register, d.Register - PROCESS_BLOCK_START});
    } else if (InThdBlock(d.Register)) {
      out.push_back({d.Code, d.Register, SQ_THD_U1 + d.Register - THD_BLOCK_START});
    }
  }
  return out;
}

// Meaning of a measured register, from its table code: a present value, the
// minimum or maximum of a quantity (and the time it was reached), a harmonic,
// an energy or tariff counter.
SimSource ResolveSource(const TParamDef& d, int groupStart, const std::vector<CodeQuantity>& codes) {
  const std::string code = d.Code;
  const bool isTime = d.Kind == 6;
  SimSource s;
  auto lookup = [&codes](const std::string& c) -> const CodeQuantity* {
    for (const auto& q : codes)
      if (q.Code == c) return &q;
    return nullptr;
  };
  if (const CodeQuantity* q = lookup(code)) {
    if (q->Register == d.Register && !isTime) {
      s.What = SimSource::Present;
      s.A = q->Quantity;
    } else {  // THD extremes carry the plain THD code: minimum first, then maximum
      s.What = isTime ? SimSource::ExtremeTime : SimSource::Extreme;
      s.A = q->Quantity;
      s.B = (d.Register - groupStart) % 2;
    }
    return s;
  }
  if (EndsWith(code, "min") || EndsWith(code, "max")) {
    if (const CodeQuantity* q = lookup(code.substr(0, code.size() - 3))) {
      s.What = isTime ? SimSource::ExtremeTime : SimSource::Extreme;
      s.A = q->Quantity;
      s.B = EndsWith(code, "max") ? 1 : 0;
      return s;
    }
  }
  // "HarU1_7": harmonic 7 of U1.
  if (code.size() >= 7 && code.compare(0, 3, "Har") == 0 && (code[3] == 'U' || code[3] == 'I') &&
      code[4] >= '1' && code[4] <= '3' && code[5] == '_') {
    const int order = std::atoi(code.c_str() + 6);
    if (order >= 1 && order <= SIM_HARMONICS) {
      s.What = SimSource::Harmonic;
      s.A = (code[3] == 'U' ? 0 : 3) + code[4] - '1';
      s.B = order;
      return s;
    }
  }
  static const char* const energy[] = {"EnP", "EnB", "EnS"};
  for (int i = 0; i < 3; ++i) {
    if (code == energy[i]) {
      s.What = SimSource::Energy;
      s.A = i;
      return s;
    }
    if (code == std::string(energy[i]) + "z") {
      s.What = SimSource::External;
      s.A = i;
      return s;
    }
  }
  // "Ept1" .. "Est4": tariff counters.
  if (code.size() == 4 && code[0] == 'E' && code[2] == 't' && code[3] >= '1' && code[3] <= '4') {
    const int kind = code[1] == 'p' ? 0 : code[1] == 'q' ? 1 : code[1] == 's' ? 2 : -1;
    if (kind >= 0) {
      s.What = SimSource::Tariff;
      s.A = kind;
      s.B = code[3] - '1';
      return s;
    }
  }
  return s;
}

}  // namespace

const char* SimModelName(int meterType) {
  const char* name = ModelName(meterType);
  return name ? name : "?";
}

int SimModelFromName(const std::string& name) {
  std::string n;
  for (char c : name) n += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (int t : METER_TYPES)
    if (n == SimModelName(t)) return t;
  return 0;
}

SimRegisterMap::SimRegisterMap(int meterType) {
  const uint16_t mask = ModelMask(meterType);
  if (mask == 0) return;
  const auto codes = QuantityCodes();
  for (int g = 0; g < PARAM_GROUP_COUNT; ++g) {
    const TParamGroup* group = GetParamGroup(g);
    if (!group || !(group->Models & mask) || !group->Definitions) continue;
    for (int i = 0; i < group->Count; ++i) {
      const TParamDef& d = group->Definitions[i];
      if (registers_.count(d.Register)) continue;
      SimRegister r;
      r.Register = d.Register;
      r.Width = ValueKindForRegister(d.Register);
      // Setup registers (below the measured range, with real limits) are the writable ones.
      r.Writable = IsSetupRegister(d.Register) && d.Min <= d.Max;
      r.Min = static_cast<int>(std::lround(d.Min));
      r.Max = static_cast<int>(std::lround(d.Max));
      r.Command = r.Writable && d.Command;
      r.Kind = d.Kind;
      r.Code = d.Code;
      if (IsMeasuredRegister(d.Register)) r.Source = ResolveSource(d, group->StartRegister, codes);
      registers_.emplace(r.Register, std::move(r));
    }
  }
}

const SimRegister* SimRegisterMap::Find(int reg) const {
  const auto it = registers_.find(reg);
  return it == registers_.end() ? nullptr : &it->second;
}

const SimRegister* SimRegisterMap::FindCode(const std::string& code) const {
  for (const auto& [reg, r] : registers_)
    if (r.Writable && r.Code == code) return &r;
  return nullptr;
}
