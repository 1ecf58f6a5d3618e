// A network serial server (an RS-485-to-Ethernet converter) as a serial port:
// the line's RTU or ASCII bytes pass through a TCP connection unchanged.
//
// The port is named "tcp://HOST:PORT" (HOST a name, an IPv4 address or an IPv6
// address in brackets). Framing, time-outs and purging work as on a serial
// line; the baud rate only sets the reply time-out's floor, since the converter
// still sends at the line's rate. RTS switching is the converter's business.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "comm/SerialDevice.h"

// How long opening waits for the name to resolve and the connection to be
// made. It stays below the shortest reply time-out (1000 ms), so reconnecting
// never holds the caller longer than a reply may take.
constexpr int TCP_CONNECT_TIMEOUT_MS = 900;

constexpr const char* TCP_NAME_PREFIX = "tcp://";

struct TTcpAddress {
  std::string Host;  // without the brackets of an IPv6 address
  uint16_t Port = 0;
};

// Parses "HOST:PORT" (also with a leading "tcp://"); PORT 1..65535, HOST
// non-empty without spaces or control characters, IPv6 in brackets. False on
// anything else, leaving address untouched.
bool ParseTcpAddress(std::string_view text, TTcpAddress& address);
// "tcp://HOST:PORT" for an address (brackets around IPv6 hosts).
std::string TcpDeviceName(const TTcpAddress& address);
// True when name starts with "tcp://" (letter case ignored).
bool IsTcpDeviceName(std::string_view name);

// Connects to the server named "tcp://HOST:PORT" within timeoutMs. nullptr
// when it cannot; error (when given) then says why in words for the user.
// A connection still under way at the deadline is kept, and the next call for
// the same name (within 10 s) waits for it only briefly (50 ms).
std::unique_ptr<SerialDevice> OpenTcpSerialDevice(const std::string& name, std::string* error = nullptr,
                                                  int timeoutMs = TCP_CONNECT_TIMEOUT_MS);

// Opens a port by name: a network serial server for "tcp://HOST:PORT", else
// the serial port (OpenSerialDevice). The master's default way to open its port.
std::unique_ptr<SerialDevice> OpenPortDevice(const std::string& name);

// Why the last OpenPortDevice of a network name on this thread failed, or why
// that connection was lost since; empty after a success with nothing lost.
std::string LastTcpError();

// Why the last open of the port name on this thread failed, in words for the
// user, starting with the name: "COM3 (/dev/ttyUSB0): busy, in use by another
// program", "tcp://host:502: Connection refused".
std::string PortOpenProblem(const std::string& name);
