#pragma once
// How the heap holds the memory of a load. A load allocates a few large buffers (the
// records of each file, the samples of each signal) on many threads at once and frees
// most of the records again before it ends.

namespace vistra {

// Gives every large buffer a mapping of its own from now on, so that freeing it returns
// its memory to the system at once and the unused tail of a grown sample vector is never
// made resident. Without this the heap raises its threshold to the largest buffer freed
// so far, and later buffers land in per-thread arenas that keep their memory. Once per
// process; later calls do nothing.
void mapLargeBuffersApart();

// Returns the free memory that the heap still holds, in every arena, to the system.
void releaseFreeHeapMemory();

} // namespace vistra
