// The configuration file: the sample, Kavrel.INI's device list, and bad files,
// each refused with its line number.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "gateway/GatewayConfig.h"
#include "model/ParamDef.h"

namespace {

const char* const GOOD_LINE =
    "[[line]]\n"
    "port = \"COM1\"\n"
    "[[line.meter]]\n"
    "model = \"TR5\"\n"
    "address = 1\n";

TEST(GatewayConfig, TheSampleFileReadsAsDocumented) {
  TGatewayConfig c;
  std::string error;
  ASSERT_TRUE(LoadGatewayConfig(KAVREL_SAMPLE_CONFIG, c, error)) << error;
  ASSERT_EQ(c.Lines.size(), 1u);
  const TLineConfig& l = c.Lines[0];
  EXPECT_EQ(l.Port, "COM1");
  EXPECT_EQ(l.Baud, 19200);
  EXPECT_EQ(l.BaudIndex, 6);
  EXPECT_EQ(l.Mode, 6);  // RTU 8N1
  ASSERT_EQ(l.Meters.size(), 3u);
  EXPECT_EQ(l.Meters[1].Name, "feeder2");
  EXPECT_EQ(l.Meters[1].Type, MT_VR5);
  EXPECT_EQ(l.Meters[2].Address, 3);
  EXPECT_TRUE(c.Http.Enabled);
  EXPECT_EQ(c.Http.Port, 9105);
  EXPECT_FALSE(c.Mqtt.Enabled);
  EXPECT_FALSE(c.Sqlite.Enabled);
}

// Every key the reader takes is shown in the sample file, in its own
// section (commented where it keeps its default), and the file shows no key
// the reader would refuse.
TEST(GatewayConfig, TheSampleFileShowsEveryKey) {
  std::ifstream in(KAVREL_SAMPLE_CONFIG);
  ASSERT_TRUE(in);
  const std::regex header(R"(^\s*#?\s*\[\[?([a-z_.]+)\]\]?)");
  const std::regex key(R"(^\s*#?\s*([a-z_]+)\s*=)");
  std::map<std::string, std::set<std::string>> shown;
  std::string section, text;
  std::smatch m;
  while (std::getline(in, text)) {
    if (std::regex_search(text, m, header))
      section = m[1];
    else if (std::regex_search(text, m, key) && !section.empty())
      shown[section].insert(m[1]);
  }
  std::set<std::string> known;
  for (const TConfigSection& s : GatewayConfigSections()) {
    for (const char* k : s.Keys) {
      const std::string name = std::string(s.Name) + "." + k;
      known.insert(name);
      // A key that is a section of its own ([[line.meter]]) shows as its header.
      const bool isSection = std::any_of(GatewayConfigSections().begin(), GatewayConfigSections().end(),
                                         [&](const TConfigSection& t) { return name == t.Name; });
      EXPECT_TRUE(isSection ? shown.count(name) > 0 : shown[s.Name].count(k) > 0) << name;
    }
  }
  for (const auto& [s, keys] : shown)
    for (const std::string& k : keys) EXPECT_TRUE(known.count(s + "." + k)) << s << "." << k;
}

// The service's configuration in /etc/kavrel is read-only to it: with SQLite
// switched on, the database must land in the state directory systemd hands over.
TEST(GatewayConfig, TheServiceSampleKeepsItsDatabaseInTheStateDirectory) {
  std::ifstream in(KAVREL_SERVICE_CONFIG);
  std::stringstream text;
  text << in.rdbuf();
  std::string toml = text.str();
  const std::string off =
      "[sqlite]                    # one row per sampled value and per event\nenabled = false";
  const size_t at = toml.find(off);
  ASSERT_NE(at, std::string::npos) << "the sample's [sqlite] section changed: adapt this test";
  toml.replace(at + off.size() - 5, 5, "true ");

  TGatewayConfig c;
  std::string error;
  ASSERT_EQ(setenv("STATE_DIRECTORY", "/var/lib/kavrel-gateway:/var/lib/other", 1), 0);
  const bool asService = ParseGatewayConfig(toml, "/etc/kavrel/gateway.toml", c, error);
  unsetenv("STATE_DIRECTORY");
  ASSERT_TRUE(asService) << error;
  EXPECT_TRUE(c.Sqlite.Enabled);
  EXPECT_EQ(c.Sqlite.Path, "/var/lib/kavrel-gateway/kavrel-gateway.db");
  EXPECT_EQ(c.Lines.at(0).Port, "/dev/ttyUSB0");

  // Run by hand, beside the file as before; an absolute path is kept as given.
  ASSERT_TRUE(ParseGatewayConfig(toml, "/etc/kavrel/gateway.toml", c, error)) << error;
  EXPECT_EQ(c.Sqlite.Path, "/etc/kavrel/kavrel-gateway.db");
  ASSERT_EQ(setenv("STATE_DIRECTORY", "/var/lib/kavrel-gateway", 1), 0);
  const bool absolute =
      ParseGatewayConfig(std::string("[sqlite]\npath = \"/srv/g.db\"\n") + GOOD_LINE, "g.toml", c, error);
  unsetenv("STATE_DIRECTORY");
  ASSERT_TRUE(absolute) << error;
  EXPECT_EQ(c.Sqlite.Path, "/srv/g.db");
}

TEST(GatewayConfig, FramingFormatsAndNetworkPortNames) {
  const struct {
    const char* Framing;
    const char* Format;
    int Mode;
  } cases[] = {{"ascii", "", 0}, {"ascii", "7E1", 1}, {"ASCII", "7o1", 2}, {"rtu", "8N2", 3},
               {"rtu", "8E1", 4}, {"rtu", "8O1", 5}, {"rtu", "", 6}};
  for (const auto& k : cases) {
    std::string text = std::string("[[line]]\nport = \"tcp://10.0.0.7:4001\"\nbaud = 9600\nframing = \"") + k.Framing +
                       "\"\n" + (*k.Format ? std::string("format = \"") + k.Format + "\"\n" : "") +
                       "[[line.meter]]\nmodel = \"tr8\"\naddress = 247\n";
    TGatewayConfig c;
    std::string error;
    ASSERT_TRUE(ParseGatewayConfig(text, "x.toml", c, error)) << error;
    EXPECT_EQ(c.Lines[0].Mode, k.Mode) << k.Framing << " " << k.Format;
    EXPECT_EQ(c.Lines[0].Port, "tcp://10.0.0.7:4001");  // handed to the port opener as it is
    EXPECT_EQ(c.Lines[0].BaudIndex, 5);
    EXPECT_EQ(c.Lines[0].MaxBackoffMs, 5000);  // a silent meter is tried at least every 5 s
    EXPECT_EQ(c.Lines[0].Meters[0].Name, "TR8_247");
  }
}

TEST(GatewayConfig, BadFilesAreRefusedWithTheirLine) {
  const struct {
    std::string Text;
    int Line;
    const char* Says;
  } cases[] = {
      {std::string(GOOD_LINE) + "[[line.meter]]\nmodel = \"VR5\"\naddress = 0\n", 8, "from 1 to 247"},
      {std::string(GOOD_LINE) + "[[line.meter]]\nmodel = \"VR5\"\naddress = 248\n", 8, "from 1 to 247"},
      {std::string(GOOD_LINE) + "[[line.meter]]\nmodel = \"VR5\"\naddress = 1\n", 8, "used twice"},
      {std::string(GOOD_LINE) + "[[line.meter]]\nmodel = \"TR6\"\naddress = 2\n", 7,
       "unknown meter model \"TR6\""},
      {std::string(GOOD_LINE) + "[[line.meter]]\nmodel = \"TR5\"\n", 6, "needs an address"},
      {std::string(GOOD_LINE) + "[[line.meter]]\nmodel = \"TR5\"\naddress = \"2\"\n", 8, "whole number"},
      {std::string(GOOD_LINE) + "[[line.meter]]\nmodel = \"TR5\"\naddress = 2\nadress = 3\n", 9,
       "unknown key \"adress\""},
      {std::string(GOOD_LINE) + "[[line.meter]]\nname = \"a b\"\nmodel = \"TR5\"\naddress = 2\n", 7,
       "only letters"},
      {"[[line]]\nport = \"COM1\"\nbaud = 1234\n", 3, "baud must be"},
      {"[[line]]\nport = \"COM1\"\nstale_after_s = -1\n", 3, "stale_after_s must be from 0"},
      {"[[line]]\nport = \"COM1\"\nenergy_interval_s = -1\n", 3, "energy_interval_s must be from 0"},
      {"[[line]]\nport = \"COM1\"\nharmonics_interval_s = \"5\"\n", 3,
       "harmonics_interval_s must be a number"},
      {std::string(GOOD_LINE) + "nominal_voltage = 0\n", 6, "nominal_voltage must be from 1"},
      {"[[line]]\nport = \"COM1\"\nframing = \"rtu\"\nformat = \"7E1\"\n", 3, "RTU's"},
      {"[[line]]\nport = \"COM1\"\nframing = \"binary\"\n", 3, "\"ascii\" or \"rtu\""},
      {"[[line]]\nbaud = 9600\n", 1, "needs a port"},
      {"[[line]]\nport = \"COM1\"\n", 1, "has no meters"},
      {"[http]\nport = 80\n", 1, "no [[line]] sections"},
      {std::string("[http]\nport = 70000\n") + GOOD_LINE, 2, "from 0 to 65535"},
      {std::string("[mqtt]\nprefix = \"a/#\"\n") + GOOD_LINE, 2, "prefix"},
      {std::string("[sqlite]\nretention_days = -1\n") + GOOD_LINE, 2, "retention_days"},
      {std::string("[http]\nport = 9105\n\n[http]\n") + GOOD_LINE, 4, ""},  // TOML: a table twice
      {std::string(GOOD_LINE) + "[[line.meter]]\nmodel = \"TR5\n", 7, ""},  // unterminated text
      {std::string(GOOD_LINE) + GOOD_LINE, 6, "meter name \"TR5_1\" is used twice"},
      {std::string("line = 3\n"), 1, "[[line]] sections"},
      // Unit ids are the Modbus TCP server's: a clash is where the second was given.
      {std::string("[modbus_tcp]\n") + GOOD_LINE +
           "[[line]]\nport = \"COM2\"\n[[line.meter]]\nname = \"b\"\n"
           "model = \"TR5\"\naddress = 1\n",
       12, "unit id 1 of meter b is taken by meter TR5_1"},
      {std::string("[modbus_tcp]\n") + GOOD_LINE +
           "[[line.meter]]\nmodel = \"TR8\"\naddress = 2\nunit_id = 1\n",
       10, "unit id 1 of meter TR8_2 is taken"},
      {std::string(GOOD_LINE) + "unit_id = 0\n", 6, "unit_id must be from 1 to 247"},
      {std::string(GOOD_LINE) + "allow_writes = 1\n", 6, "true or false"},
      {std::string("[modbus_tcp]\nallow = [\"127.0.0.1/33\"]\n") + GOOD_LINE, 2,
       "modbus_tcp.allow takes networks"},
      {std::string("[modbus_tcp]\nallow = \"127.0.0.1\"\n") + GOOD_LINE, 2, "list of networks"},
      {std::string("[modbus_tcp]\nmax_connections = 0\n") + GOOD_LINE, 2, "max_connections must be from 1"},
  };
  for (const auto& k : cases) {
    TGatewayConfig c;
    std::string error;
    EXPECT_FALSE(ParseGatewayConfig(k.Text, "bad.toml", c, error)) << k.Text;
    EXPECT_EQ(error.rfind("bad.toml:" + std::to_string(k.Line) + ": ", 0), 0u) << error << "\n" << k.Text;
    EXPECT_NE(error.find(k.Says), std::string::npos) << error;
    EXPECT_TRUE(c.Lines.empty());
  }
}

// Two lines may use the same bus address; with the Modbus TCP server on, one
// of them answers at another unit id.
TEST(GatewayConfig, ModbusTcpKeysAndUnitIds) {
  const std::string text = std::string("[modbus_tcp]\nport = 1503\nallow = [\"192.0.2.0/24\", \"::1\"]\n") +
                           GOOD_LINE +
                           "allow_writes = true\n[[line]]\nport = \"COM2\"\n[[line.meter]]\nname = \"b\"\n"
                           "model = \"TR5\"\naddress = 1\nunit_id = 2\n";
  TGatewayConfig c;
  std::string error;
  ASSERT_TRUE(ParseGatewayConfig(text, "g.toml", c, error)) << error;
  EXPECT_TRUE(c.ModbusTcp.Enabled);
  EXPECT_EQ(c.ModbusTcp.Port, 1503);
  EXPECT_EQ(c.ModbusTcp.Address, "127.0.0.1");
  EXPECT_EQ(c.ModbusTcp.Allow, (std::vector<std::string>{"192.0.2.0/24", "::1"}));
  EXPECT_EQ(c.Lines[0].Meters[0].UnitId, 1);
  EXPECT_TRUE(c.Lines[0].Meters[0].AllowWrites);
  EXPECT_EQ(c.Lines[1].Meters[0].UnitId, 2);
  EXPECT_FALSE(c.Lines[1].Meters[0].AllowWrites);
  // Without the server the same addresses on two lines are no clash.
  ASSERT_TRUE(ParseGatewayConfig(std::string(GOOD_LINE) +
                                     "[[line]]\nport = \"COM2\"\n[[line.meter]]\nname = \"b\"\n"
                                     "model = \"TR5\"\naddress = 1\n",
                                 "g.toml", c, error))
      << error;
  EXPECT_FALSE(c.ModbusTcp.Enabled);
}

TEST(GatewayConfig, MetersFromTheDeviceListOfKavrelIni) {
  const std::string dir = testing::TempDir();
  const std::string ini = dir + "/Kavrel.INI";
  std::ofstream(ini, std::ios::binary) << "COM=1\r\nBaud=5\r\nMode=4\r\nType=0\r\n"
                                          "Dev0=TR5,5,Feeder 2,\r\nDev1=VR5B,17,Main board,\r\n";
  TGatewayConfig c;
  std::string error;
  ASSERT_TRUE(ParseGatewayConfig("[[line]]\nini = \"Kavrel.INI\"\nbaud = 19200\n", dir + "/g.toml", c, error)) << error;
  const TLineConfig& l = c.Lines[0];
  EXPECT_EQ(l.Port, "COM2");
  EXPECT_EQ(l.Baud, 19200);  // the file's own setting wins
  EXPECT_EQ(l.Mode, 4);
  ASSERT_EQ(l.Meters.size(), 2u);
  EXPECT_EQ(l.Meters[0].Name, "TR5_5");
  EXPECT_EQ(l.Meters[1].Type, MT_VR5B);
  EXPECT_EQ(l.Meters[1].Address, 17);

  std::ofstream(ini, std::ios::binary) << "Dev0=TR5,5,,\r\nDev1=TR5,300,,\r\n";
  EXPECT_FALSE(ParseGatewayConfig("\n[[line]]\nini = \"Kavrel.INI\"\n", dir + "/g.toml", c, error));
  EXPECT_NE(error.find("g.toml:3: " + ini + ":2: meter address must be 1 to 247"), std::string::npos) << error;
  EXPECT_FALSE(ParseGatewayConfig("[[line]]\nini = \"nothing.ini\"\n", dir + "/g.toml", c, error));
  EXPECT_NE(error.find("cannot read the device list"), std::string::npos) << error;
  std::remove(ini.c_str());
}

}  // namespace
