// Which client addresses may connect: a list of networks in CIDR notation
// ("127.0.0.0/8", "192.0.2.0/24", "::1/128"; a plain address is one host).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TNetwork {
  bool V6 = false;
  std::array<uint8_t, 16> Address{};  // IPv4 in the first four bytes
  int Bits = 0;
};

// False for text that is no address or a prefix length beyond its family's.
bool ParseNetwork(std::string_view text, TNetwork& network);
// Whether the address (inet_pton's text form, IPv4 mapped into IPv6 taken as IPv4) lies in one of them.
bool AddressAllowed(const std::string& address, const std::vector<TNetwork>& allow);
