#pragma once
// The block stream: the framing in which the data logger stores and sends CAN frames.
// Each block is an 8-byte header (u32 magic, u32 compressed length L, little-endian)
// followed by one raw LZ4 block that decompresses to a run of fixed-size frame records:
//
//   record (18 bytes, core/byte_layout.h): u32 timestamp ms, u32 identifier word,
//   u8 data length, u8 data[8], u8 interface (the 17-byte form of older loggers lacks it)
//
// A StreamCompressor reads blocks from a file descriptor or from memory and hands out
// their records, or collects records and compresses them into blocks (the logger's writer
// of the same format). It never throws: every call returns a small status code and
// prints its own diagnostics to standard error.
#include "core/byte_layout.h"
#include "core/types.h"

#include <atomic>
#include <ctime>
#include <memory>

namespace vistra {

inline constexpr u32 kBlockMagicV1 = 0x2018124C; // 18-byte records
inline constexpr u32 kBlockMagicV0 = 0x184C2102; // 17-byte records, no interface byte
inline constexpr int kBlockHeaderSize = 8;
inline constexpr int kRawBlockSize = 18000;
// LZ4's worst case for kRawBlockSize input bytes: 18000 + 18000/255 + 16.
inline constexpr int kPackedBlockSize = 18086;
inline constexpr u32 kVersionNotSet = 0xFFFFFFFF;

// One stream's state. Created, used and freed through the functions in namespace stream;
// it belongs to one thread, except for the stop flag.
struct StreamCompressor {
    // Compressing: buffer1 holds raw records (kRawBlockSize), buffer2 the packed block.
    // Decompressing: buffer1 holds the packed block (kPackedBlockSize), buffer2 the records.
    u8* buffer1 = nullptr;
    u8* buffer2 = nullptr;
    // Compressing: raw bytes waiting. Decompressing: compressed length of the current block.
    i32 inLength = 0;
    // Compressing: size of the last packed block. Decompressing: bytes of the last
    // decompression, 0 after a failed or empty read.
    i32 outLength = 0;
    i32 rawCapacity = kRawBlockSize;
    u32 recordVersion = kVersionNotSet; // fixed by the first block read
    i32 recordSize = kRecordSize;
    i32 polling = 0; // reads wait in poll() steps and honour the stop flag
    std::atomic<i32> stopRequested{0};
    u64 totalCompressed = 0;
    u64 totalRaw = 0;
    i32 firstRecord = 1;
    std::time_t lastFlush = 0;
    u32 cursor = 0; // index of the record nextRecord returns
};

namespace stream {

enum Direction { kCompress = 0, kDecompress = 1 };

// What a read came to.
enum class [[nodiscard]] Status {
    Done,       // readExactly: every byte asked for is read
    NeedMore,   // unpackBlock: the block is not whole yet
    BlockReady, // readBlock, unpackBlock: a block is unpacked and its records wait
    End,        // the stream ended where a block could begin, or a stop was asked for
    Cut,        // the stream ended inside a block (reading from a descriptor): its bytes are lost
    Error,      // a read error or a damaged block, reported
};

// 0 on success; 1 for a direction other than kCompress/kDecompress (*out is then null).
int create(StreamCompressor** out, int direction);
// A decompressing stream whose reads poll, for sockets.
int createPolling(StreamCompressor** out);
void destroy(StreamCompressor* stream); // null is ignored

// Reads exactly n bytes: Done; End when the stream ends before the first of them, or a
// stop is asked for; Cut when it ends after some of them; Error.
Status readExactly(StreamCompressor* stream, int fd, u8* buf, int n);
// Reads and decompresses one block: BlockReady, End (between blocks, or stopped), Cut or
// Error.
Status readBlock(StreamCompressor* stream, int fd);
// What a read that ended past the first byte of a block comes to: its End is a Cut, unless
// a stop was asked for; any other status stays.
Status insideBlock(const StreamCompressor* stream, Status status);
// The same for a block at buf with len bytes available: NeedMore, BlockReady or Error.
// *consumed is the block's total size on BlockReady, else 0.
Status unpackBlock(StreamCompressor* stream, const u8* buf, int len, u32* consumed);

void rewind(StreamCompressor* stream);
int recordsLeft(const StreamCompressor* stream);
bool hasMore(const StreamCompressor* stream);
// Copies the record at the cursor into record (always 18 bytes; the interface byte is 0
// for 17-byte streams) and advances. Call only while hasMore().
void nextRecord(StreamCompressor* stream, u8 record[kRecordSize]);

// Ends a polling read within one poll step; safe from any thread. Null is ignored.
void requestStop(StreamCompressor* stream);

// Writer: appends an 18-byte record (null: flush what waits). Returns 1 when a packed
// block is ready (outLength bytes in buffer2), else 0.
int addRecord(StreamCompressor* stream, const u8* record);
// Compresses the waiting raw bytes; returns how many were taken.
int flush(StreamCompressor* stream);
// Called for each piece of a block; non-zero means failure.
using WriteFunction = int (*)(StreamCompressor* stream, void* sink, const void* bytes, int count);
// Writes the packed block (magic, length, bytes); 1 when a write failed, else 0.
int writeBlock(StreamCompressor* stream, void* sink, WriteFunction write);

struct Deleter {
    void operator()(StreamCompressor* s) const { destroy(s); }
};

} // namespace stream

using StreamCompressorPtr = std::unique_ptr<StreamCompressor, stream::Deleter>;

} // namespace vistra
