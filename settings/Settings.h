// The settings file "Kavrel.INI": a flat list of key=value lines in the
// working directory, read once at start-up and written only on request.
//
// Plain C++ (no Qt) so the command-line tool shares it with the program.
//
// Text is held in memory as UTF-8. A file that is not valid UTF-8 was written
// by an older installation in Windows-1250; it is decoded on reading and
// encoded back on writing, so both the user and the older installation see
// the right letters. New files are written as UTF-8.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The name the file is written under when none exists yet.
inline constexpr const char* SETTINGS_FILE_NAME = "Kavrel.INI";

// Device list entries with numbers 0 to DEVICE_ENTRY_LIMIT - 1 are read.
inline constexpr int DEVICE_ENTRY_LIMIT = 32;

// Files larger than this are not settings files; reading them is refused.
inline constexpr std::size_t SETTINGS_FILE_SIZE_LIMIT = 16u << 20;

enum class TTextEncoding { Utf8, Windows1250 };

// The file's lines as read, with what is needed to write it back alike.
struct TSettingsFile {
  std::vector<std::string> Lines;               // UTF-8, line ends removed
  TTextEncoding Encoding = TTextEncoding::Utf8;  // how the file on disk was coded
  bool ByteOrderMark = false;                    // a UTF-8 file that began with EF BB BF
};

// The values the program takes from the file, with their defaults.
struct TSettings {
  int PortIndex = 0;    // "COM"
  int BaudIndex = 6;    // "Baud"
  int Mode = 0;         // "Mode"
  int LinkType = 0;     // "Type"
  // "TCP": HOST:PORT of a network serial server used instead of the COM port;
  // empty (or absent) for the serial port. Written only when set, so files of
  // serial installations stay as they were; COM keeps its meaning either way.
  std::string Network;
  // "Lang": the language of the program's window, "en" or "pl"; empty (or
  // absent) for the system's. Written only when set, after the keys older
  // readers know, as "TCP" is.
  std::string Language;
  int MeterAddress = 1;  // "MeterAdr"
  int MeterType = 80;    // "MeterType"
  std::string MeterName;         // "MeterName"
  std::string MeterDescription;  // "MeterDsc"
  // Whole "Dev<n>" lines (key spelled as in the file), ordered by n, n < 32.
  std::vector<std::string> DeviceLines;
  // Values of the file that could not be taken, each with what is used instead.
  std::vector<std::string> Notices;
};

// A Modbus slave address: 1 to 247 (0 is the broadcast, 248 up are reserved).
bool IsSlaveAddress(int address);

enum class TSettingsReadResult {
  Ok,          // file read
  NoFile,      // no such file: the defaults apply
  CannotOpen,  // the file exists but could not be read
};

// --- Lines and values --------------------------------------------------------

// Splits text into lines; a line ends at CR, at LF or at CR LF. A final line
// without an end is kept; an end at the very end of the text adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

// ASCII letters compared without regard to case; other bytes must be equal.
bool KeysEqual(std::string_view a, std::string_view b);

// The first line whose key (the text before its first "=") equals key without
// regard to case; nullptr when no line has that key.
const std::string* FindLine(const std::vector<std::string>& lines, std::string_view key);
// The value part of the first such line, or fallback when there is none.
std::string GetText(const std::vector<std::string>& lines, std::string_view key,
                    std::string_view fallback = {});
// The value as a whole number, or fallback when the key is absent, the value
// empty or not a decimal integer (optional sign, digits only) within int range.
int GetInt(const std::vector<std::string>& lines, std::string_view key, int fallback);

// Strict decimal integer: optional "+" or "-", at least one digit, nothing
// else, within int range. Leaves value untouched and returns false otherwise.
bool ParseWholeNumber(std::string_view text, int& value);

// The longest prefix of text that fits into maxBytes bytes without splitting a
// UTF-8 sequence (for the fixed-width name and description fields).
std::string FitUtf8(std::string_view text, std::size_t maxBytes);

// The language values "Lang" may have.
inline constexpr const char* LANGUAGE_ENGLISH = "en";
inline constexpr const char* LANGUAGE_POLISH = "pl";

// Sets the "Lang" line of lines to value, or removes it when value is empty,
// leaving every other line as it is. A new line goes after the keys older
// readers know and "TCP", in front of the device lines.
void SetLanguageLine(std::vector<std::string>& lines, const std::string& value);

// --- Reading and writing -----------------------------------------------------

// The entry of directory whose name equals "Kavrel.INI" without regard to
// case (the first in name order when several do); empty when there is none.
std::string FindSettingsFile(const std::string& directory);

// The folder the program works in and keeps "Kavrel.INI" in: the working
// folder, unless that is one of notTheUsers (the program's own folder, where
// Windows starts a program opened from Explorer, or the system's folders) and
// holds no settings file. Such folders are not the user's to write in; the
// folder "Kavrel" of documents is used then, where the Start menu entries start
// the program too. Empty when the working folder stays (or documents is not
// known).
std::filesystem::path ChooseWorkFolder(const std::filesystem::path& working,
                                       const std::vector<std::filesystem::path>& notTheUsers,
                                       const std::filesystem::path& documents);

// Reads the file at path. On success file holds its lines and encoding.
TSettingsReadResult ReadSettingsFile(const std::string& path, TSettingsFile& file);

// Takes the known keys and the device lines from the file's lines.
TSettings ParseSettings(const std::vector<std::string>& lines);

// The lines the program writes, in their fixed order.
std::vector<std::string> ComposeSettings(const TSettings& settings);

// The bytes of the file: every line ends with CR LF. With Windows-1250 the
// text is encoded back; when some character has no Windows-1250 code the whole
// file is written as UTF-8 instead, so nothing is lost. encodingUsed (when
// given) tells which was used.
std::string EncodeSettingsFile(const std::vector<std::string>& lines, TTextEncoding encoding,
                               bool byteOrderMark = false, TTextEncoding* encodingUsed = nullptr);

// Replaces the file at path with the given lines without losing the old file
// when writing fails: the text goes to a new file in the same directory, which
// takes the old one's place only once it is complete. A symbolic link is
// followed and its target replaced. On failure returns false, leaves the old
// file as it was and puts the system's reason into error. encodingUsed as for
// EncodeSettingsFile.
bool WriteSettingsFile(const std::string& path, const std::vector<std::string>& lines,
                       TTextEncoding encoding, bool byteOrderMark, std::string& error,
                       TTextEncoding* encodingUsed = nullptr);

// Replaces the file at path with bytes in the same way: a new file beside the
// old one takes its place only once complete; on failure the old file stays.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

// --- Windows-1250 ------------------------------------------------------------

bool IsValidUtf8(std::string_view text);
// Every byte maps to one character, so any file survives a round trip.
std::string DecodeWindows1250(std::string_view bytes);
// False (and out partly filled) when a character has no Windows-1250 code or
// text is not valid UTF-8.
bool EncodeWindows1250(std::string_view text, std::string& out);
