#include "virtual/gpx_writer.h"

#include "core/regular_file.h"
#include "core/report.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace vistra {
namespace {

constexpr double kKmhToMs = 0.2777777777777778;

// A number with that many decimals, and a decimal point whatever the locale.
void appendNumber(std::string& out, int decimals, double value)
{
    char buf[1023];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    if (char* comma = std::strchr(buf, ','))
        *comma = '.';
    out += buf;
}

void appendPoint(std::string& out, const TrackPoint& p)
{
    out += "\t\t\t<trkpt lat=\"";
    appendNumber(out, 8, p.latitude);
    out += "\" lon=\"";
    appendNumber(out, 8, p.longitude);
    out += "\">\n\t\t\t\t<ele>";
    appendNumber(out, 2, p.altitude);
    out += "</ele>\n\t\t\t\t<speed>";
    appendNumber(out, 2, p.speed * kKmhToMs);
    out += "</speed>\n";
    const std::time_t seconds = static_cast<std::time_t>(p.time / 1000);
    std::tm utc{};
    if (gmtime_r(&seconds, &utc)) {
        char buf[1023];
        std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u", unsigned(utc.tm_year + 1900),
                      unsigned(utc.tm_mon + 1), unsigned(utc.tm_mday), unsigned(utc.tm_hour), unsigned(utc.tm_min),
                      unsigned(utc.tm_sec));
        out += "\t\t\t\t<time>";
        out += buf;
        out += "</time>\n";
    } else {
        // The time is optional in a track point: better none than a wrong one.
        reportWarning("Failed to get date for ruler");
    }
    out += "\t\t\t</trkpt>\n";
}

} // namespace

GpxRange gpxRange(u64 leftRuler, u64 rightRuler, u64 visibleFrom, u64 visibleTo, u64 dataFirst, u64 dataLast)
{
    GpxRange range{visibleFrom, visibleTo};
    if (leftRuler != kNoTime && rightRuler != kNoTime)
        range = GpxRange{std::min(leftRuler, rightRuler), std::max(leftRuler, rightRuler)};
    if (range.to == 0)
        range = GpxRange{dataFirst, dataLast};
    return range;
}

std::string gpxText(const std::vector<TrackPoint>& track, GpxRange range)
{
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
        "<gpx version=\"1.1\" >\n"
        "\t<metadata>\n"
        "\t\t<name>Exported GPS track</name>\n"
        "\t\t<desc>Exported from Brantvale Tarnwick</desc>\n"
        "\t</metadata>\n"
        "\t<trk>\n"
        "\t\t<name>Track</name>\n"
        "\t\t<desc></desc>\n"
        "\t\t<trkseg>\n";
    for (const TrackPoint& p : track) {
        if (p.time > range.to)
            break;
        if (p.latitude == 0.0 || p.longitude == 0.0 || p.time < range.from)
            continue;
        appendPoint(out, p);
    }
    out += "\t\t</trkseg>\n\t</trk>\n</gpx>\n";
    return out;
}

bool writeTextFile(const std::string& path, const std::string& text)
{
    std::string problem;
    const int fd = openRegularForWriting(path, 0666, true, problem);
    if (fd < 0) {
        reportError("Could not write %s: %s", path.c_str(), problem.c_str());
        return false;
    }
    // The first error is the one to report; the file is closed in any case.
    int error = 0;
    if (::ftruncate(fd, 0) != 0 || !writeAll(fd, text))
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        reportError("Could not write %s: %s", path.c_str(), std::strerror(error));
        return false;
    }
    return true;
}

bool writeGpx(const GPSTrack& track, GpxRange range, const Glib::ustring& path, const TextSink& elsewhere)
{
    const std::string text = gpxText(track.copy().track, range);
    if (!path.empty())
        return writeTextFile(path.raw(), text);
    if (elsewhere)
        elsewhere(text);
    return true;
}

} // namespace vistra
