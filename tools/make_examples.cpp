// Writes the example data: a DBC file and a native log of a one-minute simulated drive
// (engine, dynamics, a Motorola-coded extended message, float signals, the logger's GPS
// reports on interface 255 and a few error frames). The output is the same on every run.
//
//   make_examples <dir> [<frames.txt>]
//
// <frames.txt> lists the frames that an ASC trace of the log holds (no error frames, no
// logger frames), one a line: time in ms since the first of them, identifier in hex,
// extended flag, length and the data bytes in hex.
#include "store/stream_compressor.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace vistra;

namespace {

constexpr u32 kExtended = 0x80000000u;
constexpr u32 kErrorFrame = 0x20000000u;
constexpr u32 kLoggerIface = 255;
constexpr u32 kFirstTimestamp = 3600000; // the logger has been up for an hour
constexpr u32 kDurationMs = 60000;
// 2026-12-10 12:00:00.000 UTC, the start written into the log header.
constexpr const char* kHeader = "Log started at Thu 2026-12-10 12:00:00.000\n";

const char* const kDbc = R"(VERSION ""

NS_ :

BS_:

BU_: ECU

BO_ 256 EngineData: 8 ECU
 SG_ EngineSpeed : 0|16@1+ (0.25,0) [0|16383.75] "rpm" Vector__XXX
 SG_ CoolantTemp : 16|8@1+ (1,-40) [-40|215] "degC" Vector__XXX
 SG_ ThrottlePos : 24|8@1+ (0.4,0) [0|100] "%" Vector__XXX
 SG_ Gear : 32|4@1+ (1,0) [0|6] "" Vector__XXX

BO_ 512 VehicleDynamics: 6 ECU
 SG_ VehicleSpeed : 0|16@1+ (0.01,0) [0|655.35] "km/h" Vector__XXX
 SG_ LongAccel : 16|16@1- (0.001,0) [-32.768|32.767] "m/s2" Vector__XXX
 SG_ YawRate : 32|16@1- (0.01,0) [-327.68|327.67] "deg/s" Vector__XXX

BO_ 2566848766 BrakeData: 8 ECU
 SG_ BrakePressure : 7|16@0+ (0.1,0) [0|250] "bar" Vector__XXX
 SG_ SteeringAngle : 23|16@0- (0.1,0) [-720|720] "deg" Vector__XXX

BO_ 768 Battery: 8 ECU
 SG_ BatteryVoltage : 0|32@1- (1,0) [0|16] "V" Vector__XXX
 SG_ BatteryCurrent : 32|32@1- (1,0) [-200|200] "A" Vector__XXX

CM_ BO_ 256 "Engine state, every 10 ms";
CM_ SG_ 512 VehicleSpeed "Speed over ground from the wheel sensors";
CM_ SG_ 2566848766 SteeringAngle "Positive to the left";
VAL_ 256 Gear 0 "Neutral" 1 "First" 2 "Second" 3 "Third" 4 "Fourth" 5 "Fifth" 6 "Sixth" ;
SIG_VALTYPE_ 768 BatteryVoltage : 1;
SIG_VALTYPE_ 768 BatteryCurrent : 1;
)";

struct Frame {
    u32 timestamp;
    u32 id;
    u8 length;
    u8 data[8];
    u8 iface;
};

// A small deterministic noise source (an LCG), the same on every platform.
struct Noise {
    u32 state = 12345;
    double next() // in [-1, 1)
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / static_cast<double>(1u << 23) - 1.0;
    }
};

void putLe(u8* p, u64 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<u8>(v >> (8 * i));
}

void putBe(u8* p, u64 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<u8>(v >> (8 * (bytes - 1 - i)));
}

u32 floatBits(float f)
{
    u32 bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Degrees as the logger sends them: whole degrees × 10^7 + minutes × 10^5, with the
// hemisphere in bit 31.
u32 gpsCoordinate(double degrees)
{
    const double a = std::fabs(degrees);
    const double whole = std::floor(a);
    const u32 v = static_cast<u32>(whole * 1e7 + std::llround((a - whole) * 60.0 * 1e5));
    return degrees < 0 ? v | 0x80000000u : v;
}

// Speed profile of the drive in km/h: away from a standstill, cruise, brake, stand.
double speedAt(double s)
{
    if (s < 20)
        return 4.0 * s;
    if (s < 40)
        return 80.0;
    if (s < 55)
        return 80.0 - (s - 40) * 80.0 / 15.0;
    return 0.0;
}

std::vector<Frame> simulate()
{
    std::vector<Frame> frames;
    Noise noise;
    double lat = 57.70887, lon = 11.97456, heading = 60.0; // degrees
    for (u32 t = 0; t < kDurationMs; t += 10) {
        const u32 ts = kFirstTimestamp + t;
        const double s = t / 1000.0;
        const double speed = speedAt(s);
        const double accel = (speedAt(s + 0.01) - speed) / 3.6 / 0.01;
        const int gear = speed < 1 ? 0 : std::min(6, 1 + static_cast<int>(speed / 18));
        const double rpm = speed < 1 ? 800 : 1200 + std::fmod(speed, 18.0) * 150;
        const double yaw = 3.0 * std::sin(s / 6.0);
        heading += yaw * 0.01;
        lat += speed / 3.6 * 0.01 * std::cos(heading * M_PI / 180) / 111320.0;
        lon += speed / 3.6 * 0.01 * std::sin(heading * M_PI / 180) / (111320.0 * std::cos(lat * M_PI / 180));

        Frame f{ts, 256, 8, {}, 0};
        putLe(f.data, static_cast<u64>((rpm + 20 * noise.next()) / 0.25), 2);
        f.data[2] = static_cast<u8>(70 + 40 + s / 6);
        f.data[3] = static_cast<u8>(std::max(0.0, accel) * 40);
        f.data[4] = static_cast<u8>(gear);
        frames.push_back(f);

        if (t % 20 == 0) {
            Frame d{ts + 1, 512, 6, {}, 0};
            putLe(d.data, static_cast<u64>(speed / 0.01), 2);
            putLe(d.data + 2, static_cast<u16>(static_cast<i16>(std::lround(accel / 0.001))), 2);
            putLe(d.data + 4, static_cast<u16>(static_cast<i16>(std::lround(yaw / 0.01))), 2);
            frames.push_back(d);
        }
        if (t % 50 == 0) {
            Frame b{ts + 2, 0x18FF00FEu | kExtended, 8, {}, 0};
            const double brake = accel < 0 ? -accel * 20 : 0;
            putBe(b.data, static_cast<u64>(brake / 0.1), 2);
            putBe(b.data + 2, static_cast<u16>(static_cast<i16>(std::lround(yaw * 30 / 0.1))), 2);
            frames.push_back(b);
        }
        if (t % 100 == 0) {
            Frame v{ts + 3, 768, 8, {}, 0};
            putLe(v.data, floatBits(static_cast<float>(13.8 + 0.05 * noise.next())), 4);
            putLe(v.data + 4, floatBits(static_cast<float>(-5.0 - speed / 4 + 0.5 * noise.next())), 4);
            frames.push_back(v);
        }
        if (t % 1000 == 500) {
            Frame pos{ts + 4, 10, 8, {}, kLoggerIface};
            putLe(pos.data, gpsCoordinate(lat), 4);
            putLe(pos.data + 4, gpsCoordinate(lon), 4);
            frames.push_back(pos);
            Frame mot{ts + 5, 11, 8, {}, kLoggerIface};
            putLe(mot.data, static_cast<u64>(120.0 / 0.1), 4);
            putLe(mot.data + 4, static_cast<u64>(speed / 0.01), 2);
            putLe(mot.data + 6, static_cast<u64>(std::fmod(heading + 360, 360) / 0.1), 2);
            frames.push_back(mot);
            Frame stat{ts + 6, 12, 8, {}, kLoggerIface};
            putLe(stat.data, 3, 2);
            putLe(stat.data + 2, 5, 2);
            stat.data[4] = 9;
            stat.data[5] = 1;
            frames.push_back(stat);
        }
        // Error frames in the layout of linux/can/error.h: controller warnings, an ACK
        // error and a protocol violation (form error in the transmit phase).
        if (t == 12340 || t == 31000) {
            Frame e{ts + 7, kErrorFrame | 0x04, 8, {0, 0x04, 0, 0, 0, 0, 0x60, 0}, 0};
            frames.push_back(e);
        }
        if (t == 25670) {
            Frame e{ts + 7, kErrorFrame | 0x20, 8, {}, 0};
            frames.push_back(e);
        }
        if (t == 47110) {
            Frame e{ts + 7, kErrorFrame | 0x08, 8, {0, 0, 0x02, 0x0A, 0, 0, 0x80, 0}, 0};
            frames.push_back(e);
        }
    }
    return frames;
}

int appendToFile(StreamCompressor*, void* sink, const void* bytes, int count)
{
    return std::fwrite(bytes, 1, static_cast<std::size_t>(count), static_cast<std::FILE*>(sink)) ==
                   static_cast<std::size_t>(count)
               ? 0
               : 1;
}

bool writeLog(const std::string& path, const std::vector<Frame>& frames)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fputs(kHeader, file) >= 0 && std::fwrite("LOGSTART\0\n", 1, 10, file) == 10;
    StreamCompressor* stream = nullptr;
    ok = ok && stream::create(&stream, stream::kCompress) == 0;
    for (const Frame& f : frames) {
        if (!ok)
            break;
        u8 record[kRecordSize];
        putLe(record, f.timestamp, 4);
        putLe(record + 4, f.id, 4);
        record[8] = f.length;
        std::memcpy(record + 9, f.data, 8);
        record[17] = f.iface;
        if (stream::addRecord(stream, record))
            ok = stream::writeBlock(stream, file, appendToFile) == 0;
    }
    if (ok && stream::addRecord(stream, nullptr))
        ok = stream::writeBlock(stream, file, appendToFile) == 0;
    stream::destroy(stream);
    return std::fclose(file) == 0 && ok;
}

bool writeText(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

std::string traceFrames(const std::vector<Frame>& frames)
{
    std::string text;
    const Frame* first = nullptr;
    for (const Frame& f : frames) {
        if ((f.id & kErrorFrame) || f.iface >= kLoggerIface)
            continue;
        if (!first)
            first = &f;
        char line[96];
        int n = std::snprintf(line, sizeof line, "%u %X %d %u", f.timestamp - first->timestamp, f.id & 0x1FFFFFFFu,
                              (f.id & kExtended) ? 1 : 0, unsigned(f.length));
        for (int i = 0; i < f.length && i < 8; ++i)
            n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " %02X", unsigned(f.data[i]));
        text += line;
        text += '\n';
    }
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s <dir> [<frames.txt>]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<Frame> frames = simulate();
    if (!writeText(dir + "/drive.dbc", kDbc) || !writeLog(dir + "/drive.log", frames) ||
        (argc == 3 && !writeText(argv[2], traceFrames(frames)))) {
        std::perror("make_examples");
        return 1;
    }
    return 0;
}
