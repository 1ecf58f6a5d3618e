#include "gateway/MbapParser.h"

#include <algorithm>

namespace mbap {

namespace {

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

}  // namespace

TRequest Parse(const uint8_t* data, size_t size) {
  TRequest r;
  if (size < HEADER_SIZE) return r;
  r.Transaction = Word(data);
  const uint16_t protocol = Word(data + 2);
  const uint16_t length = Word(data + 4);  // unit id and PDU
  // Anything but protocol 0, or a length that leaves no function code or
  // runs past the longest frame, is not a stream to resynchronise on.
  if (protocol != 0 || length < 2 || length > MAX_PDU + 1) {
    r.Result = TParse::Close;
    return r;
  }
  const size_t frame = HEADER_SIZE - 1 + length;
  if (size < frame) return r;
  r.Consumed = frame;
  r.Unit = data[6];
  const uint8_t* pdu = data + HEADER_SIZE;
  const size_t pduSize = length - 1u;
  r.Function = pdu[0];
  auto refuse = [&r](uint8_t code) {
    r.Result = TParse::Exception;
    r.Code = code;
    return r;
  };
  if (r.Function != READ_HOLDING && r.Function != READ_INPUT && r.Function != WRITE_SINGLE)
    return refuse(ILLEGAL_FUNCTION);
  if (pduSize != 5) return refuse(ILLEGAL_VALUE);
  r.Register = Word(pdu + 1);
  r.Count = Word(pdu + 3);
  if (r.Function != WRITE_SINGLE && (r.Count < 1 || r.Count > MAX_READ_QUANTITY))
    return refuse(ILLEGAL_VALUE);
  r.Result = TParse::Request;
  return r;
}

std::vector<uint8_t> Reply(uint16_t transaction, uint8_t unit, const std::vector<uint8_t>& pdu) {
  const size_t length = pdu.size() + 1;
  std::vector<uint8_t> out(HEADER_SIZE + pdu.size());
  out[0] = static_cast<uint8_t>(transaction >> 8);
  out[1] = static_cast<uint8_t>(transaction);
  out[4] = static_cast<uint8_t>(length >> 8);
  out[5] = static_cast<uint8_t>(length);
  out[6] = unit;
  std::copy(pdu.begin(), pdu.end(), out.begin() + HEADER_SIZE);
  return out;
}

std::vector<uint8_t> ExceptionReply(uint16_t transaction, uint8_t unit, uint8_t function, uint8_t code) {
  return Reply(transaction, unit, {static_cast<uint8_t>(function | 0x80), code});
}

std::vector<uint8_t> ReadReply(uint16_t transaction, uint8_t unit, uint8_t function, const uint8_t* bytes,
                               size_t count) {
  std::vector<uint8_t> pdu = {function, static_cast<uint8_t>(count)};
  pdu.insert(pdu.end(), bytes, bytes + count);
  return Reply(transaction, unit, pdu);
}

}  // namespace mbap
