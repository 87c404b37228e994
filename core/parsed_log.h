#pragma once
// The records of one parsed native log file, as the messages' decode threads walk them.
// The log parsers of the store implement it; the model sees only this much of them.
#include "core/frame_record.h"
#include "core/types.h"

#include <atomic>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

namespace vistra {

class ParsedLog {
public:
    virtual ~ParsedLog() = default;
    // Blocks until the records have absolute times (true) or the parse was stopped (false).
    virtual bool waitTimesReady() = 0;

    // Groups the positions of the records by interface and identifier word, so that each
    // decode thread visits only the records of its own message instead of every record.
    // Called by the owner once the records are complete, before their times are ready.
    void indexRecords();
    bool indexed() const { return isIndexed; }
    // Gives back the records and their index, as for a file that kept none.
    void dropRecords();
    // The positions in `records` of the records of one interface and identifier word, in
    // file order; empty when there are none. Valid once indexRecords has run.
    std::span<const u32> positionsOf(u32 iface, u32 idWord) const;

    // The kept records in file order; not changed once their times are ready.
    std::vector<FrameRecord> records;

    // How many decode threads have still to walk the records. Apart from the records, so
    // that a thread may wait on it without keeping them alive.
    struct Walkers {
        std::atomic<u32> left{0};
    };
    const std::shared_ptr<Walkers> walkers = std::make_shared<Walkers>();
    // One more decode thread will walk the records.
    void addWalker() { walkers->left.fetch_add(1); }
    // A decode thread is done with the records, or will not walk them.
    void walked();
    // Blocks until every decode thread is done with the records that `w` counts.
    static void waitWalked(const Walkers& w);

private:
    void buildIndex();
    static u64 key(u32 iface, u32 idWord) { return u64{iface} << 32 | idWord; }

    struct Range {
        u32 begin;
        u32 end;
    };
    // All positions, one group after the other; `groups` says where each group lies.
    std::vector<u32> positions;
    std::unordered_map<u64, Range> groups;
    bool isIndexed = false;
};

} // namespace vistra
