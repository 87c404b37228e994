#include "core/parsed_log.h"

#include <condition_variable>
#include <limits>
#include <mutex>
#include <new>

namespace vistra {
namespace {

// One wake-up for all walks: it is needed only when a file's last walker is done.
std::mutex walkedMutex;
std::condition_variable walkedCondition;

} // namespace

void ParsedLog::walked()
{
    if (walkers->left.fetch_sub(1) != 1)
        return;
    // Taken so that a waiter between its check and its wait is not missed.
    { std::lock_guard lock(walkedMutex); }
    walkedCondition.notify_all();
}

void ParsedLog::waitWalked(const Walkers& w)
{
    std::unique_lock lock(walkedMutex);
    walkedCondition.wait(lock, [&] { return w.left.load() == 0; });
}

void ParsedLog::indexRecords()
{
    try {
        buildIndex();
    } catch (const std::bad_alloc&) {
        // Without memory for the index the records are walked whole, as without one.
        positions = {};
        groups = {};
        isIndexed = false;
    }
}

void ParsedLog::buildIndex()
{
    positions.clear();
    groups.clear();
    const std::size_t n = records.size();
    // Positions are 32 bits wide; a file with more records stays unindexed and is walked
    // whole.
    isIndexed = n <= std::numeric_limits<u32>::max();
    if (n == 0 || !isIndexed)
        return;
    // A counting sort: number the groups in order of first appearance and count their
    // records, then place each position after those of the groups before it. Each group
    // keeps file order.
    std::vector<u32> groupOf(n);
    std::vector<u32> counts;
    std::unordered_map<u64, u32> numbers;
    u64 lastKey = 0;
    u32 lastGroup = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const u64 k = key(records[i].iface, records[i].idWord);
        if (i == 0 || k != lastKey) {
            auto [it, added] = numbers.try_emplace(k, static_cast<u32>(counts.size()));
            if (added)
                counts.push_back(0);
            lastKey = k;
            lastGroup = it->second;
        }
        groupOf[i] = lastGroup;
        counts[lastGroup] += 1;
    }
    std::vector<u32> next(counts.size());
    u32 begin = 0;
    for (std::size_t g = 0; g < counts.size(); ++g) {
        next[g] = begin;
        begin += counts[g];
    }
    groups.reserve(numbers.size());
    for (const auto& [k, g] : numbers)
        groups.emplace(k, Range{next[g], next[g] + counts[g]});
    positions.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        positions[next[groupOf[i]]++] = static_cast<u32>(i);
}

void ParsedLog::dropRecords()
{
    std::vector<FrameRecord>().swap(records);
    std::vector<u32>().swap(positions);
    groups.clear();
    isIndexed = false;
}

std::span<const u32> ParsedLog::positionsOf(u32 iface, u32 idWord) const
{
    auto it = groups.find(key(iface, idWord));
    if (it == groups.end())
        return {};
    return std::span<const u32>(positions).subspan(it->second.begin, it->second.end - it->second.begin);
}

} // namespace vistra
