// The gateway's configuration: the lines and their meters, and which outputs
// are on. Read from one TOML file; a line's meters may also come from the
// device list of a Kavrel.INI.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TMeterConfig {
  std::string Name;  // unique in the gateway; letters, digits, '_', '-', '.'
  int Type = 0;      // MT_TR5 ...
  int Address = 1;   // 1..247
  int UnitId = 0;    // Modbus TCP unit id, unique in the gateway; the address when not given
  bool AllowWrites = false;  // Modbus TCP clients may write its setup registers (function 6)
  double NominalVoltage = 230;  // V, phase to neutral as the meter shows it; for the alert rules
};

struct TLineConfig {
  std::string Name;      // unique; "line1", "line2" ... when not given
  std::string Port;      // "COM1", "/dev/ttyUSB0" or "tcp://host:port"
  int BaudIndex = 6;     // index into 300 ... 19200 as the port takes it
  int Baud = 19200;
  int Mode = 6;          // transmission mode 0..6 (0-2 ASCII, 3-6 RTU)
  int LinkType = 0;      // 0 RS485 card, 1 KX7 converter
  int TimeoutMs = 0;     // reply time-out; 0: the port's own by baud rate
  int RelayIntervalMs = 5000;  // relay state read this often
  int MaxBackoffMs = 5000;     // longest pause before a silent meter is tried again
  double StaleAfterS = 0;  // a value older than this is not served; 0: three of its own cycles, at least 10 s
  double EnergyIntervalS = 10;    // the energy counters read this often; 0: never
  double HarmonicsIntervalS = 0;  // harmonics 1..25 read this often at most; 0: never
  std::vector<TMeterConfig> Meters;
};

struct THttpConfig {
  bool Enabled = false;
  std::string Address = "127.0.0.1";
  int Port = 9105;
};

struct TMqttConfig {
  bool Enabled = false;
  std::string Host = "127.0.0.1";
  int Port = 1883;
  std::string Prefix = "kavrel";
  std::string ClientId = "kavrel-gateway";
  std::string Username;
  std::string Password;
  int Qos = 0;
  int KeepaliveS = 30;
  double IntervalS = 5;      // a meter's values are published at most this often
  size_t QueueLimit = 10000;
};

struct TSqliteConfig {
  bool Enabled = false;
  std::string Path = "kavrel-gateway.db";
  double IntervalS = 10;        // a meter's values are stored at most this often
  double RetentionDays = 30;    // older rows are deleted
  size_t QueueLimit = 10000;    // samples and events waiting for the writer
};

// The Modbus TCP server: the meters' registers from memory, other requests
// passed to their line.
struct TModbusTcpConfig {
  bool Enabled = false;
  std::string Address = "127.0.0.1";
  int Port = 1502;
  int MaxConnections = 32;
  double IdleTimeoutS = 60;
  // Client networks (CIDR) that may connect.
  std::vector<std::string> Allow = {"127.0.0.0/8", "::1/128"};
  int QueueLimit = 8;  // pass-through requests waiting per line
};

struct TGatewayConfig {
  std::vector<TLineConfig> Lines;
  THttpConfig Http;
  TMqttConfig Mqtt;
  TSqliteConfig Sqlite;
  TModbusTcpConfig ModbusTcp;
  int MeterCount() const;
};

// The keys each section of the file takes, as the reader checks them:
// "http", "mqtt", "sqlite", "modbus_tcp", "line" ([[line]]) and "line.meter" ([[line.meter]]).
struct TConfigSection {
  const char* Name;
  std::vector<const char*> Keys;
};
const std::vector<TConfigSection>& GatewayConfigSections();

// Parses the text of a configuration file. sourceName is used in messages and
// relative "ini" paths are taken from its directory, as is a relative SQLite
// path unless $STATE_DIRECTORY (a service's) names the place for it. On error returns false
// and puts "<source>:<line>: <what>" into error.
bool ParseGatewayConfig(std::string_view text, const std::string& sourceName, TGatewayConfig& config,
                        std::string& error);
// Reads and parses the file at path.
bool LoadGatewayConfig(const std::string& path, TGatewayConfig& config, std::string& error);

// Meter model by name ("TR5", "tr8") or type code ("80"); 0 when unknown.
int MeterTypeFromName(std::string_view name);
const char* MeterModelName(int type);
// Baud rate to the port's baud index; -1 when not one of 300 ... 19200.
int BaudIndexOf(int baud);
