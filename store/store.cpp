#include "store/store.h"

#include "core/bit_rate.h"
#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/message_log.h"
#include "core/report.h"
#include "core/settings.h"
#include "core/signal.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <utility>

namespace vistra {

Store::Store()
{
    // Created first, so that they outlive the store at exit.
    MessageLog::instance();
    Settings::instance();

    liveFilePath = homeFolder() + "/.tarnwicklive";
    settingsChanged.connect([this] { lineWidth = Settings::instance()->getLineWidth(); });
    lineWidth = Settings::instance()->getLineWidth();
    install(this);
}

Store::~Store()
{
    try {
        stop();
    } catch (...) {
        // Stopping reports its own errors; nothing may leave a destructor that runs at exit.
    }
    freeBitRates();
}

Store& Store::instance()
{
    static Store store;
    return store;
}

void Store::startThread()
{
    // run() reports the errors of its jobs itself; this catches what escapes it anyway, so
    // that the thread ends instead of the process.
    if (!worker)
        worker = new std::thread([this] {
            try {
                run();
            } catch (...) {
                reportCurrentException("The worker thread");
            }
        });
}

void Store::requestParse()
{
    std::lock_guard lock(workerMutex);
    requested = true;
    parsing = networkMode ? false : !kvaserInput;
    workerCondition.notify_one();
}

void Store::parseNow()
{
    requestParse();
    run();
}

void Store::run()
{
    std::unique_lock lock(workerMutex);
    while (running) {
        if (requested) {
            requested = false;
        } else {
            // The predicate keeps a spurious wake-up from starting a job.
            workerCondition.wait(lock, [this] { return requested || !running; });
            requested = false;
            if (!running)
                return;
        }
        lock.unlock();
        runJobAtBoundary();
        lock.lock();
        parsing = false;
        // Only the job's own mark goes back: a render's mark stays until the render ends.
        if (std::exchange(jobMarkedBusy, false))
            endWork();
        else
            emitProgressChanged();
        if (textMode) {
            running = false;
            return;
        }
    }
}

void Store::runJobAtBoundary()
{
    // A job that throws must not end the process or leave the store busy: report it and
    // clear the parsing and dump state; run() then gives back the job's busy mark (if it took one) and tells
    // the GUI, so that the next request runs. An input that ends on a reported error
    // (PrintMsgError) has failed, but what was read stays: the command-line modes still
    // print it. Any other error in text mode goes on to main, which reports it and exits.
    auto abandon = [this] {
        parsing = false;
        dumpPending = false;
        inputFailed = true;
    };
    try {
        runJob();
    } catch (const PrintMsgError&) {
        abandon();
    } catch (...) {
        abandon();
        if (textMode)
            throw;
        reportCurrentException();
    }
}

void Store::runJob()
{
    if (networkMode) {
        readNetworkStream();
        return;
    }
    if (kvaserInput) {
        readKvaser();
        return;
    }
    markJobBusy();
    if (csvInput)
        readCsvRows();
    else if (ascInput)
        readAscFile();
    else
        loadLogFiles();
}

bool Store::isRunning()
{
    std::lock_guard lock(workerMutex);
    return running;
}

void Store::stop()
{
    if (worker) {
        {
            std::lock_guard lock(workerMutex);
            running = false;
            workerCondition.notify_one();
        }
        if (worker->joinable()) {
            requestLiveStreamStop(); // a live job waiting for data ends within one poll step
            worker->join();
        }
        delete worker;
        worker = nullptr;
    }
    clearData();
    Settings::instance()->save();
}

void Store::beginWork()
{
    std::lock_guard lock(workMutex);
    workCount += 1;
    if (!quiet())
        progressChanged.emit();
}

void Store::markJobBusy()
{
    beginWork();
    jobMarkedBusy = true;
}

void Store::endWork()
{
    std::lock_guard lock(workMutex);
    if (workCount != 0)
        workCount -= 1;
    if (!quiet())
        progressChanged.emit();
}

bool Store::isWorking()
{
    std::lock_guard lock(workMutex);
    return workCount != 0;
}

bool Store::isBusy()
{
    if (dumpPending) {
        reportInfo("Wait for dump to finish");
        return true;
    }
    if (parsing) {
        reportInfo("Wait for parse to complete");
        return true;
    }
    return false;
}

void Store::emitDataChanged()
{
    if (!quiet())
        dataChanged.emit();
}

void Store::emitProgressChanged()
{
    if (!quiet())
        progressChanged.emit();
}

void Store::setProgress(double fraction)
{
    progress = static_cast<u8>(fraction * kProgressDone);
    if (!quiet())
        progressChanged.emit();
}

void Store::clearLogFiles()
{
    logFileList.clear();
    timedLogFiles.clear();
    multiCanHeader = false;
}

void Store::freeBitRates()
{
    for (BitRate* rate : bitRates)
        if (rate)
            rate->releaseSelf();
    bitRates.clear();
}

u32 Store::monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<u32>(u64(now.tv_sec) * 1000 + u64(now.tv_nsec) / 1000000);
}

std::shared_ptr<CanIface> Store::getIface(u32 number) const
{
    auto it = interfaces.find(number);
    return it == interfaces.end() ? nullptr : it->second;
}

std::shared_ptr<CanIface> Store::getIfaceByName(const Glib::ustring& name) const
{
    for (const auto& entry : interfaces)
        if (entry.second->name == name)
            return entry.second;
    return nullptr;
}

std::shared_ptr<Message> Store::getMessage(u32 id, u32 ifaceNumber) const
{
    auto iface = getIface(ifaceNumber);
    char text[64];
    if (!iface) {
        std::snprintf(text, sizeof text, "Can't find interface with number %u", ifaceNumber);
        throw std::invalid_argument(text);
    }
    auto msg = iface->getMessage(static_cast<int>(id));
    if (!msg) {
        std::snprintf(text, sizeof text, "Can't find message with id %d", static_cast<int>(id));
        throw std::invalid_argument(text);
    }
    return msg;
}

std::shared_ptr<Signal> Store::findSignal(const Glib::ustring& fullName) const
{
    // '.' is one byte in UTF-8, so byte positions serve for the split.
    std::string name = fullName.raw();
    if (std::count(name.begin(), name.end(), '.') < 2) {
        if (!legacyNames)
            throw std::invalid_argument("Expected signal to be formatted as <iface>.<msg>.<sign> but got " + name);
        name = (name.find("Virtual.") != std::string::npos ? "Virt." : "Can.") + name;
    }
    const std::size_t first = name.find('.');
    const std::string ifaceName = name.substr(0, first);
    auto iface = getIfaceByName(ifaceName);
    if (!iface)
        throw SignalNotFoundException("Couldn't find interface with name " + ifaceName);
    const std::string rest = name.substr(first + 1);
    const std::size_t last = rest.rfind('.');
    const std::string msgName = last == std::string::npos ? rest : rest.substr(0, last);
    const std::string sigName = last == std::string::npos ? rest : rest.substr(last + 1);
    return iface->getMessageByName(msgName)->getSignal(sigName);
}

void Store::forEachSignal(const std::function<void(Signal&)>& f) const
{
    for (const auto& iface : interfaces)
        for (const auto& msg : iface.second->messages)
            for (const auto& signal : msg.second->signals)
                f(*signal);
}

void Store::setViewWindow(u64 t1, u64 t2)
{
    resetViewWindow();
    viewStart = std::min(t1, t2);
    viewEnd = std::max(t1, t2);
    viewLocked = true;
    forEachSignal([](Signal& s) { s.updateViewRange(); });
    emitDataChanged();
}

void Store::resetViewWindow()
{
    if (!viewLocked)
        return;
    viewStart = firstTime.load();
    viewEnd = lastTime.load();
    forEachSignal([](Signal& s) { s.resetViewRange(); });
    viewLocked = false;
}

void Store::resetViewWindowAndNotify()
{
    if (!viewLocked)
        return;
    resetViewWindow();
    emitDataChanged();
}

void Store::stopLiveStream()
{
    networkMode = false;
    live = false;
    liveDecode = false;
    stopLiveRequested = true;
    requestLiveStreamStop();
    std::lock_guard lock(jobMutex); // waits until the live job has ended
    stopLiveRequested = false;
    if (viewLocked) {
        resetViewWindow();
        emitDataChanged();
    }
}

void Store::refreshPlotSignals()
{
    // Built aside and then published whole: the plots never see a half-built list.
    std::vector<std::shared_ptr<Signal>> plotted;
    u32 sums[4] = {};
    for (const auto& entry : interfaces) {
        CanIface& iface = *entry.second;
        iface.updateSignalCounts(&plotted);
        sums[0] += iface.enabledVisibleCount;
        sums[1] += iface.enabledCount;
        sums[2] += iface.usedCount;
        sums[3] += iface.usedNotLoadedCount;
    }
    for (BitRate* rate : bitRates)
        if (rate && rate->needsLoad)
            sums[3] += 1;
    enabledVisibleCount = sums[0];
    enabledCount = selectedSignalCount = sums[1];
    usedCount = sums[2];
    usedNotLoadedCount = sums[3];
    plotCount = static_cast<u32>(plotted.size());
    setPlotSignals(std::move(plotted));
    progress = usedNotLoadedCount == 0 ? kProgressDone : 0;
    if (!quiet())
        progressChanged.emit();
}

void Store::deselectAllSignals()
{
    SelectionBatch batch;
    forEachSignal([](Signal& s) { s.setEnabled(false); });
}

void Store::resetBitRates()
{
    for (BitRate* rate : bitRates) {
        if (!rate)
            continue;
        rate->reset();
        if (!networkMode && !parsing)
            rate->clear();
    }
    if (!networkMode) {
        refreshPlotSignals();
        requestParse();
    }
}

void Store::clearData()
{
    for (auto& entry : interfaces)
        entry.second->clear();
    interfaces.clear();
    setPlotSignals({});
    usedIfaces.clear();
    freeBitRates();
    highestIface = 0;
    dbcIsLoaded = vsdIsLoaded = false;
    takeNextOffsetAsBase = true;
    viewStart = kNoTime;
    viewEnd = 0;
    firstTime = kNoTime;
    lastTime = 0;
    firstFileStart = kNoTime;
    lastFrameTime = 0;
    refreshPlotSignals();
    if (viewLocked) {
        resetViewWindow();
        emitDataChanged();
    }
}

void Store::takeInputTimeRange()
{
    firstTime = std::min(firstTime.load(), firstFileStart);
    lastTime = std::max(lastTime.load(), lastFrameTime);
    if (!viewLocked) {
        viewStart = firstTime.load();
        viewEnd = lastTime.load();
    }
}

void Store::requestDump(const Glib::ustring& path, u64 from, u64 to)
{
    dumpPath = path;
    dumpPending = true;
    dumpFrom = from;
    dumpTo = to;
    requestParse();
}

char* Store::formatTime(i64 ms, char* buf, std::size_t size, bool absolute, bool withDate)
{
    const int digits = static_cast<int>(timeFractionDigits);
    if (!absolute) {
        // Relative to the first time of the data; a time before it is shown negative.
        const u64 base = firstTime == kNoTime ? 0 : firstTime.load();
        const i64 r = static_cast<i64>(static_cast<u64>(ms) - base);
        const char sign = r < 0 ? '-' : ' ';
        const u64 m = r < 0 ? 0 - static_cast<u64>(r) : static_cast<u64>(r);
        std::snprintf(buf, size, "%c%llu.%0*llus", sign, static_cast<unsigned long long>(m / 1000), digits,
                      static_cast<unsigned long long>(m % 1000));
        return buf;
    }
    const char sign = ms < 0 ? '-' : ' ';
    const u64 m = ms < 0 ? 0 - static_cast<u64>(ms) : static_cast<u64>(ms);
    const unsigned fraction = static_cast<unsigned>(m % 1000);
    const u64 s = m / 1000;
    if (withDate) {
        tm cal{};
        const time_t seconds = static_cast<time_t>(s);
        if (!gmtime_r(&seconds, &cal)) {
            reportWarning("Failed to get date from time since epoch");
            cal = tm{};
        }
        std::snprintf(buf, size, "%c %04u-%02u-%02u %02u:%02u:%02u.%0*u", sign, unsigned(cal.tm_year + 1900),
                      unsigned(cal.tm_mon + 1), unsigned(cal.tm_mday), unsigned(cal.tm_hour), unsigned(cal.tm_min),
                      unsigned(cal.tm_sec), digits, fraction);
    } else if (s >= 86400) {
        std::snprintf(buf, size, "%c(+%llu) %02u:%02u:%02u.%0*u", sign, static_cast<unsigned long long>(s / 86400),
                      unsigned(s % 86400 / 3600), unsigned(s % 3600 / 60), unsigned(s % 60), digits, fraction);
    } else {
        std::snprintf(buf, size, "%c%02u:%02u:%02u.%0*u", sign, unsigned(s / 3600), unsigned(s % 3600 / 60),
                      unsigned(s % 60), digits, fraction);
    }
    return buf;
}

Glib::ustring Store::signalColor(const Glib::ustring& iface, const Glib::ustring& msg, const Glib::ustring& sig)
{
    if (colorCallback)
        return colorCallback(iface, msg, sig);
    return kDefaultColourMarker;
}

void Store::reloadSignalColors()
{
    for (const auto& iface : interfaces)
        for (const auto& msg : iface.second->messages)
            for (const auto& signal : msg.second->signals)
                signal->colour = Settings::instance()->getSignalColor(iface.second->name, msg.second->name, signal->name);
}

} // namespace vistra
