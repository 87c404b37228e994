#include "stream_test_util.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

using namespace vistra;
using namespace vistra::test;

namespace {

// The reader's view of a 17-byte record: the interface byte reads as 0.
std::vector<Record> asVersion0(std::vector<Record> records)
{
    for (Record& r : records)
        r[17] = 0;
    return records;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes header(u32 magic, u32 length)
{
    Bytes out;
    appendLe32(out, magic);
    appendLe32(out, length);
    return out;
}

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe(fds), 0); }
    ~Pipe()
    {
        close(fds[0]);
        close(fds[1]);
    }
};

} // namespace

TEST(StreamCompressor, WriterRoundTripFromFdAndMemory)
{
    const auto records = sampleRecords(2500);
    const Bytes bytes = writeStream(records);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), (Bytes{0x4C, 0x12, 0x18, 0x20}));

    for (const ReadResult& read : {readFromFd(bytes), readFromMemory(bytes)}) {
        EXPECT_EQ(read.records, records);
        EXPECT_EQ(read.blocks, 3); // at most 1000 records a block
    }
    EXPECT_EQ(readFromFd(bytes).status, stream::Status::End);
    EXPECT_EQ(readFromMemory(bytes).status, stream::Status::NeedMore);
}

TEST(StreamCompressor, KnownBlockDecodes)
{
    // One record (ts 1000, extended id 0x18FF00FE, 2 bytes 0A FF, interface 1), LZ4-packed
    // by another encoder.
    const Bytes block{0x4c, 0x12, 0x18, 0x20, 0x14, 0x00, 0x00, 0x00, 0xf0, 0x03, 0xe8, 0x03, 0x00, 0x00,
                      0xfe, 0x00, 0xff, 0x98, 0x02, 0x0a, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
    const Record expected{0xe8, 0x03, 0, 0, 0xfe, 0x00, 0xff, 0x98, 0x02, 0x0a, 0xff, 0, 0, 0, 0, 0, 0, 0x01};
    EXPECT_EQ(readFromFd(block).records, std::vector<Record>{expected});
    EXPECT_EQ(readFromMemory(block).records, std::vector<Record>{expected});
}

TEST(StreamCompressor, FirstBlockFixesTheRecordSize)
{
    const auto first = sampleRecords(40);
    const auto second = sampleRecords(23);
    struct Case {
        const char* name;
        u32 firstMagic, secondMagic;
        int recordSize;
    } cases[] = {
        {"v1 stream", kBlockMagicV1, kBlockMagicV1, 18},
        {"v0 stream", kBlockMagicV0, kBlockMagicV0, 17},
        // A later block's magic does not change the record size the first block fixed.
        {"v0 then v1 magic", kBlockMagicV0, kBlockMagicV1, 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = concat({makeBlock(c.firstMagic, rawRecords(first, c.recordSize)),
                                    makeBlock(c.secondMagic, rawRecords(second, c.recordSize))});
        auto expected = first;
        expected.insert(expected.end(), second.begin(), second.end());
        if (c.recordSize == 17)
            expected = asVersion0(expected);
        EXPECT_EQ(readFromFd(bytes).records, expected);
        EXPECT_EQ(readFromMemory(bytes).records, expected);
    }
}

TEST(StreamCompressor, PartialRecordAtBlockEndIsDropped)
{
    const auto records = sampleRecords(3);
    Bytes shortBlock = rawRecords(records, 18);
    shortBlock.resize(10);
    Bytes twoAndAHalf = rawRecords(records, 18);
    twoAndAHalf.resize(45);
    const auto tail = sampleRecords(5);
    const Bytes bytes = concat({makeBlock(kBlockMagicV1, shortBlock), makeBlock(kBlockMagicV1, twoAndAHalf),
                                makeBlock(kBlockMagicV1, rawRecords(tail, 18))});

    auto expected = std::vector<Record>(records.begin(), records.begin() + 2);
    expected.insert(expected.end(), tail.begin(), tail.end());
    for (const ReadResult& read : {readFromFd(bytes), readFromMemory(bytes)}) {
        EXPECT_EQ(read.blocks, 3);
        EXPECT_EQ(read.records, expected);
    }
}

TEST(StreamCompressor, DamagedStreamEndsAtLastGoodBlock)
{
    const auto good = sampleRecords(30);
    const Bytes goodBlock = makeBlock(kBlockMagicV1, rawRecords(good, 18));
    const Bytes nextBlock = makeBlock(kBlockMagicV1, rawRecords(sampleRecords(12), 18));
    Bytes corruptPayload = nextBlock;
    for (size_t i = 8; i < corruptPayload.size(); ++i)
        corruptPayload[i] = 0xFF;
    // A length far beyond the packed buffer, with that many bytes present.
    Bytes oversized = header(kBlockMagicV1, 20000);
    oversized.resize(20008, 0x11);

    struct Case {
        const char* name;
        Bytes tail;
        stream::Status fdStatus, memoryStatus;
        const char* message;
    } cases[] = {
        {"clean end", {}, stream::Status::End, stream::Status::NeedMore, ""},
        {"bad magic", header(0x2018124D, 20), stream::Status::Error, stream::Status::Error, "WRN Didn't find magic number"},
        {"length 0", header(kBlockMagicV1, 0), stream::Status::Error, stream::Status::Error, "ERR Data len 0: Stopping"},
        {"length 20000, bytes present", oversized, stream::Status::Error, stream::Status::Error, "ERR Data len 20000"},
        {"length 18087", header(kBlockMagicV1, 18087), stream::Status::Error, stream::Status::Error, "ERR Data len 18087"},
        {"length wraps", header(kBlockMagicV1, 0xFFFFFFF9), stream::Status::Error, stream::Status::Error, "ERR Data len"},
        {"length -1", header(kBlockMagicV1, 0xFFFFFFFF), stream::Status::Error, stream::Status::Error, "ERR Data len"},
        {"corrupt payload", corruptPayload, stream::Status::Error, stream::Status::Error, "WRN uncompress error (p->in_len: "},
        {"cut in magic", Bytes(nextBlock.begin(), nextBlock.begin() + 3), stream::Status::Cut,
         stream::Status::NeedMore, ""},
        {"cut in length", Bytes(nextBlock.begin(), nextBlock.begin() + 6), stream::Status::Cut,
         stream::Status::NeedMore, ""},
        {"cut in payload", Bytes(nextBlock.begin(), nextBlock.end() - 1), stream::Status::Cut,
         stream::Status::NeedMore, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = concat({goodBlock, c.tail});
        testing::internal::CaptureStderr();
        const ReadResult fromFd = readFromFd(bytes);
        const ReadResult fromMemory = readFromMemory(bytes);
        const std::string diagnostics = testing::internal::GetCapturedStderr();
        EXPECT_EQ(fromFd.records, good);
        EXPECT_EQ(fromFd.status, c.fdStatus);
        EXPECT_EQ(fromMemory.records, good);
        EXPECT_EQ(fromMemory.status, c.memoryStatus);
        EXPECT_NE(diagnostics.find(c.message), std::string::npos) << diagnostics;
    }
}

TEST(StreamCompressor, EmptyInput)
{
    EXPECT_EQ(readFromFd({}).status, stream::Status::End);
    EXPECT_EQ(readFromMemory({}).status, stream::Status::NeedMore);
}

TEST(StreamCompressor, UnpackWaitsForWholeBlock)
{
    const Bytes block = makeBlock(kBlockMagicV1, rawRecords(sampleRecords(4), 18));
    StreamCompressor* s = nullptr;
    ASSERT_EQ(stream::create(&s, stream::kDecompress), 0);
    StreamCompressorPtr owner(s);
    for (int len : {0, 7, 8, static_cast<int>(block.size()) - 1}) {
        u32 consumed = 99;
        EXPECT_EQ(stream::unpackBlock(s, block.data(), len, &consumed), stream::Status::NeedMore) << len;
        EXPECT_EQ(consumed, 0u);
        EXPECT_FALSE(stream::hasMore(s));
    }
    u32 consumed = 0;
    EXPECT_EQ(stream::unpackBlock(s, block.data(), static_cast<int>(block.size()), &consumed),
              stream::Status::BlockReady);
    EXPECT_EQ(consumed, block.size());
    EXPECT_EQ(stream::recordsLeft(s), 4);
}

TEST(StreamCompressor, RequestStopEndsWaitingPollingRead)
{
    const auto records = sampleRecords(5);
    const Bytes block = makeBlock(kBlockMagicV1, rawRecords(records, 18));
    Pipe pipe;
    StreamCompressor* s = nullptr;
    ASSERT_EQ(stream::createPolling(&s), 0);
    StreamCompressorPtr owner(s);

    // Data that arrives late is still read; a silent peer is waited for until the stop.
    std::thread peer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        EXPECT_EQ(write(pipe.fds[1], block.data(), block.size()), static_cast<ssize_t>(block.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        stream::requestStop(s);
    });
    EXPECT_EQ(stream::readBlock(s, pipe.fds[0]), stream::Status::BlockReady);
    EXPECT_EQ(stream::recordsLeft(s), 5);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(stream::readBlock(s, pipe.fds[0]), stream::Status::End);
    const auto waited = std::chrono::steady_clock::now() - start;
    peer.join();
    EXPECT_GE(waited, std::chrono::milliseconds(1000));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
    stream::requestStop(nullptr);
}

TEST(StreamCompressor, CreateRejectsUnknownDirection)
{
    StreamCompressor* s = reinterpret_cast<StreamCompressor*>(1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(stream::create(&s, 2), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ERR Invalid compression direction: 2"),
              std::string::npos);
    EXPECT_EQ(s, nullptr);
    stream::destroy(nullptr);
}

TEST(StreamCompressor, WriterFlushRules)
{
    StreamCompressor* s = nullptr;
    ASSERT_EQ(stream::create(&s, stream::kCompress), 0);
    StreamCompressorPtr owner(s);
    const auto records = sampleRecords(1001);
    int calls = 0;
    auto countingWrite = [](StreamCompressor*, void* sink, const void*, int) {
        ++*static_cast<int*>(sink);
        return 0;
    };

    // Nothing waits: no block, nothing written.
    EXPECT_EQ(stream::addRecord(s, nullptr), 0);
    EXPECT_EQ(stream::flush(s), 0);
    EXPECT_EQ(stream::writeBlock(s, &calls, countingWrite), 0);
    EXPECT_EQ(calls, 0);

    // The buffer takes 1000 records; the next one flushes them first.
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(stream::addRecord(s, records[static_cast<size_t>(i)].data()), 0) << i;
    EXPECT_EQ(stream::addRecord(s, records[1000].data()), 1);
    EXPECT_EQ(s->totalRaw, 18000u);
    EXPECT_EQ(s->inLength, 18);

    // More than one record waiting for over a second is flushed by the next record.
    EXPECT_EQ(stream::addRecord(s, records[0].data()), 0);
    s->lastFlush -= 2;
    EXPECT_EQ(stream::addRecord(s, records[1].data()), 1);
    EXPECT_EQ(s->totalRaw, 18036u);
    EXPECT_EQ(stream::addRecord(s, nullptr), 1);
    EXPECT_EQ(s->totalRaw, 18054u);
}

TEST(StreamCompressor, WriteBlockStopsAtFirstFailure)
{
    StreamCompressor* s = nullptr;
    ASSERT_EQ(stream::create(&s, stream::kCompress), 0);
    StreamCompressorPtr owner(s);
    stream::addRecord(s, sampleRecords(1)[0].data());
    ASSERT_EQ(stream::addRecord(s, nullptr), 1);
    for (int failAt = 0; failAt < 3; ++failAt) {
        std::pair<int, int> state{0, failAt};
        auto write = [](StreamCompressor*, void* sink, const void*, int) {
            auto* st = static_cast<std::pair<int, int>*>(sink);
            return st->first++ == st->second ? -1 : 0;
        };
        EXPECT_EQ(stream::writeBlock(s, &state, write), 1);
        EXPECT_EQ(state.first, failAt + 1);
    }
}

// Random damage of a valid stream must end cleanly; whole blocks before the damage read
// back unchanged.
TEST(StreamCompressor, RandomDamageEndsCleanly)
{
    std::vector<Bytes> blocks;
    const auto records = sampleRecords(1200);
    for (size_t first = 0; first < records.size(); first += 300) {
        const std::vector<Record> part(records.begin() + static_cast<long>(first),
                                       records.begin() + static_cast<long>(first + 300));
        blocks.push_back(writeStream(part));
    }
    const Bytes stream = concat({blocks[0], blocks[1], blocks[2], blocks[3]});
    // Records of the whole blocks that end at or before offset.
    auto intactBefore = [&](size_t offset) {
        size_t end = 0, count = 0;
        for (const Bytes& b : blocks) {
            if (end + b.size() > offset)
                break;
            end += b.size();
            count += 300;
        }
        return std::vector<Record>(records.begin(), records.begin() + static_cast<long>(count));
    };
    auto atBlockStart = [&](size_t offset) {
        size_t start = 0;
        for (const Bytes& b : blocks) {
            if (start == offset)
                return true;
            start += b.size();
        }
        return start == offset;
    };
    auto prefixOf = [](const std::vector<Record>& part, const std::vector<Record>& whole) {
        return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
    };

    std::mt19937 random(20240102);
    testing::internal::CaptureStderr();
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = stream;
        size_t firstDamage;
        const bool truncate = round % 3 == 0;
        if (truncate) {
            firstDamage = random() % stream.size();
            damaged.resize(firstDamage);
        } else {
            firstDamage = stream.size();
            for (int flips = 1 + static_cast<int>(random() % 3); flips > 0; --flips) {
                const size_t at = random() % stream.size();
                damaged[at] ^= static_cast<u8>(1u << (random() % 8));
                firstDamage = std::min(firstDamage, at);
            }
        }
        const auto intact = intactBefore(firstDamage);
        for (const ReadResult& read : {readFromFd(damaged), readFromMemory(damaged)}) {
            ASSERT_TRUE(prefixOf(intact, read.records)) << "round " << round;
            if (truncate) {
                ASSERT_EQ(read.records, intact) << "round " << round;
            }
        }
        // A file cut between blocks ends; one cut inside a block says so.
        const stream::Status fdStatus = readFromFd(damaged).status;
        if (truncate) {
            ASSERT_EQ(fdStatus, atBlockStart(firstDamage) ? stream::Status::End : stream::Status::Cut)
                << "round " << round;
        } else {
            // A damaged length may reach past the end of the file.
            ASSERT_NE(fdStatus, stream::Status::BlockReady) << "round " << round;
        }
    }
    testing::internal::GetCapturedStderr();
}
