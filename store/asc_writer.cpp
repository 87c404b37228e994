// Stand-in for the ASC trace writer until the real one is merged: it keeps the contract
// the native-log job relies on (interval filter, first dumped time) and writes a bare line.
#include "core/frame_record.h"
#include "store/store.h"

namespace vistra {

void Store::writeAscFrame(const FrameRecord& frame, const u64* absTime)
{
    if ((frame.idWord & kErrorFrameFlag) != 0 || frame.iface >= 255)
        return;
    const u64 abs = *absTime;
    if (dumpPending && (abs < dumpFrom || abs > dumpTo))
        return;
    if (firstDumpedTime == 0)
        firstDumpedTime = abs / 1000 * 1000;
    std::fprintf(output, "%llu %u %X %u\n", static_cast<unsigned long long>(abs), frame.iface + 1u,
                 frame.idWord & kIdMask, frame.dataLength() + 0u);
}

} // namespace vistra
