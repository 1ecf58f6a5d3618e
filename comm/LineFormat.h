// The line speeds and character formats the port knows, by the index under
// which the settings file, the port and the programs keep them: one table for
// the port, the bus scan and the gateway.
#pragma once

namespace lineformat {

// Baud rates by baud index.
constexpr int BAUD_COUNT = 7;
constexpr long BAUD_RATES[BAUD_COUNT] = {300, 600, 1200, 2400, 4800, 9600, 19200};

// Character format of each transmission mode: 0..2 are ASCII, 3..6 RTU.
struct TCharFormat {
  char Parity;  // 'N', 'E' or 'O'
  int Data;
  int Stop;
};
constexpr int MODE_COUNT = 7;
constexpr TCharFormat MODE_FORMATS[MODE_COUNT] = {
    {'N', 8, 1}, {'E', 7, 1}, {'O', 7, 1}, {'N', 8, 2}, {'E', 8, 1}, {'O', 8, 1}, {'N', 8, 1},
};

// An index out of range falls back to 9600 bit/s, a mode out of range to mode 0.
constexpr int BaudIndexOrDefault(int index) { return index >= 0 && index < BAUD_COUNT ? index : 5; }
constexpr int ModeOrDefault(int mode) { return mode >= 0 && mode < MODE_COUNT ? mode : 0; }

constexpr long BaudRate(int index) { return BAUD_RATES[BaudIndexOrDefault(index)]; }

// The baud index of a rate; -1 when the port has no such rate.
constexpr int BaudIndexOf(long rate) {
  for (int i = 0; i < BAUD_COUNT; ++i)
    if (BAUD_RATES[i] == rate) return i;
  return -1;
}

// Bits on the wire per character: start, data, parity, stop.
constexpr int BitsPerCharacter(int mode) {
  const TCharFormat& f = MODE_FORMATS[ModeOrDefault(mode)];
  return 1 + f.Data + (f.Parity == 'N' ? 0 : 1) + f.Stop;
}

}  // namespace lineformat
