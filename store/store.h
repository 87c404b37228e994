#pragma once
// The one data store of the process: the CAN interfaces with their messages and signals,
// the log-file list, the time base and view window of the loaded data, the input mode,
// and the worker thread that runs one input job at a time. It tells the GUI about
// changes only through its dispatchers.
#include "core/constants.h"
#include "core/frame_record.h"
#include "core/store_host.h"
#include "core/types.h"
#include "store/crypt_context.h"
#include "store/live_stream.h"
#include "store/stream_compressor.h"

#include <glibmm/dispatcher.h>
#include <glibmm/keyfile.h>
#include <glibmm/ustring.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <functional>
#include <istream>
#include <list>
#include <string>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace vistra {

class BitRate;
class CanFrameSource;
class CanIface;
struct FrameRecord;
class LogParser;
class Message;
class Signal;

// What loadDbc and loadVsd do when the file itself cannot be opened or parsed. Optional:
// the load goes on without it, as the window does and as a run does with the file the
// settings remember. Required: the file was named for a command-line run, which cannot
// print anything sound without it.
enum class DefinitionFile { Optional, Required };

class Store : public StoreHost {
public:
    using ColorCallback =
        std::function<Glib::ustring(const Glib::ustring&, const Glib::ustring&, const Glib::ustring&)>;
    using TimeOffsetCallback = std::function<void(u64 time, u64 offset)>;

    Store();
    // Stops the worker, clears the data and saves the settings; never throws.
    ~Store() override;

    // The process's store, created on first use and destroyed at exit.
    static Store& instance();

    // Worker thread and jobs.
    void startThread();
    void requestParse();
    void parseNow();
    void run();
    void stop();
    void beginWork();
    void endWork();
    bool isWorking();
    bool isBusy();
    void emitDataChanged();
    void emitProgressChanged();
    void setProgress(double fraction);
    void setColorCallback(ColorCallback callback) { colorCallback = std::move(callback); }
    void setTimeOffsetCallback(TimeOffsetCallback callback) { timeOffsetCallback = std::move(callback); }
    bool dbcLoaded() const { return dbcIsLoaded; }
    bool vsdLoaded() const { return vsdIsLoaded; }
    bool hasLogFiles() const { return !logFileList.empty(); }
    const std::list<Glib::ustring>& logFiles() const { return logFileList; }
    void clearLogFiles();
    void freeBitRates();
    static u32 monotonicMs();

    // Lookups.
    std::shared_ptr<CanIface> getIface(u32 number) const override;
    CanIface* usedIface(u32 number) const
    {
        auto it = usedIfaces.find(number);
        return it == usedIfaces.end() ? nullptr : it->second;
    }
    std::shared_ptr<CanIface> getIfaceByName(const Glib::ustring& name) const;
    // Throws std::invalid_argument when the interface or the message is absent.
    std::shared_ptr<Message> getMessage(u32 id, u32 ifaceNumber) const;
    // "<iface>.<msg>.<signal>", split at the first and the last '.'. Throws
    // std::invalid_argument for a malformed name, SignalNotFoundException for a missing one.
    std::shared_ptr<Signal> findSignal(const Glib::ustring& name) const override;

    // View window and notification.
    void setViewWindow(u64 t1, u64 t2);
    void resetViewWindow();
    void resetViewWindowAndNotify();
    void stopLiveStream();
    void refreshPlotSignals() override;
    void deselectAllSignals();
    void resetBitRates();
    void clearData();
    void requestDump(const Glib::ustring& path, u64 from, u64 to);

    // Frames delivered one at a time (live stream, ASC and CSV input, SocketCAN): puts the
    // frame's 32-bit logger time on the running time base, then writes it to the ASC
    // trace or hands it to its interface's bus-load signal and to the message that wants it.
    // A frame earlier than the one before it is kept at that one's time, and counted.
    void dispatchFrame(const FrameRecord& frame);
    // At the end of each file or stream that went through dispatchFrame: one warning,
    // naming `source`, for the frames it kept out of order since the last report.
    void reportFramesOutOfOrder(const Glib::ustring& source);

    // Live network stream (store/live_stream.cpp).
    // Opens a non-blocking TCP connection to host:port into *fd; each failure is a WRN
    // and leaves no descriptor open.
    ConnectStatus connectLogger(int* fd);
    // The live job: connects, asks for one block at a time with a command byte (1 sealed,
    // 0 plain), dispatches every frame at once and computes the virtual signals after each
    // block, until the stream ends, fails, or stopLiveStream() or stop() is called. Holds
    // the job mutex throughout; the data received stay loaded.
    void readNetworkStream();
    // The job's reader of the stream on descriptor fd: a fresh polling StreamCompressor
    // (reachable by stop requests from other threads), an empty plain-text buffer, and the
    // IV still to come. endLiveStream releases the reader and the crypto state; the
    // descriptor stays the caller's.
    void beginLiveStream(int fd);
    void endLiveStream();
    // Plain mode: reads one block from the stream and dispatches its frames. The status of
    // the block reader: BlockReady (dispatched), End, Cut or Error.
    stream::Status readPlainBlock();
    // Sealed mode: reads one sealed block (the IV first on a new connection), checks its
    // HMAC and appends the decrypted bytes to the plain-text buffer: Done; End where a
    // sealed block could begin and no block-stream block waits for its rest; Cut; Error
    // for failed authentication or a read error. A bad length, a failed set-up or
    // decryption are reported as ERR and throw PrintMsgError.
    stream::Status readEncryptedBlock();
    // Unpacks and dispatches every whole block-stream block in the plain-text buffer; a
    // block cut by the end of a sealed block waits for the next one. Done, or Error for a
    // damaged block.
    stream::Status unpackPlainText();
    // Hands every record of the live stream's current block to dispatchFrame.
    void dispatchStreamRecords();

    // Live-connection files (store/live_file.cpp).
    // Writes the current connection (title, server, port, the key when set, and the DBC
    // or else the VSD path of the settings) to liveFilePath, readable by the user alone.
    // A file that cannot be written is left alone without a message.
    void writeLiveFile();

    // Native log files.
    // The start time of a native log file in ms since the epoch (UTC), or a negative value
    // when the file is not one. Sets the multiCAN flag for a file written on "multiCAN".
    i64 readLogStartTime(const char* path);
    // Adds a log file to the list, kept in start-time order; skips files that are not
    // native logs (in CSV or ASC input mode every path is taken as it is).
    void addLogFile(const char* path);
    // The native-log job: parses every listed file and decodes what is in use, or writes
    // the frames as ASC (-o/-m, dump).
    void loadLogFiles();
    // Writes one frame line of the ASC trace to `output`, and the header before the first.
    void writeAscFrame(const FrameRecord& frame, const u64* absTime);

    // ASC and CSV input (store/asc_input.cpp, store/csv_input.cpp): the jobs of the
    // ASC-input and CSV-input flags, over the file list.
    // The ASC-input job: every frame line of the listed ASC traces goes to dispatchFrame,
    // decoded by the messages' own threads, or written as ASC again (-o, -m, dump).
    void readAscFile();
    // Opens the listed CSV files, finds each one's delimiter and header rows, and makes the
    // interface "CSV" with its message "All" and one signal per data column of the first
    // file. Reports an ERR and throws PrintMsgError for a file it cannot take.
    void loadCsv();
    // The CSV job: the rows of every listed file into the column signals.
    void readCsvRows();

    // The SocketCAN job (store/kvaser_job.cpp): frames of the CAN channel `canChannel`,
    // on interface 0 at their receive times, decoded as they come, until the store stops,
    // stopLiveStream() is called or reading fails.
    void readKvaser();

    // Display.
    char* formatTime(i64 ms, char* buf, std::size_t size, bool absolute, bool withDate);
    Glib::ustring signalColor(const Glib::ustring& iface, const Glib::ustring& msg,
                              const Glib::ustring& sig) override;
    void reloadSignalColors() override;
    void emitSettingsChanged() override { settingsChanged.emit(); }

    // DBC files. loadDbc builds the messages and signals of a DBC file into interface
    // ifaceNumber (created as ifaceName when missing). It reports an ERR and throws
    // PrintMsgError for a definition it cannot take; a file that cannot be opened is a WRN,
    // or an ERR and PrintMsgError when the file is required.
    void loadDbc(const Glib::ustring& path, u32 ifaceNumber, const Glib::ustring& ifaceName,
                 DefinitionFile need = DefinitionFile::Optional);
    // Reads one CM_ BO_ (isMessage) or CM_ SG_ statement that begins on `line` and may go
    // on over further lines of `in`; false when the file ends inside the comment.
    bool readDbcComment(std::istream& in, u32 ifaceNumber, bool isMessage, std::string line);

    // VSD files. loadVsd reads the interfaces and DBC files of the [settings] group, then
    // the signal groups of the file and its includes in passes until no further signal can
    // be made; the groups that never build are reported once each. A file that cannot be
    // opened is passed over in silence and one that does not parse is a WRN (a FIFO, folder
    // or device an ERR); a required file is an ERR and PrintMsgError in each of these cases.
    // A bad interface declaration reports an ERR and throws PrintMsgError.
    void loadVsd(const Glib::ustring& path, DefinitionFile need = DefinitionFile::Optional);
    int parseVsdSettings(Glib::KeyFile& file, const Glib::ustring& path, std::list<Glib::ustring>& includes,
                         std::list<Glib::ustring>& postincludes);
    void loadVsdIncludes(std::list<Glib::ustring>& files, const Glib::ustring& vsdPath);
    void parseVsdGroups(Glib::KeyFile& file, const Glib::ustring& path);

    // Interface registry.
    // Reports an ERR and throws PrintMsgError for a name or number already registered.
    std::shared_ptr<CanIface> addIface(const Glib::ustring& name, u32 number);
    void addLoggerIface();
    void collectUsedIfaces();
    // The statistics interface "ST_<name>" (number + kStatIfaceOffset) of every interface up
    // to the logger's: message rates, bus load and error frames.
    void createBuiltinSignals();
    // The bus-load signal of an interface; null for a number without one.
    BitRate* bitRateOf(u32 number) const { return number < bitRates.size() ? bitRates[number] : nullptr; }

    void forEachSignal(const std::function<void(Signal&)>& f) const override;

    // Who writes what. A job runs on the worker thread (on the main thread in text mode,
    // parseNow) and is "the job" below. The GUI thread changes the model, the file list and
    // the input mode only while no job runs (its actions ask isBusy() first), and a job
    // starts only through requestParse, whose worker mutex orders those writes before the
    // job's reads. Plain fields rely on that rule; fields that one thread reads while
    // another may write them are atomic.
    // Two exceptions. The loading threads store a signal's values while the GUI and the
    // painters read them: what Signal::addValue keeps is read only under the signal's
    // sample lock (Signal::readingAt, Signal::viewRange). And a live job runs as long as its
    // connection, while the user goes on choosing signals: what that changes and a job
    // reads (a signal's use count and load flags, a message's counters) is atomic, and the
    // decode order is not sorted while frames are decoded as they come.

    // Input mode: set at start-up on the main thread (options, positional arguments) and
    // by the live-connection dialog; read by the job.
    Glib::ustring title;
    bool kvaserInput = false;
    u32 canChannel = 0;
    std::atomic<bool> networkMode{false};
    Glib::ustring host;
    u32 port = kDefaultLivePort;
    Glib::ustring key;
    Glib::ustring liveFilePath; // the current-connection file, from HOME at construction
    bool csvInput = false;
    bool ascInput = false;
    // What loadCsv found, for the CSV job: per file its delimiter and the line where its
    // rows begin (after the header and units rows); the column signals in column order.
    struct CsvFile {
        Glib::ustring path;
        char delimiter;
        std::size_t firstRow;
    };
    std::vector<CsvFile> csvFiles;
    std::vector<std::shared_ptr<Signal>> csvColumns;
    std::atomic<bool> textMode{false};
    std::atomic<bool> ascOutput{false}; // -o, -m: the job writes the frames as ASC text
    bool dateStamp = false;             // -m
    // Signal names with fewer than two '.' are accepted by findSignal (legacy VSD files).
    // Set while loading, like legacyGps of the StoreHost.
    bool legacyNames = false;
    std::atomic<bool> guiRunning{false}; // the main loop runs: message dialogs may open

    // Job state. `parsing`: a parse (or dump) is requested and not finished; set by
    // requestParse under the worker mutex, cleared by the job's thread when the job ends.
    // `progress` (0 to kProgressDone) is written by the job and by refreshPlotSignals;
    // `liveBlockCount` counts the blocks of the live job. The GUI reads them at any time.
    std::atomic<bool> parsing{false};
    std::atomic<u8> progress{kProgressDone};
    std::atomic<u32> liveBlockCount{0};
    // Some input could not be read whole: a log file that could not be opened or stops at
    // a block that cannot be read, a live stream that could not connect, sent no block or
    // did not end cleanly, a job that ended on an error. Set by the jobs (also by their parser
    // threads) and never cleared: the command-line modes exit with their own status then.
    std::atomic<bool> inputFailed{false};

    // The model: interfaces with their messages and signals, and the bus-load signal of
    // each interface (null entries allowed; each holds itself alive until freeBitRates
    // releases it). Built and cleared on the GUI thread (at start-up on the main thread);
    // read by the job, its parser threads and its decode threads. usedIfaces is rebuilt by
    // the job when it starts and read by its parser threads.
    std::map<u32, std::shared_ptr<CanIface>> interfaces;
    std::map<u32, CanIface*> usedIfaces;
    std::vector<BitRate*> bitRates;
    u32 maxStatIface = 0;
    u32 highestIface = 0; // the highest interface a VSD file gave a DBC file; 0 for a DBC file alone
    // The VSD pass loop, while loading: a signal was made in this pass, a definition failed
    // in this pass, and this is the pass that reports the failures.
    bool vsdPassProgress = false;
    bool vsdPassFailures = false;
    bool vsdFinalPass = false;

    // Signal counters, kept by refreshPlotSignals: by the job at its end, by the GUI thread
    // otherwise; read by the GUI at any time.
    std::atomic<u32> enabledVisibleCount{0};
    std::atomic<u32> enabledCount{0};
    std::atomic<u32> usedCount{0};
    std::atomic<u32> usedNotLoadedCount{0};
    std::atomic<u32> plotCount{0};
    std::atomic<u32> selectedSignalCount{0};

    // The record filter of a native-log job: set by the job before its parser threads
    // start, read by them.
    std::atomic<bool> decodeAll{false};
    std::atomic<u32> ifaceMask{0};

    // Time base of the loaded data: written by the job (reset by clearData between jobs).
    // The first and last time are read by the GUI at any time.
    u64 timeOffset = 0;
    u64 firstFileStart = kNoTime;
    u64 lastFrameTime = 0;
    u64 pendingBase = 0;
    bool takeNextOffsetAsBase = true;
    u64 framesOutOfOrder = 0; // kept by dispatchFrame until reportFramesOutOfOrder
    std::atomic<u64> firstTime{kNoTime};
    std::atomic<u64> lastTime{0};

    // View window lock and rulers: written on the GUI thread; the job reads viewLocked.
    std::atomic<bool> viewLocked{false};
    std::atomic<u64> leftRuler{kNoTime};
    std::atomic<u64> rightRuler{kNoTime};
    u32 timeFractionDigits = 3; // of the times formatTime writes

    // Log files: the list in start-time order, and each file with its start time; the
    // multiCAN flag of their headers. Changed on the GUI thread (at start-up on the main
    // thread), read by the job.
    struct TimedLogFile {
        Glib::ustring path;
        u64 start;
    };
    std::list<Glib::ustring> logFileList;
    std::list<TimedLogFile> timedLogFiles;
    bool multiCanHeader = false;

    // Dump request: requestDump (GUI thread) sets path and interval, then dumpPending, and
    // requests a parse; the job writes the file and clears dumpPending. The job writes the
    // ASC trace (of -o, -m or a dump) to `output`.
    std::atomic<bool> dumpPending{false};
    Glib::ustring dumpPath;
    u64 dumpFrom = 0;
    u64 dumpTo = 0;
    // The whole second of the first written frame, in ms; the trace's lines count from it.
    // Only valid once the header is written: a logger whose clock was never set starts
    // at the epoch, so 0 is a time like any other.
    u64 firstDumpedTime = 0;
    bool ascHeaderWritten = false;
    FILE* output = stdout;
    int outputError = 0; // the error number of the first failed write to `output`
    std::time_t lastAscFlush = 0; // when the ASC trace on standard output was last flushed

    // The live job's connection and buffers, touched by the job's thread alone.
    int liveSocket = -1;
    bool newConnection = false; // the IV of a sealed stream is still to be read
    CryptContext crypt;
    // Decrypted block-stream bytes: room for the largest sealed block on top of the unread
    // tail of a block-stream block that the previous one cut.
    std::vector<u8> plainText;
    i32 plainReadPos = 0;
    i32 plainFill = 0;
    std::vector<u8> cipherText; // one sealed block and its HMAC

    // Emitted from any thread; the connected slots run on the GUI thread.
    Glib::Dispatcher dataChanged;
    Glib::Dispatcher progressChanged;
    Glib::Dispatcher markersChanged;
    Glib::Dispatcher settingsChanged;
    Glib::Dispatcher connectFinished;
    Glib::Dispatcher reloadRequested;

protected:
    // Runs one input job, chosen by the input flags. Tests override it; a subclass that
    // does must call stop() in its own destructor, before its members go.
    virtual void runJob();
    // The frames of the SocketCAN job: the CAN socket of the channel. Null when it cannot
    // be opened (reported). Tests hand in frames of their own.
    virtual std::unique_ptr<CanFrameSource> openCanFrameSource(int channel);
    // A job that shows the busy cursor while it runs takes its mark here; the worker gives it
    // back when the job ends. Live jobs take none: they run as long as the connection.
    void markJobBusy();

    bool dbcIsLoaded = false;
    bool vsdIsLoaded = false;

private:
    // Dispatchers are quiet in the command-line modes: nobody listens there.
    bool quiet() const { return textMode || ascOutput; }
    // The absolute time of a frame's logger timestamp on the running time base.
    u64 advanceTimeBase(u32 timestamp);
    void deliverFrame(const FrameRecord& frame, u64 absTime);
    // At the end of an input job: the data's time range takes in the times the job
    // delivered (first file start to last frame time), and an unlocked view window follows.
    void takeInputTimeRange();
    // The ASC trace of a job: the header comes again before the first frame, and a dump
    // opens its file. False when the dump file cannot be written (reported, and the dump
    // request dropped).
    bool beginAscTrace(bool dump);
    // Closes the dump file, says what came of it and ends the dump request.
    void endDump();
    // Closes the dump file of a job that ends by an exception.
    void abandonDump();
    // The worker's running flag, read under the worker mutex.
    bool isRunning();
    void runJobAtBoundary();

    // The worker: `running` and `requested` under workerMutex.
    std::thread* worker = nullptr;
    std::mutex workerMutex;
    std::condition_variable workerCondition;
    bool running = true;
    bool requested = false;

    // Set by markJobBusy and cleared by the worker after the job (worker thread only).
    bool jobMarkedBusy = false;
    // Busy marks of the job and the plots' renders (beginWork, endWork), under workMutex.
    std::mutex workMutex;
    u8 workCount = 0;

    std::mutex jobMutex; // held by the live job for its whole run
    std::atomic<bool> stopLiveRequested{false};
    // The live job's stream reader, created and destroyed by the job. Other threads only
    // ask it to stop, under this mutex, so that it cannot be freed while they do.
    std::mutex liveStreamMutex;
    StreamCompressor* liveStream = nullptr;
    void requestLiveStreamStop();
    // The live job is to end: stopLiveStream() or stop() was called.
    bool liveStopRequested();
    // The end of the live job, also after an error: the hint when no block came through,
    // the reader released, the time range and view window of what was received.
    void finishNetworkStream(bool firstPass);

    ColorCallback colorCallback;
    TimeOffsetCallback timeOffsetCallback;
};

// True when the path is a regular file that can be opened for reading (a FIFO or a device
// is not: reading it would block or never end).
bool fileReadable(const char* path);

} // namespace vistra
