// Modbus ASCII and RTU framing and value coding over plain byte buffers.
//
// Everything here works without a port: the builders write into a caller's
// buffer, the scanners read a receive ring of RING_SIZE bytes given with its
// read and write indices, and the value coders work on a TModbusMessage. The
// port (Trans.cpp) calls these on its own buffers; tests, fuzz targets and the
// benchmark call them directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "comm/ModbusMessage.h"

namespace modbus {

// Float that marks a missing or invalid value.
constexpr float NO_VALUE_F = 1.0e20f;

// The function codes the meters know, named here once for the master, the
// driver, the simulator and the gateway. Function-3 replies carry a byte
// count; these are held to it.
constexpr uint8_t READ_HOLDING_REGISTERS = 3;
constexpr uint8_t WRITE_SINGLE_REGISTER = 6;
// Set in the function code of an exception reply (0x83 answers a refused read).
constexpr uint8_t EXCEPTION_FLAG = 0x80;
// Exception codes, the byte after the function code of an exception reply.
constexpr uint8_t ILLEGAL_FUNCTION = 1;
constexpr uint8_t ILLEGAL_DATA_ADDRESS = 2;
constexpr uint8_t ILLEGAL_DATA_VALUE = 3;

// Decoded frame bytes a reply needs at least: address, function and the check
// (1 LRC byte in ASCII, 2 CRC bytes in RTU).
constexpr int MIN_ASCII_FRAME = 3;
constexpr int MIN_RTU_FRAME = 4;

// Offset of p inside [begin, begin + size], or -1 when it points elsewhere.
// Compared as integers, so a stray cursor is recognised without pointer
// arithmetic outside the array.
long OffsetIn(const uint8_t* p, const uint8_t* begin, size_t size);

// CRC-16 of Modbus RTU (start 0xFFFF, reflected polynomial 0xA001).
uint16_t Crc16(const uint8_t* data, size_t size);
uint16_t Crc16Step(uint16_t crc, uint8_t byte);

// Longitudinal redundancy check of Modbus ASCII: two's complement of the byte sum.
uint8_t Lrc(const uint8_t* data, size_t size);

// ':' + two upper-case hex digits per PDU byte + LRC digits + CR LF (2n + 5 bytes).
// Returns the frame length, or -1 (nothing written) when the PDU is empty or
// the frame would not fit in outSize bytes.
int BuildAsciiFrame(const uint8_t* pdu, int size, uint8_t* out, int outSize);

// The PDU followed by its CRC, low byte first (n + 2 bytes). Returns the frame
// length, or -1 (nothing written) when the PDU is empty or the frame would not fit.
int BuildRtuFrame(const uint8_t* pdu, int size, uint8_t* out, int outSize);

// What a reply must look like to answer the request that is out. Address 0
// takes any address; Function 0 any function code but 0, else only that
// function or its exception (function | EXCEPTION_FLAG).
struct TReplyMatch {
  uint8_t Address = 0;
  uint8_t Function = 0;
};

// True when a frame of this address and function code may answer `match`.
bool ReplyFits(const TReplyMatch& match, uint8_t address, uint8_t function);

// Reply scanners. ring holds RING_SIZE bytes; readIndex is the first unconsumed
// byte, writeIndex where the next received byte goes (both wrap at RING_SIZE;
// out-of-range values are reduced into the ring first). Bytes consumed are
// committed by moving readIndex (the RTU scanner also moves writeIndex, which
// discards whatever followed the frame).
//
// On success the reply holds: Address and Function (first two bytes),
// ByteCount (third byte), Length (decoded bytes after the function code, the
// check not counted), Data (the whole decoded frame, check included), Tail
// after the check and Head on the byte after the function code (function 3:
// after the byte count). Returns the function code (1..255), or -1 when no
// complete, correct reply is in the ring yet; then Tail == Head == Data.
//
// ASCII: characters outside a frame are consumed; a frame is committed only at
// its LF. Dropped: a frame that does not fit `match`, a wrong LRC, an odd
// number of hex digits, fewer than three decoded bytes, function code 0, a
// function-3 reply whose byte count disagrees with its length, and a frame too
// long for the data area. Lower-case digits or any other
// foreign character end the frame uncommitted; what follows is skipped up to
// the next ':'.
//
// broken (when given) is set when no reply is found but a whole frame came
// that failed its check (a wrong LRC or an odd number of digits at its LF):
// the answer was spoilt on the way and waiting longer brings no other.
int ParseAsciiReply(const uint8_t* ring, int& readIndex, int& writeIndex, TModbusMessage& reply,
                    const TReplyMatch& match = {}, bool* broken = nullptr);

// RTU: a frame ends where its header says: function 3 after 3 + byte count +
// 2 bytes, function 6 after 8, an exception (function code with bit 7 set)
// after 5; other function codes never start a reply. The scan tries each start
// position in turn and takes the first whose address and function fit `match`,
// whose whole frame has arrived and whose CRC is right; whatever lies in front
// of it (noise at the turnaround, a stray byte, a frame spoilt on the way) is
// skipped. A complete frame sets readIndex and writeIndex after it. When none
// is found, the positions already known not to start a reply are consumed and
// the scan resumes at the first one that may still do so once more bytes come;
// a frame longer than the data area (253 bytes) is never waited for.
//
// broken (when given) is set when no reply is found but a frame whose address
// and function fit `match` has arrived whole, to the length its header gives,
// with a wrong CRC, and no earlier start may still become a reply.
int ParseRtuReply(const uint8_t* ring, int& readIndex, int& writeIndex, TModbusMessage& reply,
                  const TReplyMatch& match = {}, bool* broken = nullptr);

// Appends a value to the request's data area at Tail, most significant byte
// first. Kinds: 'c' one byte, 'i' int16_t, 'l' int32_t, 'f' float, 's' a
// zero-terminated text (terminator appended too); other kinds append nothing.
// Returns -1 and appends nothing when more than 100 bytes are already held or
// the value would not fit in the data area; else 0. Length = Tail - Head.
int AppendValue(TModbusMessage& request, char kind, const void* source);

// Takes the next value from the reply at Head (kinds as AppendValue), storing
// it in host order and advancing Head. Floats above 1e20 or not a number come
// out as 1e20. 's' copies up to the reply's zero byte and leaves Head on it:
// the destination must hold MESSAGE_DATA_SIZE + 1 bytes.
// Nothing is ever read at or past Tail: bytes missing there count as 0 (a float
// with a missing byte comes out as 1e20) and the result is -1; else 0.
int TakeValue(TModbusMessage& reply, char kind, void* destination);

}  // namespace modbus
