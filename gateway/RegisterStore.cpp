#include "gateway/RegisterStore.h"

#include <algorithm>

#include "model/Registers.h"

namespace {

int WidthOf(int start) { return ValueKindForRegister(start) == 'i' ? 2 : 4; }

}  // namespace

void TRegisterStore::Store(int meter, int start, int count, const uint8_t* bytes, size_t size, TTime now) {
  if (meter < 0 || count <= 0 || !bytes) return;
  const int width = WidthOf(start);
  if (size != static_cast<size_t>(count) * static_cast<size_t>(width)) return;
  std::lock_guard lock(Mutex);
  if (Meters.size() <= static_cast<size_t>(meter)) Meters.resize(static_cast<size_t>(meter) + 1);
  std::vector<TBlock>& blocks = Meters[static_cast<size_t>(meter)];
  auto it = std::find_if(blocks.begin(), blocks.end(),
                         [&](const TBlock& b) { return b.Start == start && b.Count == count; });
  if (it == blocks.end()) {
    // A block read anew with another length takes the old one's place.
    blocks.erase(
        std::remove_if(blocks.begin(), blocks.end(),
                       [&](const TBlock& b) { return start < b.Start + b.Count && b.Start < start + count; }),
        blocks.end());
    blocks.push_back(TBlock{start, count, width, {}, {}, {}});
    it = blocks.end() - 1;
  } else {
    it->Interval = now - it->Updated;
  }
  it->Bytes.assign(bytes, bytes + size);
  it->Updated = now;
}

TRegisterStore::TFind TRegisterStore::Read(int meter, int start, int quantity, double staleAfterS, TTime now,
                                           std::vector<uint8_t>& bytes) const {
  bytes.clear();
  if (quantity <= 0) return TFind::Outside;
  std::lock_guard lock(Mutex);
  if (meter < 0 || static_cast<size_t>(meter) >= Meters.size()) return TFind::NotHeld;
  const std::vector<TBlock>& blocks = Meters[static_cast<size_t>(meter)];
  const TBlock* home = nullptr;
  bool overlaps = false;
  for (const TBlock& b : blocks) {
    if (start >= b.Start && start < b.Start + b.Count) home = &b;
    if (start < b.Start + b.Count && b.Start < start + quantity) overlaps = true;
  }
  if (!home) return overlaps ? TFind::Outside : TFind::NotHeld;
  const int end = home->Start + home->Count;
  int registers = 0;
  if (start + quantity <= end) {
    registers = quantity;
  } else if (home->Width == 4 && quantity % 2 == 0 && start + quantity / 2 <= end) {
    registers = quantity / 2;
  } else {
    return TFind::Outside;
  }
  using std::chrono::duration_cast;
  const auto limit = staleAfterS > 0
                         ? duration_cast<TTime::duration>(std::chrono::duration<double>(staleAfterS))
                         : std::max<TTime::duration>(std::chrono::seconds(10), 3 * home->Interval);
  if (now - home->Updated > limit) return TFind::Stale;
  const size_t from = static_cast<size_t>(start - home->Start) * static_cast<size_t>(home->Width);
  const size_t size = static_cast<size_t>(registers) * static_cast<size_t>(home->Width);
  // A reply carries at most 250 register bytes.
  if (size > 250) return TFind::Outside;
  bytes.assign(home->Bytes.begin() + static_cast<long>(from),
               home->Bytes.begin() + static_cast<long>(from + size));
  return TFind::Held;
}
