// Feeds arbitrary bytes to the block-stream reader, both from memory and from a descriptor,
// and walks every record it hands out. Run with -close_fd_mask=2 to silence the reader's
// diagnostics.
#include "store/stream_compressor.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>

using namespace vistra;

namespace {

u32 drainRecords(StreamCompressor* s)
{
    u32 sum = 0;
    u8 record[kRecordSize];
    stream::rewind(s);
    while (stream::hasMore(s)) {
        stream::nextRecord(s, record);
        for (u8 byte : record)
            sum += byte;
    }
    return sum;
}

int scratchFd()
{
    static const int fd = memfd_create("block_stream_fuzz", 0);
    if (fd < 0)
        std::abort();
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size)
{
    volatile u32 sink = 0;
    StreamCompressorPtr memory;
    {
        StreamCompressor* s = nullptr;
        if (stream::create(&s, stream::kDecompress) != 0)
            std::abort();
        memory.reset(s);
    }
    std::size_t pos = 0;
    for (;;) {
        u32 consumed = 0;
        const stream::Status status =
            stream::unpackBlock(memory.get(), data + pos, static_cast<int>(size - pos), &consumed);
        if (status != stream::Status::BlockReady)
            break;
        if (consumed < kBlockHeaderSize || consumed > size - pos)
            std::abort();
        sink = sink + drainRecords(memory.get());
        pos += consumed;
    }

    const int fd = scratchFd();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size) ||
        lseek(fd, 0, SEEK_SET) != 0)
        std::abort();
    StreamCompressor* s = nullptr;
    if (stream::create(&s, stream::kDecompress) != 0)
        std::abort();
    StreamCompressorPtr file(s);
    while (stream::readBlock(file.get(), fd) == stream::Status::BlockReady)
        sink = sink + drainRecords(file.get());
    return 0;
}
