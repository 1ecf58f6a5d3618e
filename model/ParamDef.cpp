// The acquisition list: the records the meter's numeric variables are built from.
#include "model/ParamDef.h"

namespace {

// A read-only measured record (Min above Max: nothing can be written through it).
constexpr TParamDef Measured(int16_t reg, const char* code, const char* description,
                             const char* unit) {
  return TParamDef{reg, 4, code, description, 1.0f, 0.0f, unit, 0.0};
}

}  // namespace

// Records 0..33 are also the items of the two "Process variables" groups (the
// same records, so a group read there updates LastValue here). Record 34 is the
// relay output state, records 35..40 the THD values read by the acquisition cycle.
TParamDef AcquisitionList[ACQUISITION_LIST_SIZE] = {
    Measured(7500, "U1", "L1 phase voltage", "V"),
    Measured(7501, "I1", "L1 line current", "A"),
    Measured(7502, "P1", "L1 phase active power", "W"),
    Measured(7503, "Q1", "L1 phase reactive power", "VAr"),
    Measured(7504, "S1", "L1 phase apparent power", "VA"),
    Measured(7505, "Pf1", "L1 phase active power factor", ""),
    Measured(7506, "tf1", "L1 phase tangent fi", ""),
    Measured(7507, "U2", "L2 phase voltage", "V"),
    Measured(7508, "I2", "L2 line current", "A"),
    Measured(7509, "P2", "L2 phase active power", "W"),
    Measured(7510, "Q2", "L2 phase reactive power", "VAr"),
    Measured(7511, "S2", "L2 phase apparent power", "VA"),
    Measured(7512, "Pf2", "L2 phase active power factor", ""),
    Measured(7513, "tf2", "L2 phase tangent fi", ""),
    Measured(7514, "U3", "L3 phase voltage", "V"),
    Measured(7515, "I3", "L3 line current", "A"),
    Measured(7516, "P3", "L3 phase active power", "W"),
    Measured(7517, "Q3", "L3 phase reactive power", "VAr"),
    Measured(7518, "S3", "L3 phase apparent power", "VA"),
    Measured(7519, "Pf3", "L3 phase active power factor", ""),
    Measured(7520, "tf3", "L3 phase tangent fi", ""),
    Measured(7521, "Us", "Average 3-phase voltage", "V"),
    Measured(7522, "Is", "Average 3-phase current", "A"),
    Measured(7523, "P", "3-phase active power", "W"),
    Measured(7524, "Q", "3-phase reactive power", "VAr"),
    Measured(7525, "S", "3-phase apparent power", "VA"),
    Measured(7526, "Pf", "Active power factor", ""),
    Measured(7527, "tf", "tangent fi(=Q/P)", ""),
    Measured(7528, "f", "Frequency", "Hz"),
    Measured(7529, "U12", "L1-L2 voltage", "V"),
    Measured(7530, "U23", "L2-L3 voltage", "V"),
    Measured(7531, "U31", "L3-L1 voltage", "V"),
    Measured(7532, "U123", "Average phase to phase voltage", "V"),
    Measured(7533, "Pav", "Average active power", "W"),
    TParamDef{4030, 2, "ALR", "Relay output state", 1.0f, 0.0f, "", 0.0},
    Measured(7612, "THD_U1", "THD of L1 phase voltage", "%"),
    Measured(7613, "THD_U2", "THD of L2 phase voltage", "%"),
    Measured(7614, "THD_U3", "THD of L3 phase voltage", "%"),
    Measured(7615, "THD_I1", "THD of L1 phase current", "%"),
    Measured(7616, "THD_I2", "THD of L2 phase current", "%"),
    Measured(7617, "THD_I3", "THD of L3 phase current", "%"),
};
