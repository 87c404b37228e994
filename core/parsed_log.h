#pragma once
// The records of one parsed native log file, as the messages' decode threads walk them.
// The log parsers of the store implement it; the model sees only this much of them.
#include "core/frame_record.h"

#include <vector>

namespace vistra {

class ParsedLog {
public:
    virtual ~ParsedLog() = default;
    // Blocks until the records have absolute times (true) or the parse was stopped (false).
    virtual bool waitTimesReady() = 0;

    // The kept records in file order; not changed once their times are ready.
    std::vector<FrameRecord> records;
};

} // namespace vistra
