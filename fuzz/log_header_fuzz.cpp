// Feeds arbitrary bytes to the native-log header reader as the start of a file.
#include "store/log_header.h"

#include <cstddef>
#include <cstdio>

using namespace vistra;

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size)
{
    std::FILE* f = std::tmpfile();
    if (!f)
        return 0;
    if (size > 0 && std::fwrite(data, 1, size, f) != size) {
        std::fclose(f);
        return 0;
    }
    std::rewind(f);
    const LogHeader header = readLogHeader(f);
    // The reader must leave the file right after the 9 bytes that begin line 2.
    if (header.startMs >= 0 && std::ftell(f) < 9)
        __builtin_trap();
    std::fclose(f);
    return 0;
}
