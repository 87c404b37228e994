// CSV input: tables of values already decoded, one column per signal, the first column
// the time in seconds. The columns become signals of the message "All" on the interface
// "CSV".
#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/parse_number.h"
#include "core/regular_file.h"
#include "core/report.h"
#include "core/signal.h"
#include "store/input_time.h"
#include "store/store.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace vistra {
namespace {

constexpr std::size_t kProbeLines = 5;
// Row times are u64 ms; the all-ones value marks "no time".
constexpr double kRowTimeLimitMs = 18446744073709551615.0;

using FileCloser = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

FileCloser openText(const Glib::ustring& path) { return {RegularFile(path.raw()).openStream(), std::fclose}; }

// The next line of `f` without its line end ("\n" or "\r\n"); false at the end of the file.
bool readLine(std::FILE* f, std::string& line)
{
    line.clear();
    int c = 0;
    while ((c = getc_unlocked(f)) != EOF && c != '\n')
        line += static_cast<char>(c);
    if (c == EOF && line.empty())
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

std::vector<std::string> split(const std::string& line, char delimiter)
{
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (;;) {
        const std::size_t to = line.find(delimiter, from);
        fields.push_back(line.substr(from, to == std::string::npos ? std::string::npos : to - from));
        if (to == std::string::npos)
            return fields;
        from = to + 1;
    }
}

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool beginsWithNumber(const std::string& line)
{
    const char* end = line.c_str();
    parseNumber(line.c_str(), &end);
    return end != line.c_str();
}

// The start of a field's text: the blanks before it skipped, but never the delimiter
// (parseNumber would skip a tab and read the next field's number instead).
const char* fieldText(const char* p, char delimiter)
{
    while ((*p == ' ' || *p == '\t') && *p != delimiter)
        ++p;
    return p;
}

} // namespace

void Store::loadCsv()
{
    csvFiles.clear();
    csvColumns.clear();
    if (logFileList.empty())
        fail("No CSV files given ...");

    std::vector<std::string> header;
    std::vector<std::string> units;
    for (const Glib::ustring& path : logFileList) {
        const FileCloser f = openText(path);
        if (!f)
            fail("Couldn't open file: %s", path.c_str());
        std::vector<std::string> lines(kProbeLines);
        for (std::string& line : lines)
            if (!readLine(f.get(), line))
                fail("Couldn't read first 5 line of file %s", path.c_str());

        // The fifth line is a row of data: it shows the delimiter, and the header row is
        // the first line with as many of them.
        const std::string& probe = lines.back();
        char delimiter = 0;
        for (char candidate : {'\t', ';', ','})
            if (probe.find(candidate) != std::string::npos) {
                delimiter = candidate;
                break;
            }
        if (!delimiter)
            fail("Expected CSV column delimiter to be one of \t/;/,");
        reportInfo("CSV delimiter is: '%c'", delimiter);
        auto count = [delimiter](const std::string& line) { return std::count(line.begin(), line.end(), delimiter); };
        std::size_t headerRow = 0;
        while (count(lines[headerRow]) != count(probe))
            ++headerRow;
        if (headerRow + 1 == kProbeLines)
            fail("Out of lines");
        std::size_t firstRow = headerRow + 1;
        const bool unitsRow = !beginsWithNumber(lines[firstRow]);
        if (unitsRow)
            firstRow += 1;
        else
            reportInfo("No second row with units found");
        if (csvFiles.empty()) {
            header = split(lines[headerRow], delimiter);
            if (unitsRow)
                units = split(lines[headerRow + 1], delimiter);
        }
        csvFiles.push_back({path, delimiter, firstRow});
    }

    auto iface = getIface(kCsvIface);
    if (!iface)
        iface = addIface("CSV", kCsvIface);
    auto all = std::make_shared<Message>(0, "All", iface);
    iface->addMessage(all);
    // The first column is the time.
    for (std::size_t i = 1; i < header.size(); ++i) {
        // "Speed (km/h)": the name, and the unit in parentheses.
        const std::string field = trimmed(header[i]);
        const std::size_t open = field.find('(');
        auto signal = std::make_shared<Signal>(all, trimmed(field.substr(0, open)));
        if (open != std::string::npos)
            signal->unit = field.substr(open + 1, field.find(')', open) - open - 1);
        if (i < units.size() && !trimmed(units[i]).empty())
            signal->unit = trimmed(units[i]);
        all->addSignal(signal->name, signal);
        csvColumns.push_back(std::move(signal));
    }
}

void Store::readCsvRows()
{
    if (!getIface(kCsvIface)) {
        reportError("No CSV interface created");
        return;
    }
    // Each job reads the files anew.
    for (const auto& column : csvColumns)
        column->clear();
    firstFileStart = kNoTime;
    lastFrameTime = 0;

    u64 base = 0;
    bool first = true;
    std::size_t done = 0;
    std::string row;
    for (const CsvFile& file : csvFiles) {
        progress = static_cast<u8>(static_cast<int>(double(kProgressDone) * done++ / csvFiles.size()));
        emitProgressChanged();
        const FileCloser f = openText(file.path);
        if (!f) {
            reportWarning("Couldn't open file %s\n", file.path.c_str());
            continue;
        }
        for (std::size_t skip = 0; skip < file.firstRow && readLine(f.get(), row); ++skip) {
        }
        // A comma cannot be a decimal separator where it separates the columns.
        const char delimiter = file.delimiter == ',' ? '\t' : file.delimiter;
        while (readLine(f.get(), row)) {
            if (file.delimiter == ',')
                std::replace(row.begin(), row.end(), ',', '\t');
            const char* start = fieldText(row.c_str(), delimiter);
            const char* p = start;
            const double seconds = parseNumber(start, &p);
            u64 t = 0;
            if (p == start) {
                reportInfo("no time, skip row: %s", row.c_str());
                continue;
            }
            if (row.find(delimiter) == std::string::npos)
                continue;
            if (!secondsToMs(seconds, kRowTimeLimitMs, &t) || t >= kNoTime - base) {
                reportInfo("no time, skip row: %s", row.c_str());
                continue;
            }
            // Times never go back: a row before the previous one is put at the previous
            // time, and the rows after it follow on from there.
            u64 rowTime = base + t;
            if (!first && rowTime < lastFrameTime) {
                base = lastFrameTime - t;
                rowTime = lastFrameTime;
            }
            first = false;
            firstFileStart = std::min(firstFileStart, rowTime);
            lastFrameTime = rowTime;

            for (const auto& column : csvColumns) {
                p = std::strchr(p, delimiter);
                if (!p) {
                    reportWarning("bad row, skip: %s", row.c_str()); // fewer fields than columns
                    break;
                }
                const char* text = fieldText(++p, delimiter);
                if (*text == delimiter || *text == '\0')
                    continue; // an empty field: no value at this time
                const char* end = text;
                const double value = parseNumber(text, &end);
                if (end == text) {
                    reportWarning("bad row, skip: %s", p);
                    break;
                }
                column->addValue(rowTime, value);
                p = end;
            }
        }
    }

    progress = kProgressDone;
    emitProgressChanged();
    takeInputTimeRange();
    if (auto iface = getIface(kCsvIface))
        for (auto& entry : iface->messages)
            entry.second->endOfLoad();
    refreshPlotSignals();
    emitDataChanged();
}

} // namespace vistra
