// The network address text ("tcp://HOST:PORT", "HOST:PORT", "[v6]:PORT") as a
// user types it or the settings file holds it: parsing never fails silently
// half-way, and what it accepts prints back to a name that parses the same.
#include <string>
#include <string_view>

#include "comm/SerialDeviceTcp.h"
#include "fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TTcpAddress address{"untouched", 7};
  if (!ParseTcpAddress(text, address)) {
    FUZZ_CHECK(address.Host == "untouched" && address.Port == 7);
    return 0;
  }
  FUZZ_CHECK(!address.Host.empty() && address.Port != 0);
  FUZZ_CHECK(address.Host.find_first_of(" /@\t\r\n") == std::string::npos);
  const std::string name = TcpDeviceName(address);
  FUZZ_CHECK(IsTcpDeviceName(name));
  TTcpAddress again;
  FUZZ_CHECK(ParseTcpAddress(name, again));
  FUZZ_CHECK(again.Host == address.Host && again.Port == address.Port);
  return 0;
}
