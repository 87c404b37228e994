#pragma once
// Small helpers shared by the model tests.
#include "core/message_log.h"
#include "core/store_host.h"

#include <string>
#include <vector>

namespace vistra::test {

// Empties the MessageLog and returns the texts it held, oldest first.
inline std::vector<std::string> drainLog()
{
    std::vector<std::string> texts;
    auto& log = MessageLog::instance();
    while (!log.empty())
        texts.push_back(log.pop().text.raw());
    return texts;
}

// Puts the fields of the default StoreHost back when a test ends.
struct StoreHostReset {
    ~StoreHostReset()
    {
        StoreHost& host = storeHost();
        host.live = false;
        host.liveDecode = false;
        host.plotSignals.clear();
    }
};

} // namespace vistra::test
