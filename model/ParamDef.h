// Definition records of meter registers and the register tables of all models.
#pragma once

#include <cstdint>

#include "model/Registers.h"

// A float at or above this (or at or below its negative) means "no valid value".
constexpr float NO_VALUE = 1.0e20f;

// Meter model codes as held in the Kind of a meter object.
enum TMeterType : int {
  MT_UNKNOWN = 0,
  MT_TR5 = 80,
  MT_TR5B = 81,
  MT_VR5 = 85,
  MT_VR5B = 86,
  MT_TR8 = 118,
};

// One register known to the program.
struct TParamDef {
  int16_t Register;
  int16_t Kind;             // 2 setup int, 4 measured float, 5 setup selection, 6 time, 7 percent
  const char* Code;         // short code, never null
  const char* Description;  // long text, never null
  float Min;                // lowest value that may be written
  float Max;                // highest value that may be written
  const char* Unit;         // unit text (UTF-8), never null, may be ""
  double LastValue;         // last value read or written by a group read or a write
  // A command rather than a setting ("Cancellation of ... (1-yes)"): the meter
  // acts on the value written and the register drops back to 0.
  bool Command = false;
};

// The 41 records the meter's numeric variables are built from, in list order.
constexpr int ACQUISITION_LIST_SIZE = 41;
static_assert(ACQUISITION_LIST_SIZE == PROCESS_BLOCK_LENGTH + 1 + THD_BLOCK_LENGTH,
              "the process block, the relay output state and the THD block");
extern TParamDef AcquisitionList[ACQUISITION_LIST_SIZE];

// One register group of a model.
struct TParamGroup {
  uint16_t Models;           // ModelMask bits of the models that have this group
  TParamDef* Definitions;    // Count records follow each other
  const char* Title;
  int16_t StartRegister;
  int16_t Count;
};

constexpr int PARAM_GROUP_COUNT = 41;

// ModelMask bits.
enum : uint16_t {
  MM_TR5 = 1,
  MM_VR5 = 2,
  MM_VR5B = 4,
  MM_TR5B = 8,
  MM_TR8 = 16,
};

// The five models' type codes.
constexpr int METER_TYPES[] = {MT_TR5, MT_TR5B, MT_VR5, MT_VR5B, MT_TR8};

// The model's name by its type code ("TR5" for 80); nullptr for none of the five.
const char* ModelName(int meterType);
// The type code of a model's name, letter case as written; 0 for none of the five.
int ModelType(const char* name);

// The ModelMask bit of a MeterType code; 0 for a code that is none of the five models.
uint16_t ModelMask(int meterType);

// Group by index 0..40; nullptr outside that range.
TParamGroup* GetParamGroup(int groupIndex);

// The record a ParamSelector (group * 100 + item) addresses; nullptr for item 0,
// a group index out of range or an item number above the group's Count.
TParamDef* FindParamDef(int selector);
