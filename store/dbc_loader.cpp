// The DBC reader: a small line-oriented reader of the statements that decoding needs
// (BO_, SG_, SIG_VALTYPE_, VAL_, CM_ BO_ and CM_ SG_); every other statement is ignored.
#include "store/store.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/real_message.h"
#include "core/real_signal.h"
#include "core/regular_file.h"
#include "core/report.h"
#include "core/signal.h"

#include <ext/stdio_filebuf.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <istream>
#include <stdexcept>
#include <vector>

namespace vistra {
namespace {

// SIG_VALTYPE_ statements this long are not read (they never are in practice).
constexpr std::size_t kLongLine = 100;
// Above every u32: a number that saturates here matches no identifier.
constexpr u64 kNumberCap = u64{1} << 40;
// Real statements, long value tables and comments included, are a few thousand bytes at
// most. A longer line or comment (a damaged file, a disk image given by mistake) ends the
// load instead of being read into memory.
constexpr std::size_t kMaxStatement = std::size_t{1} << 20;

struct StatementTooLong : std::length_error {
    StatementTooLong() : std::length_error("DBC statement longer than 1 MiB") {}
};

// std::getline with a bound on the line's length.
bool getLine(std::istream& in, std::string& line)
{
    line.clear();
    std::streambuf* buffer = in.rdbuf();
    for (;;) {
        const int c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(line.empty() ? std::ios::eofbit | std::ios::failbit : std::ios::eofbit);
            return !line.empty();
        }
        if (c == '\n')
            return true;
        if (line.size() == kMaxStatement)
            throw StatementTooLong();
        line.push_back(static_cast<char>(c));
    }
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

// Reads the run of digits at `pos` (which must hold a digit) and moves past it. Long runs
// saturate at kNumberCap instead of overflowing.
u64 readDigits(const std::string& s, std::size_t& pos)
{
    u64 v = 0;
    for (; pos < s.size() && isDigit(s[pos]); ++pos)
        if (v < kNumberCap)
            v = v * 10 + u64(s[pos] - '0');
    return v < kNumberCap ? v : kNumberCap;
}

// The next number at or after `pos`, skipping everything that is not a digit; negative
// when the last character skipped is '-'. False when the line has no further digit.
bool nextNumber(const std::string& s, std::size_t& pos, u64& magnitude, bool& negative)
{
    char last = 0;
    while (pos < s.size() && !isDigit(s[pos]))
        last = s[pos++];
    if (pos >= s.size())
        return false;
    negative = last == '-';
    magnitude = readDigits(s, pos);
    return true;
}

// The unit scan of an SG_ line needs at least one character between the quotes: an empty
// unit is rewritten as a quoted 0x01 byte (what follows it, the receivers, is dropped).
std::string markEmptyUnit(const std::string& line)
{
    const std::size_t at = line.find("\"\"");
    if (at == std::string::npos)
        return line;
    return line.substr(0, at) + "\"\x01\"";
}

// Scratch buffer for one %s or %[ conversion: as long as the line, so it cannot overflow.
std::vector<char> fieldBuffer(const std::string& line) { return std::vector<char>(line.size() + 1, '\0'); }

class DbcReader {
public:
    DbcReader(Store& store, std::shared_ptr<CanIface> iface) : store(store), iface(std::move(iface)) {}

    // False when the loop must end (a comment ran into the end of the file).
    bool readLine(std::istream& in, const std::string& line)
    {
        if (readMessage(line))
            return true;
        if (current && !skip && readSignal(line))
            return true;
        if (line.size() < kLongLine && readValueType(line))
            return true;
        if (startsWith(line, "VAL_ ")) {
            readValueTable(line);
            return true;
        }
        if (startsWith(line, "CM_ BO_") || startsWith(line, "CM_ SG_"))
            return store.readDbcComment(in, iface->number, startsWith(line, "CM_ BO_"), line);
        return true;
    }

private:
    bool readMessage(const std::string& line)
    {
        unsigned id = 0;
        std::vector<char> name = fieldBuffer(line);
        if (std::sscanf(line.c_str(), "BO_ %u %[^:]", &id, name.data()) != 2)
            return false;
        if (std::string(name.data()) == "VECTOR__INDEPENDENT_SIG_MSG") {
            skip = true;
            return true;
        }
        // The identifier is the frame's identifier word already (bit 31 marks extended).
        auto msg = RealMessage::create(id, name.data(), iface);
        try {
            iface->addMessage(msg);
        } catch (...) {
            msg->clear(); // its rate signal points back to it: break the cycle
            throw;
        }
        current = msg;
        skip = false;
        return true;
    }

    bool readSignal(const std::string& original)
    {
        const std::string line = markEmptyUnit(original);
        std::vector<char> name = fieldBuffer(line);
        std::vector<char> indicator = fieldBuffer(line);
        std::vector<char> unitText = fieldBuffer(line);
        unsigned startBit = 0, length = 0, byteOrder = 0;
        char sign = 0;
        double factor = 0, offset = 0, min = 0, max = 0;
        bool multiplexed = true;
        if (std::sscanf(line.c_str(), " SG_ %s %s : %u|%u@%u%c (%lf,%lf) [%lf|%lf] \"%[^\"]", name.data(),
                        indicator.data(), &startBit, &length, &byteOrder, &sign, &factor, &offset, &min, &max,
                        unitText.data()) != 11) {
            multiplexed = false;
            if (std::sscanf(line.c_str(), " SG_ %s : %u|%u@%u%c (%lf,%lf) [%lf|%lf] \"%[^\"]", name.data(),
                            &startBit, &length, &byteOrder, &sign, &factor, &offset, &min, &max,
                            unitText.data()) != 10)
                return false;
        }
        const Glib::ustring signalName = name.data();
        const Glib::ustring unit = unitText[0] == '\x01' ? "" : unitText.data();
        const i32 littleEndian = static_cast<i32>(byteOrder);
        if (!RealSignal::fitsPayload(startBit, length, littleEndian)) {
            reportWarning("Signal %s of message %s does not fit in 8 data bytes (start bit %u, length %u), skipped",
                          signalName.c_str(), current->name.c_str(), startBit, length);
            return true;
        }
        if (current->signalsByName.count(signalName.raw())) {
            if (multiplexed)
                fail("Couldn't insert multiplexed signal: %s", signalName.c_str());
            fail("Couldn't insert signal %s", signalName.c_str());
        }
        auto make = [&] {
            return RealSignal::create(current, signalName, startBit, length, littleEndian, static_cast<u8>(sign), unit,
                                      factor, offset, min, max);
        };
        auto signal = make();
        if (multiplexed && indicator[0] == 'M') {
            // The switch is decoded twice: as an ordinary signal, and first of all as the
            // copy that sets the message's multiplexor value for the frame.
            auto mux = make();
            mux->muxValue = RealSignal::kMuxSwitch;
            current->muxSignal = mux;
        } else if (multiplexed && indicator[0] == 'm') {
            // Extended multiplexing ("m3M") counts as its plain value. A bare "m" stands
            // in real files: the signal is kept as a plain one rather than losing the
            // rest of the file.
            if (isDigit(indicator[1])) {
                const long value = std::strtol(indicator.data() + 1, nullptr, 10);
                signal->muxValue = value > INT_MAX ? INT_MAX : static_cast<i32>(value);
            } else {
                reportWarning("Expected number after 'm' in multiplexed signal: %s", signalName.c_str());
            }
        }
        current->addSignal(signalName, signal);
        return true;
    }

    bool readValueType(const std::string& line)
    {
        unsigned id = 0, type = 0;
        std::vector<char> name = fieldBuffer(line);
        if (std::sscanf(line.c_str(), "SIG_VALTYPE_ %u %s : %u;", &id, name.data(), &type) != 3)
            return false;
        if (type != 1)
            fail("Only SIG_VALTYPE_ : 1 (float) is allowed, signal: %s", name.data());
        std::shared_ptr<RealSignal> signal;
        try {
            signal = std::dynamic_pointer_cast<RealSignal>(store.getMessage(id, iface->number)->getSignal(name.data()));
        } catch (const std::invalid_argument&) {
            // No such message: reported below as a signal not found.
        } catch (const SignalNotFoundException&) {
            // Reported below.
        }
        if (!signal) {
            reportInfo("couldn't find signal to set as float %s", name.data());
            return true;
        }
        signal->setFloat();
        return true;
    }

    // VAL_ <message id> <signal> <value> "<text>" <value> "<text>" ... ;
    void readValueTable(const std::string& line)
    {
        std::size_t pos = 0;
        u64 id = 0;
        bool negative = false;
        if (!nextNumber(line, pos, id, negative) || negative || id > UINT32_MAX)
            return;
        while (pos < line.size() && !isSpaceOrTab(line[pos]))
            ++pos;
        if (pos < line.size())
            ++pos;
        const std::size_t nameStart = pos;
        while (pos < line.size() && !isSpaceOrTab(line[pos]))
            ++pos;
        const std::string name = line.substr(nameStart, pos - nameStart);
        std::shared_ptr<Signal> signal;
        try {
            signal = store.getMessage(static_cast<u32>(id), iface->number)->getSignal(name);
        } catch (const std::invalid_argument&) {
            return;
        } catch (const SignalNotFoundException&) {
            return;
        }
        u64 magnitude = 0;
        while (nextNumber(line, pos, magnitude, negative)) {
            const std::size_t open = line.find('"', pos);
            if (open == std::string::npos)
                return;
            std::size_t close = line.find('"', open + 1);
            if (close == std::string::npos)
                close = line.size();
            const i64 value = negative ? -static_cast<i64>(magnitude) : static_cast<i64>(magnitude);
            // A value outside int cannot be a raw value of the table: its pair is skipped.
            if (value >= INT_MIN && value <= INT_MAX)
                signal->valueTable[static_cast<int>(value)] = line.substr(open + 1, close - open - 1);
            pos = close + 1;
        }
    }

    Store& store;
    std::shared_ptr<CanIface> iface;
    std::shared_ptr<RealMessage> current;
    bool skip = false; // inside VECTOR__INDEPENDENT_SIG_MSG, whose signals belong to no frame
};

} // namespace

void Store::loadDbc(const Glib::ustring& path, u32 ifaceNumber, const Glib::ustring& ifaceName,
                    DefinitionFile need)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path.raw(), ec))
        fail("Could not open DBC file %s, path is a directory", path.c_str());
    RegularFile file(path.raw());
    if (file.irregular() || (!file.ok() && need == DefinitionFile::Required))
        fail("Could not open DBC file %s, %s", path.c_str(), file.problem().c_str());
    if (!file.ok()) {
        reportWarning("Could not open DBC file: %s", path.c_str());
        return;
    }
    __gnu_cxx::stdio_filebuf<char> buffer(file.release(), std::ios::in);
    std::istream in(&buffer);
    auto iface = getIface(ifaceNumber);
    if (!iface)
        iface = addIface(ifaceName, ifaceNumber);
    DbcReader reader(*this, iface);
    std::string line;
    try {
        while (getLine(in, line))
            if (!reader.readLine(in, line))
                break;
    } catch (const StatementTooLong&) {
        fail("Could not read DBC file %s, a statement is longer than %zu bytes", path.c_str(), kMaxStatement);
    }
    dbcIsLoaded = true;
}

bool Store::readDbcComment(std::istream& in, u32 ifaceNumber, bool isMessage, std::string line)
{
    std::size_t pos = 0;
    while (pos < line.size() && !isDigit(line[pos]))
        ++pos;
    const u64 id = pos < line.size() ? readDigits(line, pos) : 0;
    if (id > UINT32_MAX)
        return true;
    std::shared_ptr<Message> msg;
    std::shared_ptr<Signal> signal;
    try {
        msg = getMessage(static_cast<u32>(id), ifaceNumber);
        if (!isMessage) {
            while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos])))
                ++pos;
            const std::size_t nameStart = pos;
            while (pos < line.size() && !std::isspace(static_cast<unsigned char>(line[pos])))
                ++pos;
            signal = msg->getSignal(line.substr(nameStart, pos - nameStart));
        }
    } catch (const std::invalid_argument&) {
        return true;
    } catch (const SignalNotFoundException&) {
        return true;
    }
    const std::size_t open = line.find('"', pos);
    if (open == std::string::npos)
        return true;
    std::string text;
    pos = open + 1;
    for (;;) {
        const std::size_t close = line.find('"', pos);
        if (close != std::string::npos) {
            text += line.substr(pos, close - pos);
            break;
        }
        // The comment goes on over the next line, and keeps its line break.
        text += line.substr(pos);
        if (text.size() > kMaxStatement)
            throw StatementTooLong();
        if (!getLine(in, line)) {
            reportWarning("Reached end of DBC file before %s comment ended", isMessage ? "message" : "signal");
            return false;
        }
        text += '\n';
        pos = 0;
    }
    if (isMessage)
        msg->comment = text;
    else
        signal->comment = text;
    return true;
}

} // namespace vistra
