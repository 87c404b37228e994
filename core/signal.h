#pragma once
// The base of every signal: one time series of samples and the rules that decide which
// incoming values are stored (changes, keep-alive points across long gaps, a moving
// tail while live data arrive), its value ranges, display format and users.
#include "core/types.h"

#include <glibmm/ustring.h>

#include <cfloat>
#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vistra {

class Message;
struct FrameRecord;

struct Sample {
    u64 time;     // ms since the Unix epoch, UTC
    double value;

    bool operator==(const Sample&) const = default;
};

class Signal : public std::enable_shared_from_this<Signal> {
public:
    Signal(std::shared_ptr<Message> parent, const Glib::ustring& name);
    Signal(std::shared_ptr<Message> parent, const Glib::ustring& name, double min, double max);
    virtual ~Signal();

    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    virtual void setEnabled(bool on);
    // Writes the display text of `v` into buf; returns what snprintf returns.
    virtual int formatValue(char* buf, std::size_t n, double v);
    virtual void addValue(u64 t, double v);
    virtual void addUser(std::shared_ptr<Signal> user);
    virtual void removeUser(const std::shared_ptr<Signal>& user);
    virtual void process();
    virtual void finish();
    virtual bool dependsOn(const Glib::ustring& name);
    virtual void onFrame(const FrameRecord& frame);
    virtual void clear();

    // The storing rules of addValue for a caller that holds samplesMutex already: a decode
    // thread takes the lock once for a run of frames instead of once per value.
    void addValueLocked(u64 t, double v);
    // Appends one sample and maintains the ranges. The caller holds samplesMutex.
    void storePoint(u64 t, double v);
    // Before a load decodes the `frames` frames of this signal's message in a file, after
    // `framesBefore` frames in the files before it: when the samples must move and are
    // large, makes room for one sample per frame of this file and of the `laterFiles`
    // files still to come, so that they move seldom; and makes the room that this file
    // will likely fill resident at once.
    void reserveForFrames(std::size_t frames, std::size_t framesBefore, std::size_t laterFiles);
    // A sample at or before the last one before t, from which a forward scan finds the
    // exact position; null when there are no samples. The caller holds samplesMutex.
    const Sample* lowerBoundApprox(u64 t) const;
    // The value of the last sample at or before t; 0.0 when there is none.
    double valueAt(u64 t);
    // The same, but nothing when there is no sample at or before t.
    std::optional<double> lastValueAt(u64 t);
    // Pixel row of v in a lane of `height` pixels, kept inside the lane.
    int valueToY(const double& v, int height) const;
    // The same with the line width given: painter threads pass the width copied into
    // their task instead of reading the Store's.
    int valueToY(const double& v, int height, double lineWidth) const;
    void updateViewRange();
    void resetViewRange();
    void clearAndDropUsers();

    std::list<std::shared_ptr<Signal>> dependants;
    u64 lastStoredTime = 0;
    u64 lastReceivedTime = 0;
    bool hidden = false;
    bool noPlot = false;
    std::shared_ptr<Message> parent;
    Glib::ustring name;
    Glib::ustring fullName;
    Glib::ustring unit;
    Glib::ustring colour;
    i32 decimals = 2;
    std::map<int, Glib::ustring> valueTable;
    std::vector<Sample> samples;
    std::shared_ptr<std::mutex> samplesMutex;
    bool enabled = false;
    bool hasData = false;
    bool loaded = false;
    bool needsLoad = false;
    u32 useCount = 0;
    bool hasLimits = false;
    double limitLow = -DBL_MAX;
    double limitHigh = DBL_MAX;
    double viewMin = DBL_MAX;
    double viewMax = -DBL_MAX;
    bool viewRangeValid = false;
    double min = DBL_MAX;
    double max = -DBL_MAX;
    bool internal = false;
    std::string comment;

private:
    bool countsForMin(double v) const { return !hasLimits || v >= limitLow; }
    bool countsForMax(double v) const { return !hasLimits || v <= limitHigh; }
    // Index of the coarse start sample for t; 0 for small or empty vectors.
    std::size_t coarseIndex(u64 t) const;
};

} // namespace vistra
