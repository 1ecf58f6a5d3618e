// Modbus TCP frames as clients send them, in a stream: the reader takes each
// whole frame once, refuses or closes on the rest, never reads past what it was
// given, and a span it accepts is looked up in a register store without harm.
#include <chrono>
#include <vector>

#include "fuzz/FuzzCommon.h"
#include "gateway/MbapParser.h"
#include "gateway/RegisterStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TRegisterStore* store = [] {
    auto* s = new TRegisterStore;
    const auto now = std::chrono::steady_clock::now();
    std::vector<uint8_t> block(34 * 4, 0x41);
    s->Store(0, 7500, 34, block.data(), block.size(), now);
    s->Store(0, 7612, 6, block.data(), 24, now);
    s->Store(0, 4030, 1, block.data(), 2, now);
    return s;
  }();
  // Copied, so that a read past the end is seen by the sanitizer.
  std::vector<uint8_t> in(data, data + size);
  size_t at = 0;
  while (at < in.size()) {
    const mbap::TRequest r = mbap::Parse(in.data() + at, in.size() - at);
    if (r.Result == mbap::TParse::NeedMore || r.Result == mbap::TParse::Close) {
      FUZZ_CHECK(r.Consumed == 0);
      break;
    }
    FUZZ_CHECK(r.Consumed >= mbap::HEADER_SIZE + 1 && r.Consumed <= mbap::MAX_FRAME &&
               r.Consumed <= in.size() - at);
    if (r.Result == mbap::TParse::Exception) {
      FUZZ_CHECK(r.Code == mbap::ILLEGAL_FUNCTION || r.Code == mbap::ILLEGAL_VALUE);
      const std::vector<uint8_t> reply = mbap::ExceptionReply(r.Transaction, r.Unit, r.Function, r.Code);
      FUZZ_CHECK(reply.size() == 9 && (reply[7] & 0x80));
    } else {
      FUZZ_CHECK(r.Consumed == 12);
      FUZZ_CHECK(r.Function == mbap::READ_HOLDING || r.Function == mbap::READ_INPUT ||
                 r.Function == mbap::WRITE_SINGLE);
      if (r.Function != mbap::WRITE_SINGLE) {
        FUZZ_CHECK(r.Count >= 1 && r.Count <= mbap::MAX_READ_QUANTITY);
        std::vector<uint8_t> bytes;
        const auto found = store->Read(0, r.Register, r.Count, 0, std::chrono::steady_clock::now(), bytes);
        if (found == TRegisterStore::TFind::Held) {
          FUZZ_CHECK(!bytes.empty() && bytes.size() <= 250);
          FUZZ_CHECK(bytes.size() == r.Count * 2u || bytes.size() == r.Count * 4u);
          const std::vector<uint8_t> reply =
              mbap::ReadReply(r.Transaction, r.Unit, r.Function, bytes.data(), bytes.size());
          FUZZ_CHECK(reply.size() <= mbap::MAX_FRAME);
        } else {
          FUZZ_CHECK(bytes.empty());
        }
      }
    }
    at += r.Consumed;
  }
  return 0;
}
