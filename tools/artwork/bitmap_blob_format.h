// The bitmap blob that an ELF module file carries in its section
// ".gauge_bitmaps": written by the artwork generator, read by the host.
//
// All integers are little-endian uint32.
//
//   offset 0   magic "GBMP"
//          4   format version (1)
//          8   entry count n
//         12   0 (reserved)
//         16   n index entries of three words: resource id, offset of the
//              bitmap from the start of the blob, its size in bytes
//   then       the bitmaps, each a complete Windows BMP file (file header,
//              info header, palette, pixels), 4-byte aligned
//
// Entries are in ascending id and ids are unique. A reader must treat every
// count, offset and size as untrusted.
#pragma once

#include <cstdint>

namespace gauge_bitmaps {

constexpr char SectionName[] = ".gauge_bitmaps";
constexpr uint8_t Magic[4] = {'G', 'B', 'M', 'P'};
constexpr uint32_t FormatVersion = 1;
constexpr uint32_t HeaderSize = 16;
constexpr uint32_t EntrySize = 12;

} // namespace gauge_bitmaps
