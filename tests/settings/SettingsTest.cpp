// The settings file: its reading rules, writing it back, hostile files, the
// Windows-1250 files of older installations and replacing the file safely.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <iconv.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include "settings/Settings.h"

namespace fs = std::filesystem;

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::random_device seed;
    for (int attempt = 0; attempt < 100 && Dir.empty(); ++attempt) {
      const fs::path candidate = fs::temp_directory_path() / ("kavrel-settings-" + std::to_string(seed()));
      if (fs::create_directory(candidate)) Dir = candidate;
    }
    ASSERT_FALSE(Dir.empty());
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::string PathOf(const std::string& name) const { return (Dir / name).string(); }
  void WriteBytes(const std::string& name, const std::string& bytes) const {
    std::ofstream(Dir / name, std::ios::binary) << bytes;
  }
  std::string ReadBytes(const std::string& name) const {
    std::ifstream in(Dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Reads the file as the program does at start-up.
  TSettings Load(const std::string& name = "Kavrel.INI") const {
    TSettingsFile file;
    EXPECT_EQ(ReadSettingsFile(PathOf(name), file), TSettingsReadResult::Ok);
    return ParseSettings(file.Lines);
  }
  std::vector<std::string> FilesIn() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path Dir;
};

TSettings SampleSettings() {
  TSettings s;
  s.PortIndex = 2;
  s.BaudIndex = 3;
  s.Mode = 5;
  s.LinkType = 1;
  s.MeterAddress = 17;
  s.MeterType = 85;
  s.MeterName = "VR5_17";
  s.MeterDescription = "Rozdzielnia główna = pole 3";
  s.DeviceLines = {"Dev0=TR5,5,Feeder 2,", "dev1=VR5,17,Rozdzielnia główna = pole 3,",
                   "Dev2=TR8,x7,,"};
  return s;
}

}  // namespace

TEST_F(SettingsFileTest, WrittenFileReadsBackTheSameAndHasTheFixedLayout) {
  const TSettings saved = SampleSettings();
  std::string error;
  ASSERT_TRUE(WriteSettingsFile(PathOf("Kavrel.INI"), ComposeSettings(saved),
                                TTextEncoding::Utf8, false, error))
      << error;

  EXPECT_EQ(ReadBytes("Kavrel.INI"),
            "COM=2\r\nBaud=3\r\nMode=5\r\nType=1\r\nMeterAdr=17\r\nMeterType=85\r\n"
            "MeterName=VR5_17\r\nMeterDsc=Rozdzielnia główna = pole 3\r\n"
            "Dev0=TR5,5,Feeder 2,\r\ndev1=VR5,17,Rozdzielnia główna = pole 3,\r\n"
            "Dev2=TR8,x7,,\r\n");

  // Every field comes back (the composed lines carry all of them).
  EXPECT_EQ(ComposeSettings(Load()), ComposeSettings(saved));
  EXPECT_EQ(Load().Network, "");

  // A network serial server adds its line after the eight fixed ones, where
  // readers that do not know it lose nothing; COM stays as it was.
  TSettings network = saved;
  network.Network = "converter.local:4001";
  ASSERT_TRUE(WriteSettingsFile(PathOf("Kavrel.INI"), ComposeSettings(network), TTextEncoding::Utf8, false, error))
      << error;
  const std::vector<std::string> lines = SplitLines(ReadBytes("Kavrel.INI"));
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "COM=2");
  EXPECT_EQ(lines[8], "TCP=converter.local:4001");
  EXPECT_EQ(lines[9], "Dev0=TR5,5,Feeder 2,");
  EXPECT_EQ(Load().Network, "converter.local:4001");
  EXPECT_EQ(Load().PortIndex, 2);
  EXPECT_EQ(Load().DeviceLines, saved.DeviceLines);

  // The language goes the same way, after TCP; the system's writes no line.
  network.Language = LANGUAGE_POLISH;
  ASSERT_TRUE(
      WriteSettingsFile(PathOf("Kavrel.INI"), ComposeSettings(network), TTextEncoding::Utf8, false, error))
      << error;
  const std::vector<std::string> withLanguage = SplitLines(ReadBytes("Kavrel.INI"));
  ASSERT_EQ(withLanguage.size(), 13u);
  EXPECT_EQ(withLanguage[8], "TCP=converter.local:4001");
  EXPECT_EQ(withLanguage[9], "Lang=pl");
  EXPECT_EQ(withLanguage[10], "Dev0=TR5,5,Feeder 2,");
  EXPECT_EQ(Load().Language, "pl");
  EXPECT_EQ(Load().DeviceLines, saved.DeviceLines);
}

TEST(SettingsLookup, LanguageLineIsSetInPlaceAndUnknownValuesFallBack) {
  std::vector<std::string> lines = {"COM=1", "MeterDsc=x", "Dev0=TR5,1,,", "Unknown=1"};
  SetLanguageLine(lines, "pl");
  EXPECT_EQ(lines, (std::vector<std::string>{"COM=1", "MeterDsc=x", "Lang=pl", "Dev0=TR5,1,,", "Unknown=1"}));
  SetLanguageLine(lines, "en");  // replaced where it stands, the rest untouched
  EXPECT_EQ(lines, (std::vector<std::string>{"COM=1", "MeterDsc=x", "Lang=en", "Dev0=TR5,1,,", "Unknown=1"}));
  lines.push_back("LANG=pl");
  SetLanguageLine(lines, "");  // the system's: every language line goes
  EXPECT_EQ(lines, (std::vector<std::string>{"COM=1", "MeterDsc=x", "Dev0=TR5,1,,", "Unknown=1"}));
  std::vector<std::string> noDevices = {"COM=1"};
  SetLanguageLine(noDevices, "pl");
  EXPECT_EQ(noDevices, (std::vector<std::string>{"COM=1", "Lang=pl"}));

  EXPECT_EQ(ParseSettings({"lang=pl"}).Language, "pl");
  const TSettings unknown = ParseSettings({"Lang=de"});
  EXPECT_EQ(unknown.Language, "");
  ASSERT_EQ(unknown.Notices.size(), 1u);
  EXPECT_EQ(unknown.Notices[0], "Lang=de is not a known language (en, pl): the system's is used");
  EXPECT_TRUE(ParseSettings({"Lang="}).Notices.empty());
}

TEST(SettingsLookup, KeysAndValuesFollowTheFileRules) {
  const std::vector<std::string> lines = {
      "junk without an equals sign",
      "meterdsc= spaced, kept = as is ",
      "BAUD=2",
      "Baud=4",           // a second Baud: the first one counts
      "mode= 3",          // blanks are not trimmed, so this is not a number
      "Type=+1",
      "MeterAdr=x7",
      "MeterType=",
      "COM=-1",
      "COM =5",           // key "COM " is another key
      "MeterName=TR5_1=odd",
      "Unknown=1",
  };
  const TSettings s = ParseSettings(lines);
  EXPECT_EQ(s.BaudIndex, 2);
  EXPECT_EQ(GetInt({"X=-2147483648"}, "x", 0), INT_MIN);
  EXPECT_EQ(GetInt({"X=2147483648"}, "x", 5), 5);  // beyond int: not a whole number
  EXPECT_EQ(s.Mode, 0);
  EXPECT_EQ(s.LinkType, 1);
  EXPECT_EQ(s.MeterAddress, 1);
  EXPECT_EQ(s.MeterType, 80);
  EXPECT_EQ(s.PortIndex, -1);
  EXPECT_EQ(s.MeterName, "TR5_1=odd");
  EXPECT_EQ(s.MeterDescription, " spaced, kept = as is ");
  ASSERT_EQ(s.Notices.size(), 1u);
  EXPECT_EQ(s.Notices[0], "MeterAdr=x7 is not a slave address (1 to 247): address 1 is used");

  // Only slave addresses: 300 would be cut to 44 on the line, 256 to the broadcast.
  for (const char* wrong : {"MeterAdr=300", "MeterAdr=256", "MeterAdr=0", "MeterAdr=248"}) {
    const TSettings t = ParseSettings({wrong});
    EXPECT_EQ(t.MeterAddress, 1) << wrong;
    EXPECT_EQ(t.Notices.size(), 1u) << wrong;
  }
  const TSettings last = ParseSettings({"MeterAdr=247"});
  EXPECT_EQ(last.MeterAddress, 247);
  EXPECT_TRUE(last.Notices.empty());
}

TEST(SettingsLookup, DeviceEntriesAreOrderedByNumberAndLimitedTo32) {
  std::vector<std::string> lines;
  for (int n = 39; n >= 0; --n) {
    if (n == 1) continue;  // a gap: entries 0 and 2 without 1
    lines.push_back((n % 2 ? "DEV" : "Dev") + std::to_string(n) + "=TR5," + std::to_string(n) + ",,");
  }
  lines.push_back("Dev05=TR5,99,,");  // leading zero: not entry 5
  lines.push_back("Dev3=second entry 3 is ignored");
  lines.push_back("Dev7=");           // empty value, but entry 7 already exists above
  const TSettings s = ParseSettings(lines);
  ASSERT_EQ(s.DeviceLines.size(), 31u);  // 0, 2 .. 31
  EXPECT_EQ(s.DeviceLines[0], "Dev0=TR5,0,,");
  EXPECT_EQ(s.DeviceLines[1], "Dev2=TR5,2,,");
  EXPECT_EQ(s.DeviceLines[2], "DEV3=TR5,3,,");  // key spelling kept
  EXPECT_EQ(s.DeviceLines.back(), "DEV31=TR5,31,,");

  // An entry with an empty value is carried as it is.
  const TSettings empty = ParseSettings({"Dev0=", "Dev1=TR8,1,,"});
  EXPECT_EQ(empty.DeviceLines, (std::vector<std::string>{"Dev0=", "Dev1=TR8,1,,"}));
}

TEST(SettingsLines, EveryKindOfLineEndSplits) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitLines(""), V{});
  EXPECT_EQ(SplitLines("a\rb\rc"), (V{"a", "b", "c"}));        // only CR
  EXPECT_EQ(SplitLines("a\nb\r\nc\r"), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitLines("a\n\r\nb"), (V{"a", "", "b"}));
  EXPECT_EQ(SplitLines("a\n\rb"), (V{"a", "", "b"}));          // LF CR is two ends
  EXPECT_EQ(SplitLines("\r\n\r\n"), (V{"", ""}));
  EXPECT_EQ(SplitLines(std::string("x\0y\nz", 5)), (V{std::string("x\0y", 3), "z"}));
}

TEST_F(SettingsFileTest, HostileFilesAreReadWithoutHarm) {
  // Binary garbage: read as an old single-byte file; nothing matches, so the
  // defaults apply, and no byte is changed when the lines are written back.
  std::mt19937 random(12345);
  std::string garbage(200000, '\0');
  for (auto& c : garbage) c = static_cast<char>(random());
  WriteBytes("Kavrel.INI", garbage);
  TSettingsFile file;
  ASSERT_EQ(ReadSettingsFile(PathOf("Kavrel.INI"), file), TSettingsReadResult::Ok);
  EXPECT_EQ(file.Encoding, TTextEncoding::Windows1250);
  EXPECT_EQ(ParseSettings(file.Lines).BaudIndex, 6);
  std::string joined;
  for (const auto& line : SplitLines(garbage)) joined += line;
  std::string encoded;
  for (const auto& line : file.Lines) {
    std::string back;
    EXPECT_TRUE(EncodeWindows1250(line, back));
    encoded += back;
  }
  EXPECT_EQ(encoded, joined);

  // A line of a megabyte, no line end at the end of the file.
  const std::string big(1 << 20, 'q');
  WriteBytes("Kavrel.INI", "MeterDsc=" + big + "\nCOM=3\n" + big + "=1\nBaud=1");
  const TSettings longLine = Load();
  EXPECT_EQ(longLine.MeterDescription, big);
  EXPECT_EQ(longLine.PortIndex, 3);
  EXPECT_EQ(longLine.BaudIndex, 1);

  // Ten thousand device lines, only CR as line end.
  std::string many = "Mode=4\r";
  for (int n = 9999; n >= 0; --n) many += "Dev" + std::to_string(n) + "=TR5," + std::to_string(n) + ",d,\r";
  WriteBytes("Kavrel.INI", many);
  const TSettings lots = Load();
  EXPECT_EQ(lots.Mode, 4);
  ASSERT_EQ(lots.DeviceLines.size(), 32u);
  EXPECT_EQ(lots.DeviceLines.front(), "Dev0=TR5,0,d,");
  EXPECT_EQ(lots.DeviceLines.back(), "Dev31=TR5,31,d,");

  // Beyond any sensible size the file is refused rather than loaded.
  WriteBytes("Kavrel.INI", std::string(SETTINGS_FILE_SIZE_LIMIT + 1, 'a'));
  EXPECT_EQ(ReadSettingsFile(PathOf("Kavrel.INI"), file), TSettingsReadResult::CannotOpen);
}

#ifndef _WIN32
TEST(SettingsEncoding, Windows1250AgreesWithTheSystemConverter) {
  iconv_t cd = iconv_open("UTF-8", "CP1250");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  int compared = 0;
  for (int b = 0x20; b <= 0xFF; ++b) {
    char in[1] = {static_cast<char>(b)};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    size_t inLeft = 1, outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) continue;
    const std::string expected(out, static_cast<size_t>(outPtr - out));
    EXPECT_EQ(DecodeWindows1250(std::string(1, static_cast<char>(b))), expected) << std::hex << b;
    std::string back;
    EXPECT_TRUE(EncodeWindows1250(expected, back));
    EXPECT_EQ(back, std::string(1, static_cast<char>(b)));
    ++compared;
  }
  iconv_close(cd);
  EXPECT_GE(compared, 0xFF - 0x20 + 1 - 5);  // all but the five unassigned codes

  // Every byte, the unassigned ones included, survives a round trip.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string back;
  ASSERT_TRUE(EncodeWindows1250(DecodeWindows1250(all), back));
  EXPECT_EQ(back, all);
  EXPECT_FALSE(EncodeWindows1250("\xCE\xA9", back));  // Greek omega has no code
  EXPECT_FALSE(EncodeWindows1250("\xC5", back));      // not UTF-8 at all
}
#endif

TEST_F(SettingsFileTest, OldSingleByteFilesKeepTheirEncoding) {
  // "Rozdzielnia główna" and "Łódź" as an older installation wrote them.
  const std::string oldFile =
      "COM=1\r\nMeterDsc=Rozdzielnia g\xB3\xF3wna\r\nDev0=TR5,5,\xA3\xF3\x64\x9F,\r\n";
  WriteBytes("Kavrel.INI", oldFile);
  TSettingsFile file;
  ASSERT_EQ(ReadSettingsFile(PathOf("Kavrel.INI"), file), TSettingsReadResult::Ok);
  EXPECT_EQ(file.Encoding, TTextEncoding::Windows1250);
  TSettings s = ParseSettings(file.Lines);
  EXPECT_EQ(s.MeterDescription, "Rozdzielnia główna");
  EXPECT_EQ(s.DeviceLines.at(0), "Dev0=TR5,5,Łódź,");

  // A text that the old code page cannot hold turns the file into UTF-8
  // rather than losing the character.
  s.MeterDescription = "Ω meter, Łódź";
  std::string error;
  TTextEncoding used = TTextEncoding::Windows1250;
  ASSERT_TRUE(WriteSettingsFile(PathOf("Kavrel.INI"), ComposeSettings(s), file.Encoding,
                                file.ByteOrderMark, error, &used));
  EXPECT_EQ(used, TTextEncoding::Utf8);
  EXPECT_EQ(Load().MeterDescription, "Ω meter, Łódź");
  EXPECT_EQ(Load().DeviceLines.at(0), "Dev0=TR5,5,Łódź,");
}

TEST(SettingsText, FittingCutsOnlyBetweenCharacters) {
  EXPECT_EQ(FitUtf8("TR5_1234567", 9), "TR5_12345");
  EXPECT_EQ(FitUtf8("głó", 3), "gł");  // g + ł fill three bytes
  EXPECT_EQ(FitUtf8("głó", 2), "g");   // ł would be split
  for (size_t n = 0; n < 30; ++n) EXPECT_TRUE(IsValidUtf8(FitUtf8("Łódź – główna €🔌", n))) << n;
}

TEST_F(SettingsFileTest, AProgramStartedInItsOwnOrTheSystemsFolderWorksInDocuments) {
  const fs::path program = Dir / "Program Files" / "Kavrel", windows = Dir / "Windows", site = Dir / "site A",
                 documents = Dir / "Public" / "Documents";
  for (const fs::path& folder : {program, windows, site, documents}) fs::create_directories(folder);
  const std::vector<fs::path> notTheUsers = {program, windows};

  EXPECT_EQ(ChooseWorkFolder(program, notTheUsers, documents), documents / "Kavrel");
  // Another spelling of the same folder is the same folder.
  EXPECT_EQ(ChooseWorkFolder(Dir / "Windows" / "." / "", notTheUsers, documents), documents / "Kavrel");
  // A folder of the user's, or no documents folder known: the working folder stays.
  EXPECT_EQ(ChooseWorkFolder(site, notTheUsers, documents), fs::path());
  EXPECT_EQ(ChooseWorkFolder(program, notTheUsers, fs::path()), fs::path());
  // Settings kept beside the program (a copy carried on a stick) are used where they are.
  WriteBytes("Program Files/Kavrel/kavrel.ini", "COM=1\r\n");
  EXPECT_EQ(ChooseWorkFolder(program, notTheUsers, documents), fs::path());
}

#ifndef _WIN32
TEST_F(SettingsFileTest, FailedWriteKeepsTheOldFile) {
  const std::string old = "COM=3\r\nDev0=TR5,1,,\r\n";
  WriteBytes("Kavrel.INI", old);
  ::chmod(PathOf("Kavrel.INI").c_str(), 0640);

  // The file system refuses to take the new file past a few bytes.
  TSettings s = SampleSettings();
  for (int n = 0; n < 32; ++n) s.DeviceLines.push_back("Dev" + std::to_string(n) + "=TR5,1,x,");
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  const bool written = WriteSettingsFile(PathOf("Kavrel.INI"), ComposeSettings(s),
                                         TTextEncoding::Utf8, false, error);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(written);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadBytes("Kavrel.INI"), old);
  EXPECT_EQ(FilesIn(), std::vector<std::string>{"Kavrel.INI"});  // no half-written file left

  // A directory that does not exist.
  EXPECT_FALSE(WriteSettingsFile(PathOf("missing/Kavrel.INI"), ComposeSettings(s),
                                 TTextEncoding::Utf8, false, error));

  // A successful write keeps the old file's permissions.
  ASSERT_TRUE(WriteSettingsFile(PathOf("Kavrel.INI"), ComposeSettings(s), TTextEncoding::Utf8,
                                false, error));
  struct stat st {};
  ASSERT_EQ(::stat(PathOf("Kavrel.INI").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Load().DeviceLines.size(), 32u);
}

TEST_F(SettingsFileTest, LinkedFileIsReplacedBehindTheLink) {
  fs::create_directory(Dir / "shared");
  WriteBytes("shared/site.ini", "COM=2\r\n");
  fs::create_symlink("shared/site.ini", Dir / "Kavrel.INI");
  std::string error;
  TSettings s;
  s.PortIndex = 6;
  ASSERT_TRUE(WriteSettingsFile(PathOf("Kavrel.INI"), ComposeSettings(s), TTextEncoding::Utf8,
                                false, error))
      << error;
  EXPECT_TRUE(fs::is_symlink(Dir / "Kavrel.INI"));
  EXPECT_EQ(Load().PortIndex, 6);
  EXPECT_EQ(ReadBytes("shared/site.ini").substr(0, 7), "COM=6\r\n");
}
#else
// Another program (an editor, a backup tool) holds the file open without
// sharing it: it cannot be read ("Cannot open file"), saving fails, and the
// file keeps what it had, with nothing left beside it.
TEST_F(SettingsFileTest, FileHeldOpenByAnotherProgramIsNeitherReadNorLost) {
  const std::string old = "COM=3\r\nDev0=TR5,1,,\r\n";
  WriteBytes("Kavrel.INI", old);
  const std::wstring path = (Dir / "Kavrel.INI").wstring();
  HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  TSettingsFile file;
  EXPECT_EQ(ReadSettingsFile(PathOf("Kavrel.INI"), file), TSettingsReadResult::CannotOpen);
  std::string error;
  EXPECT_FALSE(WriteSettingsFile(PathOf("Kavrel.INI"), ComposeSettings(SampleSettings()),
                                 TTextEncoding::Utf8, false, error));
  EXPECT_FALSE(error.empty());
  CloseHandle(held);
  EXPECT_EQ(ReadBytes("Kavrel.INI"), old);
  EXPECT_EQ(FilesIn(), std::vector<std::string>{"Kavrel.INI"});

  // A directory that does not exist.
  EXPECT_FALSE(WriteSettingsFile(PathOf("missing/Kavrel.INI"), ComposeSettings(SampleSettings()),
                                 TTextEncoding::Utf8, false, error));
  // Released, the file is replaced, and read back whole.
  ASSERT_TRUE(WriteSettingsFile(PathOf("Kavrel.INI"), ComposeSettings(SampleSettings()),
                                TTextEncoding::Utf8, false, error))
      << error;
  EXPECT_EQ(Load().MeterAddress, 17);
  EXPECT_EQ(FilesIn(), std::vector<std::string>{"Kavrel.INI"});
}
#endif
