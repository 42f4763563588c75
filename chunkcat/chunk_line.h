// One line of a chunk list, as sigdump and sigdiff print it:
//   OFFSET LENGTH CRC_PLUS1 CRC_PLAIN
// OFFSET and LENGTH in decimal, the CRCs as 8 hexadecimal digits (either
// case), separated by spaces or tabs; a CR before the line's end is a blank.
#ifndef CHUNKCAT_CHUNK_LINE_H
#define CHUNKCAT_CHUNK_LINE_H

#include <cstddef>
#include <cstdint>

struct ChunkLine {
  std::uint64_t offset;
  std::uint32_t length;  // 1 to 65535
  std::uint32_t crc_plus1;
  std::uint32_t crc_plain;
};

// Parses the `size` bytes at `text` (a line without its newline) into *line;
// null when they are a chunk line, else why not (a reason's text).
const char* parse_chunk_line(const char* text, std::size_t size, ChunkLine* line);

// The form sigdump prints, "OFFSET LENGTH CRC_PLUS1 CRC_PLAIN\n" with one
// space between fields, taken in one pass that finds the newline on the way:
// the bytes of the line through its newline when the `available` bytes at
// `text` start with such a line, which is then in *line as parse_chunk_line
// would give it; 0 for any other text, which parse_chunk_line then judges.
constexpr std::size_t kLongestPlainChunkLine = 19 + 1 + 5 + 1 + 8 + 1 + 8 + 1;
std::size_t parse_plain_chunk_line(const char* text, std::size_t available, ChunkLine* line);

#endif  // CHUNKCAT_CHUNK_LINE_H
