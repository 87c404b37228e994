#pragma once
// Builders and readers of block streams for the stream tests.
#include "store/stream_compressor.h"

#include <array>
#include <vector>

namespace vistra::test {

using Bytes = std::vector<u8>;
using Record = std::array<u8, kRecordSize>;

Record makeRecord(u32 timestamp, u32 idWord, u8 length, u8 iface, u8 seed);
// Records with varied identifiers, lengths (one above 8) and interfaces.
std::vector<Record> sampleRecords(int count);

void appendLe32(Bytes& out, u32 value);
// One block of the given magic around raw (uncompressed) bytes.
Bytes makeBlock(u32 magic, const Bytes& raw);
// The first recordSize bytes of each record, back to back.
Bytes rawRecords(const std::vector<Record>& records, int recordSize);

// Writes the records through addRecord/writeBlock, flushing at the end.
Bytes writeStream(const std::vector<Record>& records);

struct ReadResult {
    std::vector<Record> records;
    stream::Status status = stream::Status::Done; // the status that ended the reading
    int blocks = 0;
};
// Reads a whole stream with readBlock from a file descriptor that holds bytes.
ReadResult readFromFd(const Bytes& bytes);
// Reads a whole stream with unpackBlock from memory; status is unpackBlock's last status.
ReadResult readFromMemory(const Bytes& bytes);

} // namespace vistra::test
