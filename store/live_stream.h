#pragma once
// The logger's live protocol over one TCP connection (little-endian integers):
//
//   client -> logger   one command byte before each block it wants: 1 sealed, 0 plain
//   plain answer       one block of the block stream (magic, length L, L bytes of LZ4)
//   sealed answer      the 16-byte IV once per connection, then per command
//                      i32 N (0..0x200000, a multiple of 16), N bytes of AES-128-CBC
//                      ciphertext chained across the connection, 20-byte HMAC-SHA1 of it
//
// The plaintexts of successive sealed blocks form one block stream: the logger cuts it at
// any multiple of 16 bytes, so a block-stream block may span sealed blocks.
#include "core/types.h"
#include "store/crypt_context.h"
#include "store/stream_compressor.h"

namespace vistra {

inline constexpr u8 kCommandPlain = 0;
inline constexpr u8 kCommandSealed = 1;
inline constexpr i32 kMaxSealedLength = 0x200000;
// The reader's plain-text buffer: the largest sealed block plus the unread tail of a
// block-stream block (less than one header and packed block) that the previous one cut.
inline constexpr i32 kPlainTextCapacity = kMaxSealedLength + 0x10000;
static_assert(kPlainTextCapacity - kMaxSealedLength >= kBlockHeaderSize + kPackedBlockSize);
inline constexpr i32 kCipherCapacity = kMaxSealedLength + CryptContext::kHmacSize;

// Sends one command byte: 1 when sent, 0 when the socket cannot take it now (EAGAIN),
// negative on any other error after a WRN line. A peer that has gone does not raise
// SIGPIPE: the error is returned.
int sendCommand(int fd, u8 cmd);

} // namespace vistra
