// Writes the example data: a DBC file and a native log of a one-minute simulated drive
// (engine, dynamics, a Motorola-coded extended message, float signals, the logger's GPS
// reports on interface 255 and a few error frames). The output is the same on every run.
// The log is named and headed as the logger writes it: a ".lz4" file, so that the log
// dialogs offer it, recorded "on multiCAN", the logger whose logs show the GPS menu.
//
//   make_examples <dir> [<frames.txt>]
//
// <frames.txt> lists the frames that an ASC trace of the log holds (no error frames, no
// logger frames), one a line: time in ms since the first of them, identifier in hex,
// extended flag, length and the data bytes in hex.
#include "core/byte_layout.h"
#include "core/constants.h"
#include "core/frame_record.h"
#include "store/log_file_writer.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace vistra;

namespace {

constexpr u32 kFirstTimestamp = 3600000; // the logger has been up for an hour
constexpr u32 kDurationMs = 60000;
// 2026-12-10 12:00:00.000 UTC, the start written into the log header.
constexpr u64 kStartMs = 1796904000000;
// The logger that names several CAN interfaces; its logs carry GPS reports.
constexpr const char* kLoggerName = "multiCAN";

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

// A small deterministic noise source (an LCG), the same on every platform.
struct Noise {
    u32 state = 12345;
    double next() // in [-1, 1)
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / static_cast<double>(1u << 23) - 1.0;
    }
};

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

std::vector<FrameRecord> simulate()
{
    std::vector<FrameRecord> frames;
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

        FrameRecord f{ts, 256, 8, {}, 0};
        storeLe16(f.data, static_cast<u16>(static_cast<u64>((rpm + 20 * noise.next()) / 0.25)));
        f.data[2] = static_cast<u8>(70 + 40 + s / 6);
        f.data[3] = static_cast<u8>(std::max(0.0, accel) * 40);
        f.data[4] = static_cast<u8>(gear);
        frames.push_back(f);

        if (t % 20 == 0) {
            FrameRecord d{ts + 1, 512, 6, {}, 0};
            storeLe16(d.data, static_cast<u16>(static_cast<u64>(speed / 0.01)));
            storeLe16(d.data + 2, static_cast<u16>(static_cast<i16>(std::lround(accel / 0.001))));
            storeLe16(d.data + 4, static_cast<u16>(static_cast<i16>(std::lround(yaw / 0.01))));
            frames.push_back(d);
        }
        if (t % 50 == 0) {
            FrameRecord b{ts + 2, 0x18FF00FEu | kExtendedFlag, 8, {}, 0};
            const double brake = accel < 0 ? -accel * 20 : 0;
            putBe(b.data, static_cast<u64>(brake / 0.1), 2);
            putBe(b.data + 2, static_cast<u16>(static_cast<i16>(std::lround(yaw * 30 / 0.1))), 2);
            frames.push_back(b);
        }
        if (t % 100 == 0) {
            FrameRecord v{ts + 3, 768, 8, {}, 0};
            storeLe32(v.data, floatBits(static_cast<float>(13.8 + 0.05 * noise.next())));
            storeLe32(v.data + 4, floatBits(static_cast<float>(-5.0 - speed / 4 + 0.5 * noise.next())));
            frames.push_back(v);
        }
        if (t % 1000 == 500) {
            FrameRecord pos{ts + 4, 10, 8, {}, kLoggerIface};
            storeLe32(pos.data, gpsCoordinate(lat));
            storeLe32(pos.data + 4, gpsCoordinate(lon));
            frames.push_back(pos);
            FrameRecord mot{ts + 5, 11, 8, {}, kLoggerIface};
            storeLe32(mot.data, static_cast<u32>(120.0 / 0.1));
            storeLe16(mot.data + 4, static_cast<u16>(static_cast<u64>(speed / 0.01)));
            storeLe16(mot.data + 6, static_cast<u16>(static_cast<u64>(std::fmod(heading + 360, 360) / 0.1)));
            frames.push_back(mot);
            FrameRecord stat{ts + 6, 12, 8, {}, kLoggerIface};
            storeLe16(stat.data, 3);
            storeLe16(stat.data + 2, 5);
            stat.data[4] = 9;
            stat.data[5] = 1;
            frames.push_back(stat);
        }
        // Error frames in the layout of linux/can/error.h: controller warnings, an ACK
        // error and a protocol violation (form error in the transmit phase).
        if (t == 12340 || t == 31000) {
            FrameRecord e{ts + 7, kErrorFrameFlag | 0x04, 8, {0, 0x04, 0, 0, 0, 0, 0x60, 0}, 0};
            frames.push_back(e);
        }
        if (t == 25670) {
            FrameRecord e{ts + 7, kErrorFrameFlag | 0x20, 8, {}, 0};
            frames.push_back(e);
        }
        if (t == 47110) {
            FrameRecord e{ts + 7, kErrorFrameFlag | 0x08, 8, {0, 0, 0x02, 0x0A, 0, 0, 0x80, 0}, 0};
            frames.push_back(e);
        }
    }
    return frames;
}

bool writeLog(const std::string& path, const std::vector<FrameRecord>& frames)
{
    LogFileWriter writer;
    if (!writer.open(path, kStartMs, kLoggerName))
        return false;
    for (const FrameRecord& f : frames)
        if (!writer.add(f))
            return false;
    return writer.close();
}

bool writeText(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

std::string traceFrames(const std::vector<FrameRecord>& frames)
{
    std::string text;
    const FrameRecord* first = nullptr;
    for (const FrameRecord& f : frames) {
        if ((f.idWord & kErrorFrameFlag) || f.iface >= kLoggerIface)
            continue;
        if (!first)
            first = &f;
        char line[96];
        int n = std::snprintf(line, sizeof line, "%u %X %d %u", f.timestamp - first->timestamp, f.idWord & kIdMask,
                              (f.idWord & kExtendedFlag) ? 1 : 0, unsigned(f.length));
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
    const std::vector<FrameRecord> frames = simulate();
    if (!writeText(dir + "/drive.dbc", kDbc) || !writeLog(dir + "/drive.lz4", frames) ||
        (argc == 3 && !writeText(argv[2], traceFrames(frames)))) {
        std::perror("make_examples");
        return 1;
    }
    return 0;
}
