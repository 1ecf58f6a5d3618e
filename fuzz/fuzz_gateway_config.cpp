// The gateway's configuration parser on any text: it either gives a
// configuration that holds what it promises, or a message with a line number.
#include <string>
#include <string_view>

#include "fuzz/FuzzCommon.h"
#include "gateway/GatewayConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // "ini" names a file to read; the fuzzer is not let loose on the file system.
  if (text.find("ini") != std::string_view::npos) return 0;
  TGatewayConfig config;
  std::string error;
  if (ParseGatewayConfig(text, "fuzz.toml", config, error)) {
    FUZZ_CHECK(error.empty());
    FUZZ_CHECK(!config.Lines.empty());
    for (const TLineConfig& line : config.Lines) {
      FUZZ_CHECK(!line.Port.empty() && !line.Name.empty());
      FUZZ_CHECK(line.Mode >= 0 && line.Mode <= 6);
      FUZZ_CHECK(BaudIndexOf(line.Baud) == line.BaudIndex);
      FUZZ_CHECK(!line.Meters.empty());
      for (const TMeterConfig& m : line.Meters) {
        FUZZ_CHECK(m.Address >= 1 && m.Address <= 247);
        FUZZ_CHECK(MeterTypeFromName(MeterModelName(m.Type)) == m.Type);
      }
    }
  } else {
    FUZZ_CHECK(error.rfind("fuzz.toml:", 0) == 0);
    FUZZ_CHECK(config.Lines.empty());
  }
  return 0;
}
