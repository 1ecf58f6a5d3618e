#include "gateway/ClientAllow.h"

#include <arpa/inet.h>

#include <cstring>

namespace {

bool ParseAddress(const std::string& text, TNetwork& n) {
  if (inet_pton(AF_INET, text.c_str(), n.Address.data()) == 1) {
    n.V6 = false;
    return true;
  }
  if (inet_pton(AF_INET6, text.c_str(), n.Address.data()) == 1) {
    n.V6 = true;
    // An IPv4 client seen on an IPv6 socket (::ffff:a.b.c.d) is that IPv4 address.
    static const uint8_t MAPPED[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::memcmp(n.Address.data(), MAPPED, sizeof MAPPED) == 0) {
      std::memmove(n.Address.data(), n.Address.data() + 12, 4);
      std::memset(n.Address.data() + 4, 0, 12);
      n.V6 = false;
    }
    return true;
  }
  return false;
}

bool InNetwork(const TNetwork& a, const TNetwork& net) {
  if (a.V6 != net.V6) return false;
  for (int bit = 0; bit < net.Bits; ++bit) {
    const uint8_t mask = static_cast<uint8_t>(0x80 >> (bit % 8));
    if ((a.Address[static_cast<size_t>(bit / 8)] & mask) !=
        (net.Address[static_cast<size_t>(bit / 8)] & mask))
      return false;
  }
  return true;
}

}  // namespace

bool ParseNetwork(std::string_view text, TNetwork& network) {
  const size_t slash = text.find('/');
  const std::string host(text.substr(0, slash));
  TNetwork n;
  if (!ParseAddress(host, n)) return false;
  const int most = n.V6 ? 128 : 32;
  n.Bits = most;
  if (slash != std::string_view::npos) {
    const std::string_view bits = text.substr(slash + 1);
    if (bits.empty() || bits.size() > 3) return false;
    int b = 0;
    for (char c : bits) {
      if (c < '0' || c > '9') return false;
      b = b * 10 + (c - '0');
    }
    if (b > most) return false;
    n.Bits = b;
  }
  network = n;
  return true;
}

bool AddressAllowed(const std::string& address, const std::vector<TNetwork>& allow) {
  TNetwork a;
  if (!ParseAddress(address, a)) return false;
  for (const TNetwork& net : allow)
    if (InNetwork(a, net)) return true;
  return false;
}
