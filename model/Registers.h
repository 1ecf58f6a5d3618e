// The meters' register map as the program sees it: the two blocks the
// acquisition cycle reads, and the ranges that decide what a register is
// (setup or measured) and how its value travels on the line. Every layer
// takes these from here; the register tables keep the numbers of single
// quantities.
#pragma once

// Below this the setup registers (16-bit integers, the writable ones); from
// here on the measured values, read only.
constexpr int FIRST_MEASURED_REGISTER = 7500;
// From here on the measured values are 32-bit integers (counters, times of
// extremes); between FIRST_MEASURED_REGISTER and this they are floats.
constexpr int FIRST_LONG_REGISTER = 7800;

// The process block: the 34 process variables (U1 ... Pav), one float each.
constexpr int PROCESS_BLOCK_START = FIRST_MEASURED_REGISTER;
constexpr int PROCESS_BLOCK_LENGTH = 34;
// The THD block: THD of U1, U2, U3, I1, I2, I3.
constexpr int THD_BLOCK_START = 7612;
constexpr int THD_BLOCK_LENGTH = 6;

static_assert(PROCESS_BLOCK_START + PROCESS_BLOCK_LENGTH <= THD_BLOCK_START, "the blocks do not overlap");
static_assert(THD_BLOCK_START + THD_BLOCK_LENGTH <= FIRST_LONG_REGISTER, "THD values are floats");

constexpr bool IsSetupRegister(int reg) { return reg < FIRST_MEASURED_REGISTER; }
constexpr bool IsMeasuredRegister(int reg) { return !IsSetupRegister(reg); }
constexpr bool InProcessBlock(int reg) {
  return reg >= PROCESS_BLOCK_START && reg < PROCESS_BLOCK_START + PROCESS_BLOCK_LENGTH;
}
constexpr bool InThdBlock(int reg) { return reg >= THD_BLOCK_START && reg < THD_BLOCK_START + THD_BLOCK_LENGTH; }

// Wire width of the values of a block by its first register: 'i' (16-bit int)
// for setup registers, 'f' (float) up to FIRST_LONG_REGISTER, 'l' (32-bit int)
// from there.
constexpr char ValueKindForRegister(int startRegister) {
  if (IsSetupRegister(startRegister)) return 'i';
  if (startRegister < FIRST_LONG_REGISTER) return 'f';
  return 'l';
}
