#include "gateway/GatewayConfig.h"

#include <toml++/toml.h>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <map>
#include <set>
#include <sstream>

#include "comm/LineFormat.h"
#include "gateway/ClientAllow.h"
#include "model/ParamDef.h"
#include "settings/Settings.h"

namespace {

constexpr size_t CONFIG_SIZE_LIMIT = 4u << 20;

// A configuration error with the line it was found on.
struct TConfigError {
  long Line;
  std::string What;
};

long LineOf(const toml::node& node) { return static_cast<long>(node.source().begin.line); }

bool IsNameCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
}

// Names go into MQTT topics, label values and file-like places: keep them plain.
bool IsPlainName(const std::string& s) {
  if (s.empty() || s.size() > 64) return false;
  for (char c : s)
    if (!IsNameCharacter(c)) return false;
  return true;
}

const std::vector<const char*>& KeysOf(std::string_view section) {
  for (const TConfigSection& s : GatewayConfigSections())
    if (section == s.Name) return s.Keys;
  static const std::vector<const char*> none;
  return none;
}

// Reads the keys of one table, each at most once, and refuses keys it does not know.
class TTableReader {
public:
  TTableReader(const toml::table& table, std::string where, const std::vector<const char*>& known)
      : Table(table), Where(std::move(where)) {
    for (const auto& [key, node] : table) {
      bool ok = false;
      for (const char* k : known) ok = ok || key.str() == k;
      if (!ok) throw TConfigError{LineOf(node), "unknown key \"" + std::string(key.str()) + "\" in " + SectionName()};
    }
  }

  const toml::node* Find(const char* key) const { return Table.get(key); }

  std::string String(const char* key, const std::string& fallback) const {
    const toml::node* n = Find(key);
    if (!n) return fallback;
    if (!n->is_string()) throw TConfigError{LineOf(*n), Where + "." + key + " must be a text in quotes"};
    return *n->value<std::string>();
  }

  long long Integer(const char* key, long long fallback, long long low, long long high) const {
    const toml::node* n = Find(key);
    if (!n) return fallback;
    if (!n->is_integer()) throw TConfigError{LineOf(*n), Where + "." + key + " must be a whole number"};
    const long long v = *n->value<int64_t>();
    if (v < low || v > high)
      throw TConfigError{LineOf(*n), Where + "." + key + " must be from " + std::to_string(low) + " to " +
                                         std::to_string(high) + ", not " + std::to_string(v)};
    return v;
  }

  double Number(const char* key, double fallback, double low, double high) const {
    const toml::node* n = Find(key);
    if (!n) return fallback;
    if (!n->is_number()) throw TConfigError{LineOf(*n), Where + "." + key + " must be a number"};
    const double v = n->is_integer() ? static_cast<double>(*n->value<int64_t>()) : *n->value<double>();
    if (!(v >= low && v <= high)) {
      std::ostringstream s;
      s << Where << "." << key << " must be from " << low << " to " << high;
      throw TConfigError{LineOf(*n), s.str()};
    }
    return v;
  }

  bool Bool(const char* key, bool fallback) const {
    const toml::node* n = Find(key);
    if (!n) return fallback;
    if (!n->is_boolean()) throw TConfigError{LineOf(*n), Where + "." + key + " must be true or false"};
    return *n->value<bool>();
  }

  long Line(const char* key) const {
    const toml::node* n = Find(key);
    return n ? LineOf(*n) : LineOf(Table);
  }

private:
  std::string SectionName() const {
    if (Where == "meter") return "[[line.meter]]";
    if (Where == "line") return "[[line]]";
    if (Where == "the file") return Where;
    return "[" + Where + "]";
  }

  const toml::table& Table;
  std::string Where;
};

const toml::table* SectionTable(const toml::table& root, const char* name) {
  const toml::node* n = root.get(name);
  if (!n) return nullptr;
  if (!n->is_table()) throw TConfigError{LineOf(*n), std::string("[") + name + "] must be a section"};
  return n->as_table();
}

// Framing "ascii" or "rtu" with a character format to the port's mode number.
int ModeOf(const std::string& framing, const std::string& format, long line) {
  std::string f;
  for (char c : format) f += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string fr;
  for (char c : framing) fr += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (fr == "ascii") {
    if (f.empty() || f == "8N1") return 0;
    if (f == "7E1") return 1;
    if (f == "7O1") return 2;
    throw TConfigError{line, "format \"" + format + "\" is not one of ASCII's 8N1, 7E1, 7O1"};
  }
  if (fr == "rtu") {
    if (f.empty() || f == "8N1") return 6;
    if (f == "8N2") return 3;
    if (f == "8E1") return 4;
    if (f == "8O1") return 5;
    throw TConfigError{line, "format \"" + format + "\" is not one of RTU's 8N1, 8N2, 8E1, 8O1"};
  }
  throw TConfigError{line, "framing must be \"ascii\" or \"rtu\", not \"" + framing + "\""};
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Where a relative database path leads: the state directory systemd gives a
// service (StateDirectory=, the only place it may write), else beside the file.
std::string DatabaseDirectory(const std::string& sourceName) {
  const char* state = std::getenv("STATE_DIRECTORY");  // several are separated by ':'
  if (!state || !*state) return DirectoryOf(sourceName);
  const std::string first(state, std::strcspn(state, ":"));
  return first + "/";
}

// The meters of a Kavrel.INI device list ("Dev<n>=MODEL,ADDRESS,DESCRIPTION,"), named
// MODEL_ADDRESS as the program names them; the port settings fill what the line leaves out.
void ReadIniDevices(const std::string& path, long tomlLine, TLineConfig& line, bool portGiven, bool baudGiven,
                    bool modeGiven, bool linkGiven) {
  TSettingsFile file;
  if (ReadSettingsFile(path, file) != TSettingsReadResult::Ok)
    throw TConfigError{tomlLine, "cannot read the device list file \"" + path + "\""};
  const TSettings settings = ParseSettings(file.Lines);
  if (!portGiven) line.Port = "COM" + std::to_string(settings.PortIndex + 1);
  if (!baudGiven && settings.BaudIndex >= 0 && settings.BaudIndex < lineformat::BAUD_COUNT) {
    line.BaudIndex = settings.BaudIndex;
    line.Baud = static_cast<int>(lineformat::BAUD_RATES[settings.BaudIndex]);
  }
  if (!modeGiven && settings.Mode >= 0 && settings.Mode <= 6) line.Mode = settings.Mode;
  if (!linkGiven && (settings.LinkType == 0 || settings.LinkType == 1)) line.LinkType = settings.LinkType;
  for (const std::string& whole : settings.DeviceLines) {
    long iniLine = 0;
    for (size_t i = 0; i < file.Lines.size(); ++i)
      if (file.Lines[i] == whole) iniLine = static_cast<long>(i) + 1;
    const std::string where = path + ":" + std::to_string(iniLine);
    const size_t eq = whole.find('=');
    const std::string value = eq == std::string::npos ? std::string() : whole.substr(eq + 1);
    if (value.empty()) continue;
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : value) {
      if (c == ',') {
        pieces.push_back(piece);
        piece.clear();
      } else {
        piece += c;
      }
    }
    pieces.push_back(piece);
    if (pieces.size() < 2) throw TConfigError{tomlLine, where + ": device entry needs MODEL,ADDRESS"};
    TMeterConfig m;
    m.Type = MeterTypeFromName(pieces[0]);
    if (m.Type == 0) throw TConfigError{tomlLine, where + ": unknown meter model \"" + pieces[0] + "\""};
    int address = 0;
    if (!ParseWholeNumber(pieces[1], address) || address < 1 || address > 247)
      throw TConfigError{tomlLine, where + ": meter address must be 1 to 247, not \"" + pieces[1] + "\""};
    m.Address = address;
    m.Name = std::string(MeterModelName(m.Type)) + "_" + std::to_string(address);
    m.UnitId = address;
    line.Meters.push_back(m);
  }
}

// Where each meter's unit id was given (its address when no unit_id), by meter name.
thread_local std::map<std::string, long> UnitIdLines;

void ReadModbusTcp(const toml::table& t, TModbusTcpConfig& c) {
  TTableReader r(t, "modbus_tcp", KeysOf("modbus_tcp"));
  c.Enabled = r.Bool("enabled", true);
  c.Address = r.String("address", c.Address);
  c.Port = static_cast<int>(r.Integer("port", c.Port, 0, 65535));
  c.MaxConnections = static_cast<int>(r.Integer("max_connections", c.MaxConnections, 1, 1000));
  c.IdleTimeoutS = r.Number("idle_timeout_s", c.IdleTimeoutS, 1, 86400);
  c.QueueLimit = static_cast<int>(r.Integer("queue", c.QueueLimit, 1, 1000));
  if (const toml::node* allow = r.Find("allow")) {
    const toml::array* list = allow->as_array();
    if (!list)
      throw TConfigError{LineOf(*allow), "modbus_tcp.allow must be a list of networks, [\"127.0.0.0/8\"]"};
    c.Allow.clear();
    for (const toml::node& n : *list) {
      TNetwork network;
      if (!n.is_string() || !ParseNetwork(*n.value<std::string>(), network))
        throw TConfigError{LineOf(n), "modbus_tcp.allow takes networks such as \"192.0.2.0/24\" or \"::1\""};
      c.Allow.push_back(*n.value<std::string>());
    }
  }
}

TLineConfig ReadLine(const toml::table& t, size_t index, const std::string& sourceName) {
  const std::string where = "[[line]] " + std::to_string(index + 1);
  TTableReader r(t, "line", KeysOf("line"));
  TLineConfig line;
  line.Name = r.String("name", "line" + std::to_string(index + 1));
  if (!IsPlainName(line.Name))
    throw TConfigError{r.Line("name"), "line name \"" + line.Name + "\" may hold only letters, digits, '_', '-' and '.'"};
  line.Port = r.String("port", "");
  const std::string ini = r.String("ini", "");
  if (line.Port.empty() && ini.empty())
    throw TConfigError{LineOf(t), where + " needs a port (COMn, a device path or tcp://host:port)"};
  if (r.Find("baud")) {
    line.Baud = static_cast<int>(r.Integer("baud", 19200, 300, 19200));
    line.BaudIndex = BaudIndexOf(line.Baud);
    if (line.BaudIndex < 0)
      throw TConfigError{r.Line("baud"), "baud must be 300, 600, 1200, 2400, 4800, 9600 or 19200"};
  }
  if (r.Find("framing") || r.Find("format"))
    line.Mode = ModeOf(r.String("framing", "rtu"), r.String("format", ""), r.Line(r.Find("framing") ? "framing" : "format"));
  const std::string link = r.String("link", "rs485");
  if (link == "rs485") line.LinkType = 0;
  else if (link == "kx7") line.LinkType = 1;
  else throw TConfigError{r.Line("link"), "link must be \"rs485\" or \"kx7\""};
  line.TimeoutMs = static_cast<int>(r.Integer("timeout_ms", 0, 0, 60000));
  line.RelayIntervalMs = static_cast<int>(r.Integer("relay_interval_ms", 5000, 100, 3600000));
  line.MaxBackoffMs = static_cast<int>(r.Integer("max_backoff_ms", 5000, 100, 3600000));
  line.StaleAfterS = r.Number("stale_after_s", 0, 0, 86400);
  line.EnergyIntervalS = r.Number("energy_interval_s", line.EnergyIntervalS, 0, 86400);
  line.HarmonicsIntervalS = r.Number("harmonics_interval_s", line.HarmonicsIntervalS, 0, 86400);

  if (!ini.empty()) {
    const std::string path = ini[0] == '/' ? ini : DirectoryOf(sourceName) + ini;
    ReadIniDevices(path, r.Line("ini"), line, r.Find("port") != nullptr, r.Find("baud") != nullptr,
                   r.Find("framing") || r.Find("format"), r.Find("link") != nullptr);
  }

  if (const toml::node* meters = r.Find("meter")) {
    const toml::array* list = meters->as_array();
    if (!list || !list->is_array_of_tables())
      throw TConfigError{LineOf(*meters), "meters are given as [[line.meter]] sections"};
    for (const toml::node& node : *list) {
      const toml::table& mt = *node.as_table();
      TTableReader m(mt, "meter", KeysOf("line.meter"));
      TMeterConfig meter;
      const toml::node* model = m.Find("model");
      if (!model) throw TConfigError{LineOf(mt), "a meter needs a model (TR5, TR5B, VR5, VR5B or TR8)"};
      meter.Type = MeterTypeFromName(m.String("model", ""));
      if (meter.Type == 0)
        throw TConfigError{LineOf(*model), "unknown meter model \"" + m.String("model", "") +
                                               "\" (TR5, TR5B, VR5, VR5B or TR8)"};
      if (!m.Find("address")) throw TConfigError{LineOf(mt), "a meter needs an address (1 to 247)"};
      meter.Address = static_cast<int>(m.Integer("address", 1, 1, 247));
      meter.NominalVoltage = m.Number("nominal_voltage", meter.NominalVoltage, 1, 1e7);
      meter.Name = m.String("name", std::string(MeterModelName(meter.Type)) + "_" + std::to_string(meter.Address));
      if (!IsPlainName(meter.Name))
        throw TConfigError{m.Line("name"), "meter name \"" + meter.Name + "\" may hold only letters, digits, '_', '-' and '.'"};
      meter.UnitId = static_cast<int>(m.Integer("unit_id", meter.Address, 1, 247));
      meter.AllowWrites = m.Bool("allow_writes", false);
      UnitIdLines[meter.Name] = m.Line(m.Find("unit_id") ? "unit_id" : "address");
      for (const TMeterConfig& other : line.Meters)
        if (other.Address == meter.Address)
          throw TConfigError{m.Line("address"), "address " + std::to_string(meter.Address) + " is used twice on line " + line.Name};
      line.Meters.push_back(meter);
    }
  }
  if (line.Meters.empty()) throw TConfigError{LineOf(t), "line " + line.Name + " has no meters"};
  return line;
}

void ReadConfig(const toml::table& root, const std::string& sourceName, TGatewayConfig& config) {
  TTableReader top(root, "the file", {"line", "http", "mqtt", "sqlite", "modbus_tcp"});
  UnitIdLines.clear();
  if (const toml::table* t = SectionTable(root, "modbus_tcp")) ReadModbusTcp(*t, config.ModbusTcp);
  if (const toml::table* h = SectionTable(root, "http")) {
    TTableReader r(*h, "http", KeysOf("http"));
    config.Http.Enabled = r.Bool("enabled", true);
    config.Http.Address = r.String("address", config.Http.Address);
    config.Http.Port = static_cast<int>(r.Integer("port", config.Http.Port, 0, 65535));
  }
  if (const toml::table* m = SectionTable(root, "mqtt")) {
    TTableReader r(*m, "mqtt", KeysOf("mqtt"));
    TMqttConfig& c = config.Mqtt;
    c.Enabled = r.Bool("enabled", true);
    c.Host = r.String("host", c.Host);
    c.Port = static_cast<int>(r.Integer("port", c.Port, 1, 65535));
    c.Prefix = r.String("prefix", c.Prefix);
    if (c.Prefix.empty() || c.Prefix.find_first_of("#+") != std::string::npos || c.Prefix.back() == '/')
      throw TConfigError{r.Line("prefix"), "[mqtt] prefix must be a topic without '#', '+' or a final '/'"};
    c.ClientId = r.String("client_id", c.ClientId);
    c.Username = r.String("username", "");
    c.Password = r.String("password", "");
    c.Qos = static_cast<int>(r.Integer("qos", 0, 0, 2));
    c.KeepaliveS = static_cast<int>(r.Integer("keepalive_s", c.KeepaliveS, 5, 3600));
    c.IntervalS = r.Number("interval_s", c.IntervalS, 0, 86400);
    c.QueueLimit = static_cast<size_t>(r.Integer("queue", 10000, 10, 10000000));
  }
  if (const toml::table* s = SectionTable(root, "sqlite")) {
    TTableReader r(*s, "sqlite", KeysOf("sqlite"));
    TSqliteConfig& c = config.Sqlite;
    c.Enabled = r.Bool("enabled", true);
    c.Path = r.String("path", c.Path);
    if (c.Path.empty()) throw TConfigError{r.Line("path"), "[sqlite] path must not be empty"};
    if (c.Path[0] != '/') c.Path = DatabaseDirectory(sourceName) + c.Path;
    c.IntervalS = r.Number("interval_s", c.IntervalS, 0, 86400);
    c.RetentionDays = r.Number("retention_days", c.RetentionDays, 0.0001, 36500);
    c.QueueLimit = static_cast<size_t>(r.Integer("queue", 10000, 10, 10000000));
  }

  const toml::node* lines = root.get("line");
  if (!lines) throw TConfigError{1, "no [[line]] sections: nothing to poll"};
  const toml::array* list = lines->as_array();
  if (!list || !list->is_array_of_tables()) throw TConfigError{LineOf(*lines), "lines are given as [[line]] sections"};
  std::set<std::string> lineNames, meterNames;
  for (size_t i = 0; i < list->size(); ++i) {
    const toml::table& t = *list->get(i)->as_table();
    TLineConfig line = ReadLine(t, i, sourceName);
    if (!lineNames.insert(line.Name).second) throw TConfigError{LineOf(t), "line name \"" + line.Name + "\" is used twice"};
    for (const TMeterConfig& m : line.Meters)
      if (!meterNames.insert(m.Name).second)
        throw TConfigError{LineOf(t), "meter name \"" + m.Name + "\" is used twice"};
    config.Lines.push_back(std::move(line));
  }
  // Meters from a device list have no line of their own in the file: their
  // [[line]]'s line stands for them. Unit ids matter only to the Modbus TCP server.
  std::vector<std::pair<int, std::string>> units;  // unit id, meter
  for (size_t i = 0; config.ModbusTcp.Enabled && i < config.Lines.size(); ++i) {
    for (const TMeterConfig& m : config.Lines[i].Meters) {
      const auto given = UnitIdLines.find(m.Name);
      const long at = given != UnitIdLines.end() ? given->second : LineOf(*list->get(i));
      for (const auto& [unit, name] : units)
        if (unit == m.UnitId)
          throw TConfigError{at, "unit id " + std::to_string(m.UnitId) + " of meter " + m.Name +
                                     " is taken by meter " + name + "; give one of them another unit_id"};
      units.emplace_back(m.UnitId, m.Name);
    }
  }
}

}  // namespace

const std::vector<TConfigSection>& GatewayConfigSections() {
  static const std::vector<TConfigSection> sections = {
      {"http", {"enabled", "address", "port"}},
      {"mqtt",
       {"enabled", "host", "port", "prefix", "client_id", "username", "password", "qos", "keepalive_s",
        "interval_s", "queue"}},
      {"sqlite", {"enabled", "path", "interval_s", "retention_days", "queue"}},
      {"modbus_tcp", {"enabled", "address", "port", "max_connections", "idle_timeout_s", "allow", "queue"}},
      {"line",
       {"name", "port", "baud", "framing", "format", "link", "timeout_ms", "relay_interval_ms",
        "max_backoff_ms", "stale_after_s", "energy_interval_s", "harmonics_interval_s", "ini", "meter"}},
      {"line.meter", {"name", "model", "address", "nominal_voltage", "unit_id", "allow_writes"}},
  };
  return sections;
}

int TGatewayConfig::MeterCount() const {
  int n = 0;
  for (const TLineConfig& l : Lines) n += static_cast<int>(l.Meters.size());
  return n;
}

int MeterTypeFromName(std::string_view name) {
  for (int type : METER_TYPES) {
    if (KeysEqual(name, ModelName(type)) || name == std::to_string(type)) return type;
  }
  return 0;
}

const char* MeterModelName(int type) {
  const char* name = ModelName(type);
  return name ? name : "?";
}

int BaudIndexOf(int baud) { return lineformat::BaudIndexOf(baud); }

bool ParseGatewayConfig(std::string_view text, const std::string& sourceName, TGatewayConfig& config,
                        std::string& error) {
  config = TGatewayConfig{};
  try {
    toml::table root = toml::parse(text, sourceName);
    ReadConfig(root, sourceName, config);
    return true;
  } catch (const toml::parse_error& e) {
    error = sourceName + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description());
  } catch (const TConfigError& e) {
    error = sourceName + ":" + std::to_string(e.Line) + ": " + e.What;
  }
  config = TGatewayConfig{};
  return false;
}

bool LoadGatewayConfig(const std::string& path, TGatewayConfig& config, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot open the configuration file";
    return false;
  }
  std::string text;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<size_t>(in.gcount()));
    if (text.size() > CONFIG_SIZE_LIMIT) {
      error = path + ": too large for a configuration file";
      return false;
    }
  }
  if (in.bad()) {
    error = path + ": cannot read the configuration file";
    return false;
  }
  return ParseGatewayConfig(text, path, config, error);
}
