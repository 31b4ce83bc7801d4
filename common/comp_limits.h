// What vantrel-comp reads and builds unless told otherwise.  vantrel-dump
// --source writes sources for it, so both take these from here.
#pragma once

#include <cstdint>

// The compiler's line buffer.  A line is read with fgets and a count of one
// less, so one read holds COMP_LINE_MAX characters; a longer line comes in
// pieces.
inline constexpr uint32_t COMP_LINE_BUFFER = 4096;
inline constexpr uint32_t COMP_LINE_MAX = COMP_LINE_BUFFER - 2;

// The blob size without -s, and the tag alignment without -a.
inline constexpr uint32_t COMP_DEFAULT_BLOB_SIZE = 65536;
inline constexpr uint32_t COMP_DEFAULT_ALIGNMENT = 8;
