// TTR5: writing one setup register (Modbus function 6) within the item's limits.
#include "model/TR5.h"

#include <cmath>
#include <cstdio>

#include "comm/ModbusFrame.h"
#include "comm/Trans.h"

namespace {

// A transaction answered gives back its function code.
constexpr int RESULT_WRITE_OK = modbus::WRITE_SINGLE_REGISTER;
constexpr int RESULT_READ_OK = modbus::READ_HOLDING_REGISTERS;

// Reads one setup register back; false when the meter does not answer with it.
bool ReadBack(TModbusPort& port, int address, int reg, int16_t& value) {
  if (port.ReadRegistersWait(address, static_cast<int16_t>(reg), 1) != RESULT_READ_OK) return false;
  if (port.Reply.ByteCount != 2) return false;
  return port.TakeValue('i', &value) == 0;
}

}  // namespace

// A write is done only when the meter holds the value: after the meter has
// confirmed it, the register is read back and must hold what was sent. The
// item then keeps the value read back (a whole number where the register
// holds whole numbers), not the text typed.
//
// A command item (a counter cleared by writing 1) acts and drops back to 0, so
// its read-back may show 0 as well. That leaves the confirmation as the only
// sign that the meter took the write, and a copy of the request may be our own
// echo: on a line whose echo is not known yet, a read of the register learns
// it first, so that the confirmation counted is the meter's. A line that stays
// unknown (nothing at all came back to that read) gets no command write.
//
// Results: 1 written and confirmed; 9 no such item or not confirmed; 16 the
// register is a measured one; 33 no number, or outside Min..Max; 0 the link is
// down (message "No transmission with ") or the group index is 41 or above
// (message untouched).
int TTR5::WriteParameter(int selector, const char* text, std::string& message) {
  if (LinkState != 1) {
    message = "No transmission with ";
    return 0;
  }
  if (selector >= 0 && selector / 100 >= PARAM_GROUP_COUNT) return 0;

  TParamDef* def = FindParamDef(selector);
  float v = 0.0f;
  int result;
  if (!def) {
    result = WRITE_IMPOSSIBLE;
  } else if (IsMeasuredRegister(def->Register)) {
    result = WRITE_READ_ONLY;
  } else if (!text || std::sscanf(text, "%f", &v) != 1 || std::isnan(v)) {
    // Nothing that reads as a number: there is no value to check or send.
    result = WRITE_OUT_OF_RANGE;
  } else if (v < def->Min || v > def->Max || std::fabs(v) >= 2147483648.0f) {
    result = WRITE_OUT_OF_RANGE;
  } else {
    result = WRITE_OK;
  }
  message.clear();

  int16_t held = 0;
  if (result == WRITE_OK) {
    // Truncated toward zero; the register keeps the low 16 bits.
    const int16_t w = static_cast<int16_t>(static_cast<int32_t>(std::trunc(v)));
    int r = MB_PORT_CLOSED;
    if (Port && def->Command && Port->LineEcho == TModbusPort::TLineEcho::Unknown)
      ReadBack(*Port, Address, def->Register, held);
    const bool echoKnown = Port && Port->LineEcho != TModbusPort::TLineEcho::Unknown;
    if (Port && (echoKnown || !def->Command) && Port->AppendValue('i', &w) == 0)
      r = Port->WriteRegister(static_cast<uint8_t>(Address), def->Register);
    if (r != RESULT_WRITE_OK || !ReadBack(*Port, Address, def->Register, held) ||
        !(held == w || (def->Command && held == 0)))
      result = WRITE_IMPOSSIBLE;
  }

  switch (result) {
    case WRITE_OK: def->LastValue = held; break;
    case WRITE_IMPOSSIBLE: message = "Impossible request"; break;
    case WRITE_READ_ONLY: message = "Parameter read-only"; break;
    case WRITE_OUT_OF_RANGE: message = "Out of range"; break;
  }
  return result;
}
