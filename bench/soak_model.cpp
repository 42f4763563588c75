// soak_model DIR [GIB]: writes a soak run's inputs into DIR (base, data,
// segments) and what chunksig must print and write for them (expected.console,
// expected.signatures), from a model that shares no code with chunksig: a
// plain table CRC-32 recomputed over the 12-byte window at every byte.
//
// The stream runs to GIB GiB (default 8) in thousands of segments, with gaps,
// stale and overlapping records, a jump of more than 4 GiB, and a data file of
// 16 MiB, so that nearly all of the stream lies beyond the data's end.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "devtools/splitmix64.h"

namespace {

std::uint32_t crc_table[256];

void make_crc_table() {
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320 ^ (c >> 1) : c >> 1;
    crc_table[i] = c;
  }
}

// Running standard CRC-32: start at 0xFFFFFFFF, finish with ~.
inline std::uint32_t crc_step(std::uint32_t c, std::uint8_t b) { return crc_table[(c ^ b) & 0xFF] ^ (c >> 8); }

std::FILE* open_or_die(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::perror(path.c_str());
    std::exit(2);
  }
  return f;
}

void put_le(std::FILE* f, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) std::fputc(static_cast<int>(value >> (8 * i) & 0xFF), f);
}

// The chunk being built: its last 12 bytes and its two running CRCs.
struct Chunk {
  std::uint8_t window[12] = {};
  std::uint64_t length = 0;
  std::uint32_t plain = 0xFFFFFFFF, plus1 = 0xFFFFFFFF;

  void add(std::uint8_t b) {
    std::memmove(window, window + 1, 11);
    window[11] = b;
    plain = crc_step(plain, b);
    plus1 = crc_step(plus1, static_cast<std::uint8_t>(b + 1));
    ++length;
  }
  std::uint32_t window_crc() const {
    std::uint32_t c = 0xFFFFFFFF;
    for (std::uint8_t b : window) c = crc_step(c, b);
    return ~c;
  }
  void emit(std::FILE* out) {
    put_le(out, ~plus1, 4);
    put_le(out, ~plain, 4);
    put_le(out, length, 2);
    *this = Chunk();
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: soak_model DIR [GIB]\n", stderr);
    return 2;
  }
  const std::string dir = argv[1];
  const std::uint64_t stream_end = (argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 8) << 30;
  make_crc_table();
  SplitMix64 random{42};

  const std::uint64_t fptr = 123457;
  std::fclose(open_or_die(dir + "/base"));
  if (::truncate((dir + "/base").c_str(), static_cast<off_t>(fptr)) != 0) {  // sparse
    std::perror("base");
    return 2;
  }

  std::vector<std::uint8_t> data(16u << 20);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(random.next() >> 56);
  for (std::size_t at = 1 << 20; at + 200000 < data.size(); at += 3 << 20) std::memset(&data[at], 0, 200000);
  std::FILE* data_file = open_or_die(dir + "/data");
  std::fwrite(data.data(), 1, data.size(), data_file);
  std::fclose(data_file);

  // Segments: mostly 64 KiB to 2 MiB with gaps; now and then a stale or
  // overlapping record; once, a jump of 4 GiB + 1 MiB.
  std::vector<std::pair<std::uint32_t, std::uint64_t>> segments;
  segments.push_back({1000, 5});  // wholly below the start
  bool jumped = false;
  for (std::uint64_t ofs = fptr - 5000; ofs < stream_end;) {
    const std::uint32_t len = static_cast<std::uint32_t>((64u << 10) + random.next() % (2u << 20));
    segments.push_back({len, ofs});
    const std::uint64_t roll = random.next() % 100;
    if (roll < 3) segments.push_back({len / 2, ofs});             // stale
    if (roll >= 3 && roll < 6) segments.push_back({len, ofs + len / 2});  // overlapping
    ofs += len + random.next() % (64u << 10);
    if (!jumped && ofs > stream_end / 4) {
      ofs += (4ULL << 30) + (1 << 20);
      jumped = true;
    }
  }
  std::FILE* segment_file = open_or_die(dir + "/segments");
  for (const auto& s : segments) {
    put_le(segment_file, s.first, 4);
    put_le(segment_file, s.second, 6);
  }
  std::fputs("tail", segment_file);  // a partial last record
  std::fclose(segment_file);

  std::FILE* console = open_or_die(dir + "/expected.console");
  std::FILE* signatures = open_or_die(dir + "/expected.signatures");
  std::fprintf(console, "fptr=%" PRIu64 "\n", fptr);
  std::uint64_t pos = fptr, taken = 0;
  for (const auto& s : segments) {
    const std::uint64_t end = s.second + s.first;
    if (end <= pos) continue;
    const std::uint64_t count = end - pos;
    pos = end;
    std::fprintf(console, "%08X %08X %08X %08X %08X !!!\n", unsigned(end), unsigned(taken + count),
                 unsigned(s.first), unsigned(s.second), unsigned(end));
    Chunk chunk;
    for (std::uint64_t i = 0; i < count; ++i, ++taken) {
      chunk.add(taken < data.size() ? data[taken] : 0xFF);
      if (chunk.length >= 100 && (chunk.window_crc() < 0x01A16D3F || chunk.length >= 65535)) chunk.emit(signatures);
    }
    if (chunk.length != 0) chunk.emit(signatures);
  }
  std::fclose(console);
  return std::fclose(signatures) == 0 ? 0 : 2;
}
