#include "store/stream_compressor.h"

#include "core/report.h"

#include <lz4.h>
#include <lz4hc.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace vistra::stream {
namespace {

static_assert(LZ4_COMPRESSBOUND(kRawBlockSize) <= kPackedBlockSize,
              "the packed buffer must hold any compressed raw block");

constexpr int kPollMs = 500;
constexpr int kCompressionLevel = 3;

// Checks the magic and, on the stream's first block, fixes the record size.
bool acceptMagic(StreamCompressor* s, u32 magic)
{
    if (magic != kBlockMagicV1 && magic != kBlockMagicV0) {
        streamLog(Level::Warning, "Didn't find magic number");
        return false;
    }
    if (s->recordVersion == kVersionNotSet) {
        const bool v0 = magic == kBlockMagicV0;
        s->recordVersion = v0 ? 0 : 1;
        s->recordSize = v0 ? kRecordSizeV0 : kRecordSize;
    }
    return true;
}

// A length from the stream must fit the packed buffer before anything is read into it.
bool acceptLength(u32 length)
{
    if (length == 0) {
        streamLog(Level::Error, "Data len 0: Stopping");
        return false;
    }
    if (length > static_cast<u32>(kPackedBlockSize)) {
        streamLog(Level::Error, "Data len %u exceeds %d: Stopping", length, kPackedBlockSize);
        return false;
    }
    return true;
}

// Each read starts a new block, so the cursor starts at its first record; a caller that
// does not rewind must not skip records or see a negative count.
void startBlock(StreamCompressor* s)
{
    s->outLength = 0;
    s->cursor = 0;
}

Status decompress(StreamCompressor* s, const u8* packed, u8* raw)
{
    const int produced = LZ4_decompress_safe(reinterpret_cast<const char*>(packed),
                                             reinterpret_cast<char*>(raw), s->inLength, kRawBlockSize);
    if (produced > 0) {
        s->outLength = produced;
        return Status::BlockReady;
    }
    s->outLength = 0;
    streamLog(Level::Warning, "uncompress error (p->in_len: %d, p->out_len(): %d", s->inLength, produced);
    return Status::Error;
}

int allocate(StreamCompressor** out, int direction, bool polling)
{
    *out = nullptr;
    if (direction != kCompress && direction != kDecompress) {
        streamLog(Level::Error, "Invalid compression direction: %d", direction);
        return 1;
    }
    auto* s = new (std::nothrow) StreamCompressor;
    if (!s)
        return 1;
    const bool packedFirst = direction == kDecompress;
    s->buffer1 = new (std::nothrow) u8[packedFirst ? kPackedBlockSize : kRawBlockSize];
    s->buffer2 = new (std::nothrow) u8[packedFirst ? kRawBlockSize : kPackedBlockSize];
    if (!s->buffer1 || !s->buffer2) {
        destroy(s);
        return 1;
    }
    s->polling = polling ? 1 : 0;
    *out = s;
    return 0;
}

} // namespace

int create(StreamCompressor** out, int direction)
{
    return allocate(out, direction, false);
}

int createPolling(StreamCompressor** out)
{
    return allocate(out, kDecompress, true);
}

void destroy(StreamCompressor* s)
{
    if (!s)
        return;
    delete[] s->buffer1;
    delete[] s->buffer2;
    delete s;
}

Status readExactly(StreamCompressor* s, int fd, u8* buf, int n)
{
    int got = 0;
    while (got < n) {
        if (s->polling) {
            pollfd request{fd, POLLIN, 0};
            if (poll(&request, 1, kPollMs) <= 0) {
                if (s->stopRequested.load())
                    return Status::End;
                continue;
            }
        }
        const ssize_t count = read(fd, buf + got, static_cast<size_t>(n - got));
        if (count < 0) {
            if (errno == EINTR) // a signal, not a fault of the stream
                continue;
            streamLog(Level::Warning, "Stream read error: %m");
            return Status::Error;
        }
        if (count == 0)
            return got == 0 ? Status::End : Status::Cut;
        got += static_cast<int>(count);
    }
    return Status::Done;
}

Status insideBlock(const StreamCompressor* s, Status status)
{
    return status == Status::End && !s->stopRequested.load() ? Status::Cut : status;
}

Status readBlock(StreamCompressor* s, int fd)
{
    startBlock(s);
    u8 field[4];
    if (const Status status = readExactly(s, fd, field, 4); status != Status::Done)
        return status;
    if (!acceptMagic(s, loadLe32(field)))
        return Status::Error;
    if (const Status status = readExactly(s, fd, field, 4); status != Status::Done)
        return insideBlock(s, status);
    const u32 length = loadLe32(field);
    if (!acceptLength(length))
        return Status::Error;
    s->inLength = static_cast<i32>(length);
    if (const Status status = readExactly(s, fd, s->buffer1, s->inLength); status != Status::Done)
        return insideBlock(s, status);
    return decompress(s, s->buffer1, s->buffer2);
}

Status unpackBlock(StreamCompressor* s, const u8* buf, int len, u32* consumed)
{
    *consumed = 0;
    startBlock(s);
    if (len < kBlockHeaderSize)
        return Status::NeedMore;
    if (!acceptMagic(s, loadLe32(buf)))
        return Status::Error;
    const u32 length = loadLe32(buf + 4);
    if (!acceptLength(length))
        return Status::Error;
    s->inLength = static_cast<i32>(length);
    if (len - kBlockHeaderSize < s->inLength) // both sides are small and non-negative
        return Status::NeedMore;
    const Status status = decompress(s, buf + kBlockHeaderSize, s->buffer2);
    if (status == Status::BlockReady)
        *consumed = length + kBlockHeaderSize;
    return status;
}

void rewind(StreamCompressor* s)
{
    s->cursor = 0;
}

int recordsLeft(const StreamCompressor* s)
{
    // A trailing part of a record (a damaged block) is never handed out.
    return s->outLength / s->recordSize - static_cast<int>(s->cursor);
}

bool hasMore(const StreamCompressor* s)
{
    return recordsLeft(s) > 0;
}

void nextRecord(StreamCompressor* s, u8 record[kRecordSize])
{
    const u8* source = s->buffer2 + static_cast<size_t>(s->cursor) * static_cast<size_t>(s->recordSize);
    std::memcpy(record, source, static_cast<size_t>(s->recordSize));
    if (s->recordVersion == 0)
        record[kRecordIfaceOffset] = 0;
    ++s->cursor;
}

void requestStop(StreamCompressor* s)
{
    if (s)
        s->stopRequested.store(1);
}

int flush(StreamCompressor* s)
{
    const int taken = s->inLength;
    if (taken <= 0) // an empty block would read back as a failed decompression
        return 0;
    const int packed = LZ4_compress_HC(reinterpret_cast<const char*>(s->buffer1),
                                       reinterpret_cast<char*>(s->buffer2), taken, kPackedBlockSize,
                                       kCompressionLevel);
    s->outLength = packed;
    s->totalCompressed += static_cast<u64>(packed);
    s->totalRaw += static_cast<u64>(taken);
    s->inLength = 0;
    return taken;
}

int addRecord(StreamCompressor* s, const u8* record)
{
    const std::time_t now = std::time(nullptr);
    if (s->firstRecord) {
        s->firstRecord = 0;
        s->lastFlush = now;
    }
    const int waiting = s->inLength;
    const bool due = (!record && waiting > 0) || waiting + kRecordSizeV0 >= kRawBlockSize ||
                     (now > s->lastFlush + 1 && waiting > kRecordSize);
    if (due) {
        flush(s);
        s->lastFlush = now;
    }
    if (record) {
        std::memcpy(s->buffer1 + s->inLength, record, kRecordSize);
        s->inLength += kRecordSize;
    }
    return due ? 1 : 0;
}

int writeBlock(StreamCompressor* s, void* sink, WriteFunction write)
{
    if (s->outLength <= 0) // nothing compressed yet: a block of length 0 would end every reader
        return 0;
    u8 header[kBlockHeaderSize];
    storeLe32(header, kBlockMagicV1);
    storeLe32(header + 4, static_cast<u32>(s->outLength));
    if (write(s, sink, header, 4) != 0 || write(s, sink, header + 4, 4) != 0 ||
        write(s, sink, s->buffer2, s->outLength) != 0)
        return 1;
    return 0;
}

} // namespace vistra::stream
