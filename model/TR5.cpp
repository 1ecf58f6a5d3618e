// The meter object: construction of the driver of all five models.
#include "model/TR5.h"

#include <memory>

std::string DefaultMeterName(int meterType, int address) {
  const char* model = ModelName(meterType);
  return std::string(model ? model : "Meter") + "_" + std::to_string(address);
}

TTR5::TTR5(bool populate, TModbusPort* port)
    : TSlownik("TR5", "Network parameter meter", MT_TR5), Port(port) {
  // The first acquisition step reads the process variables.
  BlockStart = PROCESS_BLOCK_START;
  BlockCount = PROCESS_BLOCK_LENGTH;
  Address = 1;
  if (!populate) return;
  // AddChild sorts by register, so the list runs "ALR" (4030), "U1" (7500) ...
  // "Pav" (7533), "THD_U1" (7612) ... "THD_I3" (7617).
  for (const TParamDef& def : AcquisitionList) AddChild(std::make_unique<TZmiennaNum>(def));
}
