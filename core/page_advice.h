#pragma once
// Advice to the kernel about the pages of a large buffer that is about to be filled. Each
// first touch of a page is a page fault, and a load touches hundreds of thousands of
// pages; on some machines (virtual ones above all) a fault costs tens of microseconds.
#include <cstddef>

namespace vistra {

// Backs the whole 2 MiB stretches of the buffer at `data` of `bytes` with huge pages, so
// that one fault fills 2 MiB. For buffers that are filled from the front on, like a
// file's records: at most the stretch being filled is resident ahead of the data.
void adviseHugePages(const void* data, std::size_t bytes);

// Makes the pages at `data` of `bytes` resident in one call, ahead of writing them,
// instead of one fault per page. Only for memory that is about to be written.
void populatePages(const void* data, std::size_t bytes);

} // namespace vistra
