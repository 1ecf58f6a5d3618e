// The settings file: reading, looking up values and writing it back.
#include "settings/Settings.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// Characters of the Windows-1250 codes 0x80 to 0xFF. The five codes the code
// page leaves unassigned map to the control characters of the same number, so
// every byte survives decoding and encoding unchanged.
// clang-format off (a table, kept in its rows)
constexpr char16_t Windows1250High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};
// clang-format on

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[pos]; returns its length, 0 when the
// bytes there are not a well-formed sequence (overlong forms, surrogates and
// code points above U+10FFFF included).
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, uint32_t& cp) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  std::size_t length;
  uint32_t min;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, min = 0x80, cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, min = 0x800, cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, min = 0x10000, cp = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(pos + i) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

// --- Lines and values --------------------------------------------------------

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      ++i;
      if (c == '\r' && i < text.size() && text[i] == '\n') ++i;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

bool KeysEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

const std::string* FindLine(const std::vector<std::string>& lines, std::string_view key) {
  for (const auto& line : lines) {
    // Only the line's first key.size() + 1 bytes matter, however long it is.
    if (line.size() > key.size() && line[key.size()] == '=' &&
        KeysEqual(std::string_view(line).substr(0, key.size()), key)) {
      return &line;
    }
  }
  return nullptr;
}

std::string GetText(const std::vector<std::string>& lines, std::string_view key,
                    std::string_view fallback) {
  const std::string* line = FindLine(lines, key);
  if (!line) return std::string(fallback);
  return line->substr(key.size() + 1);
}

int GetInt(const std::vector<std::string>& lines, std::string_view key, int fallback) {
  const std::string* line = FindLine(lines, key);
  int value = fallback;
  if (line) ParseWholeNumber(std::string_view(*line).substr(key.size() + 1), value);
  return value;
}

bool ParseWholeNumber(std::string_view text, int& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) return false;
  }
  const long long result = negative ? -magnitude : magnitude;
  if (result > INT_MAX || result < INT_MIN) return false;
  value = static_cast<int>(result);
  return true;
}

std::string FitUtf8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  std::size_t cut = maxBytes;
  // Step back over continuation bytes to the start of the cut sequence.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut));
}

// --- Windows-1250 ------------------------------------------------------------

bool IsValidUtf8(std::string_view text) {
  uint32_t cp;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t n = DecodeUtf8(text, pos, cp);
    if (n == 0) return false;
    pos += n;
  }
  return true;
}

std::string DecodeWindows1250(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    AppendUtf8(out, b < 0x80 ? b : Windows1250High[b - 0x80]);
  }
  return out;
}

bool EncodeWindows1250(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  uint32_t cp;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t n = DecodeUtf8(text, pos, cp);
    if (n == 0) return false;
    pos += n;
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      continue;
    }
    const auto* end = std::end(Windows1250High);
    const auto* hit = std::find(std::begin(Windows1250High), end, static_cast<char16_t>(cp));
    if (cp > 0xFFFF || hit == end) return false;
    out += static_cast<char>(0x80 + (hit - std::begin(Windows1250High)));
  }
  return true;
}

// --- Reading and writing -----------------------------------------------------

std::string FindSettingsFile(const std::string& directory) {
  std::error_code ec;
  fs::directory_iterator it(directory.empty() ? fs::path(".") : fs::path(directory), ec);
  std::string best;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (KeysEqual(name, SETTINGS_FILE_NAME) && (best.empty() || name < best)) best = name;
  }
  if (best.empty()) return {};
  return directory.empty() ? best : (fs::path(directory) / best).string();
}

fs::path ChooseWorkFolder(const fs::path& working, const std::vector<fs::path>& notTheUsers,
                          const fs::path& documents) {
  if (documents.empty()) return {};
  std::error_code ec;
  for (fs::directory_iterator it(working, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::u8string name = it->path().filename().u8string();
    if (KeysEqual(std::string(name.begin(), name.end()), SETTINGS_FILE_NAME)) return {};
  }
  // The same folder: the same file to the system (another letter case, a short
  // name), or the same path once "." and ".." and a closing separator are gone.
  const auto normal = [&ec](const fs::path& folder) {
    const fs::path path = fs::absolute(folder, ec).lexically_normal();
    return path.has_filename() ? path : path.parent_path();
  };
  const bool theUsers = std::none_of(notTheUsers.begin(), notTheUsers.end(), [&](const fs::path& folder) {
    return fs::equivalent(working, folder, ec) || normal(working) == normal(folder);
  });
  if (theUsers) return {};
  return documents / "Kavrel";
}

TSettingsReadResult ReadSettingsFile(const std::string& path, TSettingsFile& file) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) {
    // A dangling link is a name that exists but cannot be opened.
    return fs::is_symlink(fs::symlink_status(path, ec)) ? TSettingsReadResult::CannotOpen
                                                        : TSettingsReadResult::NoFile;
  }
  if (ec || fs::is_directory(status)) return TSettingsReadResult::CannotOpen;

  std::ifstream in(path, std::ios::binary);
  if (!in) return TSettingsReadResult::CannotOpen;
  std::string bytes;
  char chunk[65536];
  while (in) {
    in.read(chunk, sizeof chunk);
    bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > SETTINGS_FILE_SIZE_LIMIT) return TSettingsReadResult::CannotOpen;
  }
  if (in.bad()) return TSettingsReadResult::CannotOpen;

  std::string_view text(bytes);
  file.ByteOrderMark = false;
  if (IsValidUtf8(text)) {
    file.Encoding = TTextEncoding::Utf8;
    if (text.substr(0, Utf8Bom.size()) == Utf8Bom) {
      file.ByteOrderMark = true;
      text.remove_prefix(Utf8Bom.size());
    }
    file.Lines = SplitLines(text);
  } else {
    file.Encoding = TTextEncoding::Windows1250;
    // CR and LF are single bytes in both codings, so splitting first is safe.
    file.Lines = SplitLines(text);
    for (auto& line : file.Lines) line = DecodeWindows1250(line);
  }
  return TSettingsReadResult::Ok;
}

bool IsSlaveAddress(int address) { return address >= 1 && address <= 247; }

TSettings ParseSettings(const std::vector<std::string>& lines) {
  TSettings s;
  s.PortIndex = GetInt(lines, "COM", s.PortIndex);
  s.BaudIndex = GetInt(lines, "Baud", s.BaudIndex);
  s.Mode = GetInt(lines, "Mode", s.Mode);
  s.LinkType = GetInt(lines, "Type", s.LinkType);
  s.Network = GetText(lines, "TCP");
  const std::string language = GetText(lines, "Lang");
  if (language == LANGUAGE_ENGLISH || language == LANGUAGE_POLISH) {
    s.Language = language;
  } else if (!language.empty()) {
    s.Notices.push_back("Lang=" + language + " is not a known language (en, pl): the system's is used");
  }
  const std::string address = GetText(lines, "MeterAdr");
  int value = 0;
  if (ParseWholeNumber(address, value) && IsSlaveAddress(value)) {
    s.MeterAddress = value;
  } else if (!address.empty()) {
    s.Notices.push_back("MeterAdr=" + address + " is not a slave address (1 to 247): address " +
                        std::to_string(s.MeterAddress) + " is used");
  }
  s.MeterType = GetInt(lines, "MeterType", s.MeterType);
  s.MeterName = GetText(lines, "MeterName");
  s.MeterDescription = GetText(lines, "MeterDsc");
  for (int n = 0; n < DEVICE_ENTRY_LIMIT; ++n) {
    if (const std::string* line = FindLine(lines, "Dev" + std::to_string(n))) {
      s.DeviceLines.push_back(*line);
    }
  }
  return s;
}

std::vector<std::string> ComposeSettings(const TSettings& s) {
  std::vector<std::string> lines = {
      "COM=" + std::to_string(s.PortIndex),
      "Baud=" + std::to_string(s.BaudIndex),
      "Mode=" + std::to_string(s.Mode),
      "Type=" + std::to_string(s.LinkType),
      "MeterAdr=" + std::to_string(s.MeterAddress),
      "MeterType=" + std::to_string(s.MeterType),
      "MeterName=" + s.MeterName,
      "MeterDsc=" + s.MeterDescription,
  };
  if (!s.Network.empty()) lines.push_back("TCP=" + s.Network);  // after the eight keys older readers know
  if (!s.Language.empty()) lines.push_back("Lang=" + s.Language);
  lines.insert(lines.end(), s.DeviceLines.begin(), s.DeviceLines.end());
  return lines;
}

void SetLanguageLine(std::vector<std::string>& lines, const std::string& value) {
  const auto isLanguage = [](const std::string& line) {
    return line.size() > 4 && line[4] == '=' && KeysEqual(std::string_view(line).substr(0, 4), "Lang");
  };
  const auto found = std::find_if(lines.begin(), lines.end(), isLanguage);
  if (found != lines.end()) {
    if (value.empty()) {
      lines.erase(std::remove_if(found, lines.end(), isLanguage), lines.end());
    } else {
      *found = "Lang=" + value;
    }
    return;
  }
  if (value.empty()) return;
  const auto isDevice = [](const std::string& line) {
    return line.size() > 3 && KeysEqual(std::string_view(line).substr(0, 3), "Dev");
  };
  lines.insert(std::find_if(lines.begin(), lines.end(), isDevice), "Lang=" + value);
}

std::string EncodeSettingsFile(const std::vector<std::string>& lines, TTextEncoding encoding,
                               bool byteOrderMark, TTextEncoding* encodingUsed) {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  if (encoding == TTextEncoding::Windows1250) {
    std::string encoded;
    if (EncodeWindows1250(text, encoded)) {
      if (encodingUsed) *encodingUsed = TTextEncoding::Windows1250;
      return encoded;
    }
  }
  if (encodingUsed) *encodingUsed = TTextEncoding::Utf8;
  return byteOrderMark && encoding == TTextEncoding::Utf8 ? std::string(Utf8Bom) + text : text;
}

bool WriteSettingsFile(const std::string& path, const std::vector<std::string>& lines,
                       TTextEncoding encoding, bool byteOrderMark, std::string& error,
                       TTextEncoding* encodingUsed) {
  return WriteFileAtomically(path, EncodeSettingsFile(lines, encoding, byteOrderMark, encodingUsed), error);
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
  std::error_code ec;
  fs::path target(path);
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    // Replace what the link points to, keeping the link itself.
    target = fs::weakly_canonical(target, ec);
    if (ec) {
      error = ec.message();
      return false;
    }
  }
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");

#ifdef _WIN32
  // A new file beside the old one, on the disk before it is moved over the
  // old one in one step; a file another program holds open is not replaced.
  const auto reason = [&error](DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    error = n > 0 ? std::string(text, n) : "error " + std::to_string(code);
    while (!error.empty() && (error.back() == '\n' || error.back() == '\r' || error.back() == ' ')) error.pop_back();
    if (text) LocalFree(text);
    return false;
  };
  static std::atomic<unsigned> counter{0};
  fs::path temp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    temp = directory / (target.filename().wstring() + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                        std::to_wstring(counter++) + L".new");
    h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE) return reason(GetLastError());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD put = 0;
    if (!WriteFile(h, bytes.data() + done, want, &put, nullptr) || put == 0) break;
    done += put;
  }
  const bool complete = done == bytes.size() && FlushFileBuffers(h);
  const DWORD writeError = complete ? 0 : GetLastError();
  CloseHandle(h);
  if (!complete || !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = complete ? GetLastError() : writeError;
    DeleteFileW(temp.c_str());
    return reason(code);
  }
  return true;
#else
  // A new file beside the old one: same directory, so the rename is atomic.
  static std::atomic<unsigned> counter{0};
  fs::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = directory / ("." + target.filename().string() + "." + std::to_string(getpid()) + "." +
                        std::to_string(counter++) + ".new");
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  const auto fail = [&](int err) {
    error = std::strerror(err);
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  };
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd, old.st_mode & 07777);  // keep the old file's permissions
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) return fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    error = std::strerror(err);
    return false;
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    error = std::strerror(err);
    return false;
  }
  return true;
#endif
}
