// The register words of every block the line threads read, exactly as the
// meter sent them, so that the Modbus TCP server answers reads from memory.
// Generic over blocks: whatever block a poller stores is served from then on.
// Thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

class TRegisterStore {
public:
  using TTime = std::chrono::steady_clock::time_point;

  // Keeps a block read at now: count registers from start, their bytes as they
  // came (two per setup register, four per measured one). A block whose bytes
  // do not fit its registers' width is not kept.
  void Store(int meter, int start, int count, const uint8_t* bytes, size_t size, TTime now);

  enum class TFind {
    Held,     // bytes hold the answer
    Stale,    // held, but older than its limit
    NotHeld,  // no register of the span is held: the meter itself has to answer
    Outside,  // the span begins or ends outside what is held
  };
  // The bytes of quantity registers from start. A measured register is four
  // bytes and a client that counts 16-bit words asks for two per register:
  // a quantity the held block cannot serve register for register, yet can as
  // that many words, is answered as words (the same bytes either way).
  // staleAfterS > 0 is the age limit; 0: three of the block's own read
  // intervals, at least 10 s.
  TFind Read(int meter, int start, int quantity, double staleAfterS, TTime now,
             std::vector<uint8_t>& bytes) const;

private:
  struct TBlock {
    int Start = 0;
    int Count = 0;
    int Width = 2;
    std::vector<uint8_t> Bytes;
    TTime Updated{};
    TTime::duration Interval{};
  };
  mutable std::mutex Mutex;
  std::vector<std::vector<TBlock>> Meters;
};
