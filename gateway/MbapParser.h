// Modbus TCP requests as a client sends them: the MBAP header (transaction id,
// protocol id 0, length, unit id) and the PDU behind it. A pure function of
// the bytes received so far, so that the connection code only moves bytes and
// the fuzz target can drive every path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mbap {

constexpr size_t HEADER_SIZE = 7;
// The longest frame the protocol allows: the header and a PDU of 253 bytes.
constexpr size_t MAX_FRAME = 260;
constexpr size_t MAX_PDU = MAX_FRAME - HEADER_SIZE;

// The functions the gateway answers.
constexpr uint8_t READ_HOLDING = 3;
constexpr uint8_t READ_INPUT = 4;
constexpr uint8_t WRITE_SINGLE = 6;

// Exception codes.
constexpr uint8_t ILLEGAL_FUNCTION = 0x01;
constexpr uint8_t ILLEGAL_ADDRESS = 0x02;
constexpr uint8_t ILLEGAL_VALUE = 0x03;
constexpr uint8_t DEVICE_FAILURE = 0x04;
constexpr uint8_t BUSY = 0x06;
constexpr uint8_t PATH_UNAVAILABLE = 0x0A;
constexpr uint8_t TARGET_FAILED = 0x0B;

// Reads of functions 3 and 4 ask for 1 to this many registers.
constexpr int MAX_READ_QUANTITY = 125;

enum class TParse {
  NeedMore,   // no whole frame yet; keep the bytes and read on
  Request,    // a request the gateway may carry out
  Exception,  // a whole frame the gateway refuses: answer with Code
  Close,      // not Modbus TCP (protocol id, length): close the connection
};

struct TRequest {
  TParse Result = TParse::NeedMore;
  size_t Consumed = 0;  // bytes of the frame, to drop from the input (Request, Exception)
  uint16_t Transaction = 0;
  uint8_t Unit = 0;
  uint8_t Function = 0;
  uint16_t Register = 0;  // first register read, or the register written
  uint16_t Count = 0;     // registers asked for (3, 4); the value written (6)
  uint8_t Code = 0;       // the exception code (Exception)
};

// The first request in data[0, size).
TRequest Parse(const uint8_t* data, size_t size);

// A reply frame: the header of the request's transaction and unit, then the PDU.
std::vector<uint8_t> Reply(uint16_t transaction, uint8_t unit, const std::vector<uint8_t>& pdu);
// The exception reply to a request's function.
std::vector<uint8_t> ExceptionReply(uint16_t transaction, uint8_t unit, uint8_t function, uint8_t code);
// The reply to a read: function, byte count, the register bytes as the meter sent them.
std::vector<uint8_t> ReadReply(uint16_t transaction, uint8_t unit, uint8_t function, const uint8_t* bytes,
                               size_t count);

}  // namespace mbap
