#pragma once
// Block-stream bytes that a test logger sends: engine frames (identifier 256) 10 ms apart,
// rpm rising with each; and the DBC file that decodes them.
#include "core/byte_layout.h"
#include "core/frame_record.h"
#include "loopback.h"
#include "store/stream_compressor.h"
#include "store/stream_listener.h"

#include <glibmm/fileutils.h>
#include <glibmm/miscutils.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vistra::test {

// Writes a DBC file with `text` into HOME as engine.dbc and returns its path; the stream
// listeners of the test count their connections there too.
inline std::string dbcInHome(const char* text)
{
    const std::string home = Glib::get_home_dir();
    StreamListener::setCountFilePath(home + "/listeners");
    const std::string dbc = home + "/engine.dbc";
    Glib::file_set_contents(dbc, text);
    return dbc;
}

// The engine's DBC file (signal Can.Engine.rpm) in HOME.
inline std::string engineDbcInHome()
{
    return dbcInHome("BO_ 256 Engine: 8 ECU\n SG_ rpm : 0|16@1+ (1,0) [0|4000] \"rpm\" X\n");
}

// The logger's side of the connection that tarnwick makes to `logger`, serving plain
// blocks; null (and a test failure) when tarnwick does not connect within 20 s.
inline StreamListener* acceptTarnwick(LoopbackServer& logger)
{
    sockaddr_in peer{};
    const int fd = logger.accept(20000, &peer);
    if (fd < 0) {
        ADD_FAILURE() << "tarnwick did not connect";
        return nullptr;
    }
    return StreamListener::start(peer, fd, nullptr);
}

inline int appendBlockBytes(StreamCompressor*, void* sink, const void* bytes, int count)
{
    auto* out = static_cast<std::vector<u8>*>(sink);
    out->insert(out->end(), static_cast<const u8*>(bytes), static_cast<const u8*>(bytes) + count);
    return 0;
}

inline std::vector<u8> engineBlocks(int count)
{
    StreamCompressor* writer = nullptr;
    EXPECT_EQ(stream::create(&writer, stream::kCompress), 0);
    std::vector<u8> out;
    for (int i = 0; i <= count; ++i) {
        const bool last = i == count;
        u8 record[kRecordSize];
        if (!last) {
            FrameRecord frame;
            frame.timestamp = 500 + 10 * u32(i);
            frame.idWord = 256;
            frame.length = 2;
            storeLe16(frame.data, u16(i));
            packRecord(frame, record);
        }
        if (stream::addRecord(writer, last ? nullptr : record) == 1) {
            EXPECT_EQ(stream::writeBlock(writer, &out, appendBlockBytes), 0);
        }
    }
    stream::destroy(writer);
    return out;
}

} // namespace vistra::test
