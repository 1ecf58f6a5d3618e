// The setup file reader on arbitrary text: it either refuses with a reason or
// gives a setup that writes back to text it reads the same again.
#include <string>
#include <string_view>

#include "fuzz/FuzzCommon.h"
#include "model/SetupFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TSetup setup;
  std::string error;
  if (!ParseSetup(text, setup, error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(!setup.Items.empty() && setup.Items.size() == SetupSelectors(setup.MeterType).size());
  const std::string again = FormatSetup(setup);
  TSetup reread;
  FUZZ_CHECK(ParseSetup(again, reread, error));
  FUZZ_CHECK(FormatSetup(reread) == again);
  FUZZ_CHECK(CompareSetup(setup, reread).empty());
  CheckSetupForMeter(setup, setup.MeterType, error);
  return 0;
}
