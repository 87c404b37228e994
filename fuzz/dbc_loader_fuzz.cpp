// Feeds arbitrary bytes to the DBC loader as a file. Definitions it refuses end in
// PrintMsgError, which is the expected way out; anything else (a crash, a sanitizer
// report, another exception) is a finding. Run with -close_fd_mask=2 to silence the
// loader's reports.
#include "core/message_log.h"
#include "core/report.h"
#include "fuzz/scratch_file.h"
#include "store/store.h"

#include <cstddef>
#include <cstdlib>
#include <string>

using namespace vistra;

namespace {

Store& fuzzStore()
{
    static Store* store = [] {
        auto* s = new Store;
        s->textMode = true;
        return s;
    }();
    return *store;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The store reads and writes its settings under HOME: keep them out of the user's.
    static char home[] = "/tmp/dbc_loader_fuzz_XXXXXX";
    if (!mkdtemp(home))
        std::abort();
    setenv("HOME", home, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size)
{
    const std::string& path = fuzz::writeScratch(data, size);
    Store& store = fuzzStore();
    try {
        store.loadDbc(path, 0, "Can");
        // A second interface exercises the lookups across numbers.
        store.loadDbc(path, 3, "Other");
    } catch (const PrintMsgError&) {
        // A refused definition is reported already; refusing it is what the loader should do.
    }
    store.clearData();
    auto& log = MessageLog::instance();
    while (!log.empty())
        log.pop();
    return 0;
}
