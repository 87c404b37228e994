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

enum class [[nodiscard]] SendStatus {
    Sent,
    Busy,   // the socket cannot take the byte now (EAGAIN)
    Failed, // any other error, after a WRN line
};

// Sends one command byte. A peer that has gone does not raise SIGPIPE: the error is
// returned.
SendStatus sendCommand(int fd, u8 cmd);

enum class [[nodiscard]] ConnectStatus {
    Connected,
    NoSocket,
    NoSuchHost,
    Failed, // refused, failed, no answer within 10 s, or stopped while waiting
};

} // namespace vistra
