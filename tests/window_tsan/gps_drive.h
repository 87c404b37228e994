#pragma once
// A drive as a logger that names several CAN interfaces records it: engine frames every
// 10 ms (Can.Engine.Speed rising with the time, and Can.Engine.Revs, twice that) and one GPS position and motion report a
// second on the logger's own interface, as a native log or as live block-stream bytes.
#include "core/byte_layout.h"
#include "core/constants.h"
#include "core/frame_record.h"
#include "store/log_file_writer.h"
#include "store/stream_compressor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vistra::test {

inline constexpr const char* kEngineDbc = R"(VERSION ""
BO_ 256 Engine: 8 ECU
 SG_ Speed : 0|16@1+ (1,0) [0|65535] "rpm" Vector__XXX
 SG_ Revs : 0|16@1+ (2,0) [0|131070] "rpm" Vector__XXX
)";

inline constexpr u64 kDriveStartMs = 1'700'000'000'000;

// The frames of logger time t (ms): the engine's, and at whole seconds the GPS reports
// (degrees × 10^7 + minutes × 10^5, moving north-east).
template <typename Add> void driveFramesAt(u32 t, Add&& add)
{
    add(FrameRecord{t, 256, 8, {static_cast<u8>(t), static_cast<u8>(t >> 8)}, 0});
    if (t % 1000 == 0) {
        FrameRecord pos{t + 1, 10, 8, {}, kLoggerIface};
        storeLe32(pos.data, 570000000u + 4253000u + t / 100); // 57° 42.53' N and north
        storeLe32(pos.data + 4, 110000000u + 5847000u + t / 100); // 11° 58.47' E and east
        add(pos);
        FrameRecord motion{t + 2, 11, 8, {}, kLoggerIface};
        storeLe32(motion.data, 1200); // 120.0 m
        add(motion);
    }
}

inline void writeDriveLog(const std::string& path, u32 seconds)
{
    LogFileWriter writer;
    ASSERT_TRUE(writer.open(path, kDriveStartMs, "multiCAN"));
    bool ok = true;
    for (u32 t = 0; t < seconds * 1000 && ok; t += 10)
        driveFramesAt(t, [&](const FrameRecord& frame) { ok = ok && writer.add(frame); });
    ASSERT_TRUE(ok);
    ASSERT_TRUE(writer.close());
}

// A folder of its own with the engine's DBC file and a log of the drive `seconds` long;
// removed with it.
struct DriveFolder {
    explicit DriveFolder(u32 seconds)
    {
        char name[] = "/tmp/tarnwick-drive-XXXXXX";
        dir = mkdtemp(name);
        dbc = dir + "/engine.dbc";
        log = dir + "/drive.lz4";
        std::ofstream(dbc) << kEngineDbc;
        writeDriveLog(log, seconds);
    }
    ~DriveFolder() { std::filesystem::remove_all(dir); }
    DriveFolder(const DriveFolder&) = delete;
    DriveFolder& operator=(const DriveFolder&) = delete;

    std::string dir;
    std::string dbc;
    std::string log;
};

// Block-stream bytes of the drive's frames from logger time `from` (ms) for `count` engine
// frames, in blocks as the logger packs them.
inline std::vector<u8> driveBlocks(u32 from, u32 count)
{
    StreamCompressor* writer = nullptr;
    EXPECT_EQ(stream::create(&writer, stream::kCompress), 0);
    std::vector<u8> out;
    auto sink = [](StreamCompressor*, void* to, const void* bytes, int n) {
        auto* bytesOut = static_cast<std::vector<u8>*>(to);
        bytesOut->insert(bytesOut->end(), static_cast<const u8*>(bytes), static_cast<const u8*>(bytes) + n);
        return 0;
    };
    auto add = [&](const u8* record) {
        if (stream::addRecord(writer, record) == 1) {
            EXPECT_EQ(stream::writeBlock(writer, &out, sink), 0);
        }
    };
    for (u32 i = 0; i < count; ++i)
        driveFramesAt(from + 10 * i, [&](const FrameRecord& frame) {
            u8 record[kRecordSize];
            packRecord(frame, record);
            add(record);
        });
    add(nullptr); // the last block, however full
    stream::destroy(writer);
    return out;
}

} // namespace vistra::test
