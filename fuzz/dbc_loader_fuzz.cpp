// Feeds arbitrary bytes to the DBC loader as a file. Definitions it refuses end in
// PrintMsgError, which is the expected way out; anything else (a crash, a sanitizer
// report, another exception) is a finding. Run with -close_fd_mask=2 to silence the
// loader's reports.
#include "core/message_log.h"
#include "core/report.h"
#include "store/store.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
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

const std::string& scratchPath()
{
    static const std::string path = [] {
        const int fd = memfd_create("dbc_loader_fuzz", 0);
        if (fd < 0)
            std::abort();
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
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
    FILE* f = std::fopen(scratchPath().c_str(), "w");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    Store& store = fuzzStore();
    try {
        store.loadDbc(scratchPath(), 0, "Can");
        // A second interface exercises the lookups across numbers.
        store.loadDbc(scratchPath(), 3, "Other");
    } catch (const PrintMsgError&) {
        // A refused definition is reported already; refusing it is what the loader should do.
    }
    store.clearData();
    auto& log = MessageLog::instance();
    while (!log.empty())
        log.pop();
    return 0;
}
