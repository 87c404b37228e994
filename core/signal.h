#pragma once
// The base of every signal: one time series of samples and the rules that decide which
// incoming values are stored (changes, keep-alive points across long gaps, a moving
// tail while live data arrive), its value ranges, display format and users.
#include "core/types.h"

#include <glibmm/ustring.h>

#include <atomic>
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

// The lowest and highest value of a stretch of samples that count (values outside a
// signal's limits do not); low > high while nothing counted.
struct ValueRange {
    double low = DBL_MAX;
    double high = -DBL_MAX;
};

// What the detail plot shows of a signal at one time, read at once under its sample lock:
// the value of the last sample at or before that time (none before the first), the
// range that places it in the signal's lane, and whether any value has arrived.
struct SignalReading {
    std::optional<double> value;
    ValueRange view;
    bool hasData = false;
};

// Pixel row of v in a lane of `height` pixels drawn with lines `lineWidth` wide, for the
// view range `view`; kept inside the lane.
int valueToY(double v, int height, double lineWidth, const ValueRange& view);

// Threads: values arrive on the loading threads (a message's decode thread, the store's
// job) while the GUI thread and the painter threads read. What addValue keeps (the samples,
// the storing state, the ranges) is guarded by samplesMutex: the ranges and the storing
// state are private and read through accessors that take the lock or ask for it held. The
// flags and the use count are atomic: the GUI reads them at any time, and changes the use
// while a live job reads it.
class Signal : public std::enable_shared_from_this<Signal> {
public:
    // samplesMutex, held. Accessors that need it held take one as proof.
    using SampleLock = std::unique_lock<std::mutex>;

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
    [[nodiscard]] SampleLock lockSamples() const { return SampleLock(*samplesMutex); }
    // The value of the last sample at or before t; 0.0 when there is none.
    double valueAt(u64 t);
    // The same, but nothing when there is no sample at or before t.
    std::optional<double> lastValueAt(u64 t);
    // Value, view range and data flag at t, in one locked read.
    SignalReading readingAt(u64 t) const;
    // Pixel row of v in a lane of `height` pixels at the Store's line width, kept inside
    // the lane.
    int valueToY(const double& v, int height) const;
    // The minimum and maximum over the Store's view window, and over all samples.
    ValueRange viewRange() const;
    ValueRange viewRange(const SampleLock& held) const;
    ValueRange overallRange() const;
    // Places the lane's range directly, until the next value or view-window change: for
    // callers that fill the samples themselves (tests, benchmarks).
    void setViewRange(const ValueRange& view);
    // The time of the last value handed to addValue.
    u64 lastReceived() const;
    void updateViewRange();
    void resetViewRange();
    void clearAndDropUsers();

    std::list<std::shared_ptr<Signal>> dependants;
    bool hidden = false;
    bool noPlot = false;
    std::shared_ptr<Message> parent;
    Glib::ustring name;
    Glib::ustring fullName;
    Glib::ustring unit;
    Glib::ustring colour;
    i32 decimals = 2;
    std::map<int, Glib::ustring> valueTable;
    // Written by the loading threads under samplesMutex; read under it by every other
    // thread. The job's own computing pass reads its inputs' samples without it: nothing
    // else writes them while it runs.
    std::vector<Sample> samples;
    std::shared_ptr<std::mutex> samplesMutex;
    bool enabled = false; // chosen by the user; the GUI thread's
    std::atomic<bool> hasData{false};   // a value arrived since the last clear
    std::atomic<bool> loaded{false};    // the last load's samples are complete
    std::atomic<bool> needsLoad{false}; // used, not loaded: the next load decodes it
    std::atomic<u32> useCount{0};
    bool hasLimits = false;
    double limitLow = -DBL_MAX;
    double limitHigh = DBL_MAX;
    bool internal = false;
    std::string comment;

private:
    // Under samplesMutex.
    u64 lastStoredTime = 0;
    u64 lastReceivedTime = 0;
    double viewMin = DBL_MAX;
    double viewMax = -DBL_MAX;
    bool viewRangeValid = false;
    double min = DBL_MAX;
    double max = -DBL_MAX;

    bool countsForMin(double v) const { return !hasLimits || v >= limitLow; }
    bool countsForMax(double v) const { return !hasLimits || v <= limitHigh; }
    std::optional<double> lastValueAtLocked(u64 t) const;
    // Index of the coarse start sample for t; 0 for small or empty vectors.
    std::size_t coarseIndex(u64 t) const;
};

} // namespace vistra
