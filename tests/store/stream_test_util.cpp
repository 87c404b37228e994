#include "stream_test_util.h"

#include <gtest/gtest.h>
#include <lz4.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace vistra::test {
namespace {

void drain(StreamCompressor* s, std::vector<Record>& out)
{
    const int expected = stream::recordsLeft(s);
    for (int i = 0; i < expected; ++i) {
        Record record;
        record.fill(0xEE);
        stream::nextRecord(s, record.data());
        out.push_back(record);
    }
    EXPECT_FALSE(stream::hasMore(s));
}

StreamCompressorPtr decompressor()
{
    StreamCompressor* s = nullptr;
    EXPECT_EQ(stream::create(&s, stream::kDecompress), 0);
    return StreamCompressorPtr(s);
}

int appendWrite(StreamCompressor*, void* sink, const void* bytes, int count)
{
    auto* out = static_cast<Bytes*>(sink);
    const auto* first = static_cast<const u8*>(bytes);
    out->insert(out->end(), first, first + count);
    return 0;
}

} // namespace

Record makeRecord(u32 timestamp, u32 idWord, u8 length, u8 iface, u8 seed)
{
    Record r{};
    storeLe32(r.data() + kRecordTimestampOffset, timestamp);
    storeLe32(r.data() + kRecordIdWordOffset, idWord);
    r[kRecordLengthOffset] = length;
    for (int i = 0; i < 8; ++i)
        r[kRecordDataOffset + i] = static_cast<u8>(seed * 31 + i);
    r[kRecordIfaceOffset] = iface;
    return r;
}

std::vector<Record> sampleRecords(int count)
{
    std::vector<Record> records;
    for (int i = 0; i < count; ++i) {
        const u32 word = i % 3 == 0 ? 0x98FF00FEu : static_cast<u32>(0x100 + i % 50);
        const u8 length = i == 7 ? 200 : static_cast<u8>(i % 9);
        records.push_back(makeRecord(1000u + 10u * static_cast<u32>(i), word, length, static_cast<u8>(i % 4),
                                     static_cast<u8>(i)));
    }
    return records;
}

// Not inlined: g++ 12 at -O3 follows an empty vector into the insert and warns of an
// overflow that cannot happen.
[[gnu::noinline]] void appendLe32(Bytes& out, u32 value)
{
    u8 bytes[4];
    storeLe32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

Bytes makeBlock(u32 magic, const Bytes& raw)
{
    Bytes packed(static_cast<size_t>(LZ4_compressBound(static_cast<int>(raw.size()))));
    const int size = LZ4_compress_default(reinterpret_cast<const char*>(raw.data()),
                                          reinterpret_cast<char*>(packed.data()), static_cast<int>(raw.size()),
                                          static_cast<int>(packed.size()));
    EXPECT_GT(size, 0);
    Bytes block;
    appendLe32(block, magic);
    appendLe32(block, static_cast<u32>(size));
    block.insert(block.end(), packed.begin(), packed.begin() + size);
    return block;
}

Bytes rawRecords(const std::vector<Record>& records, int recordSize)
{
    Bytes raw;
    for (const Record& r : records)
        raw.insert(raw.end(), r.begin(), r.begin() + recordSize);
    return raw;
}

Bytes writeStream(const std::vector<Record>& records)
{
    StreamCompressor* s = nullptr;
    EXPECT_EQ(stream::create(&s, stream::kCompress), 0);
    StreamCompressorPtr writer(s);
    Bytes out;
    for (const Record& r : records) {
        if (stream::addRecord(s, r.data())) {
            EXPECT_EQ(stream::writeBlock(s, &out, appendWrite), 0);
        }
    }
    if (stream::addRecord(s, nullptr)) {
        EXPECT_EQ(stream::writeBlock(s, &out, appendWrite), 0);
    }
    return out;
}

ReadResult readFromFd(const Bytes& bytes)
{
    static const int fd = memfd_create("stream_test", 0);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(ftruncate(fd, 0), 0);
    EXPECT_EQ(pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    EXPECT_EQ(lseek(fd, 0, SEEK_SET), 0);
    auto s = decompressor();
    ReadResult result;
    while ((result.status = stream::readBlock(s.get(), fd)) == stream::Status::BlockReady) {
        ++result.blocks;
        drain(s.get(), result.records);
    }
    EXPECT_EQ(stream::recordsLeft(s.get()), 0); // nothing of a failed block is handed out
    return result;
}

ReadResult readFromMemory(const Bytes& bytes)
{
    auto s = decompressor();
    ReadResult result;
    size_t pos = 0;
    for (;;) {
        u32 consumed = 0xDEAD;
        result.status = stream::unpackBlock(s.get(), bytes.data() + pos, static_cast<int>(bytes.size() - pos),
                                            &consumed);
        if (result.status != stream::Status::BlockReady) {
            EXPECT_EQ(consumed, 0u);
            break;
        }
        EXPECT_LE(consumed, bytes.size() - pos);
        pos += consumed;
        ++result.blocks;
        drain(s.get(), result.records);
    }
    return result;
}

} // namespace vistra::test
