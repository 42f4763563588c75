// samplegen: writes sample inputs for chunksig and idxdump, so that the tools
// can be tried, tested and measured on data of any size without writing binary
// files by hand. Output is deterministic for given arguments.
//
//   samplegen example DIR
//       the documented example: DIR/base (empty), DIR/data (bytes 00..FF four
//       times), DIR/segments (one segment of 600 bytes at 0), DIR/index (3 entries)
//   samplegen stream DIR SIZE [SEGMENT [KIND [SEED]]]
//       DIR/base (empty), DIR/data (SIZE bytes of KIND: random, text or zeros;
//       default random) and DIR/segments (segments of SEGMENT bytes covering
//       the stream; default one segment for all of it)
//   samplegen index FILE ENTRIES [SEED]
//       FILE with ENTRIES pseudo-random 40-byte index entries
//
// DIR is created when missing. Sizes take an optional K, M or G suffix (powers
// of 1024).
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "devtools/splitmix64.h"
#include "records/records.h"

namespace {

int usage() {
  std::fputs(
      "usage: samplegen example DIR\n"
      "       samplegen stream DIR SIZE [SEGMENT [random|text|zeros [SEED]]]\n"
      "       samplegen index FILE ENTRIES [SEED]\n",
      stderr);
  return 2;
}

bool parse_size(const char* text, std::uint64_t& value) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long number = std::strtoull(text, &end, 10);
  if (end == text || errno != 0 || text[0] == '-') return false;
  unsigned shift = 0;
  if (*end == 'K' || *end == 'k') shift = 10;
  if (*end == 'M' || *end == 'm') shift = 20;
  if (*end == 'G' || *end == 'g') shift = 30;
  if (shift != 0) ++end;
  if (*end != '\0' || (shift != 0 && number > (~0ULL >> shift))) return false;
  value = number << shift;
  return true;
}

// Writes whole files, reporting the first failure by name.
class Output {
 public:
  explicit Output(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {}
  ~Output() {
    if (file_ != nullptr) std::fclose(file_);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  void put(const void* bytes, std::size_t size) {
    if (file_ != nullptr && std::fwrite(bytes, 1, size, file_) != size) failed_ = true;
  }
  bool finish() {
    const bool ok = file_ != nullptr && !failed_ && std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok) std::fprintf(stderr, "samplegen: cannot write %s: %s\n", path_.c_str(), std::strerror(errno));
    return ok;
  }

 private:
  std::string path_;
  std::FILE* file_;
  bool failed_ = false;
};

// Closes all three, each reporting its own failure.
bool finish_all(Output& base, Output& data, Output& segments) {
  const bool base_done = base.finish();
  const bool data_done = data.finish();
  const bool segments_done = segments.finish();
  return base_done && data_done && segments_done;
}

void put_segment(Output& out, std::uint32_t len, std::uint64_t ofs) {
  unsigned char bytes[SegmentRecord::kBytes];
  SegmentRecord{len, ofs}.encode(bytes);
  out.put(bytes, sizeof bytes);
}

bool write_index(const std::string& path, std::uint64_t entries, std::uint64_t seed) {
  Output out(path);
  SplitMix64 random{seed};
  for (std::uint64_t i = 0; i < entries; ++i) {
    const std::uint64_t size = random.next() >> 40;  // mostly below 16 MiB
    IndexEntry entry{};
    entry.size_lo = static_cast<std::uint32_t>(size);
    entry.size_hi = static_cast<std::uint8_t>(size >> 32);
    entry.level = static_cast<std::uint8_t>(i % 4);
    entry.attr = static_cast<std::uint16_t>(random.next() & 0x37);
    entry.t_cr = 0x01D9000000000000ULL + i * 10000000;
    entry.t_2 = entry.t_cr + (random.next() >> 40);
    entry.crc0 = static_cast<std::uint32_t>(random.next());
    entry.crc1 = static_cast<std::uint32_t>(random.next());
    entry.sofs = static_cast<std::uint32_t>(i * 4096);
    entry.slen = static_cast<std::uint32_t>(size);
    unsigned char bytes[IndexEntry::kBytes];
    entry.encode(bytes);
    out.put(bytes, sizeof bytes);
  }
  return out.finish();
}

// Creates DIR, and the folders above it, when missing.
void make_folder(const std::string& dir) {
  std::error_code ignored;  // a failure shows when the files are written
  std::filesystem::create_directories(dir, ignored);
}

bool write_stream(const std::string& dir, std::uint64_t size, std::uint64_t segment_size,
                  const std::string& kind, std::uint64_t seed) {
  make_folder(dir);
  Output base(dir + "/base");
  Output data(dir + "/data");
  Output segments(dir + "/segments");
  SplitMix64 random{seed};
  static const char* const kWords[] = {"the ", "chunk ", "of ", "data ", "and ", "a ", "stream\n", "signature "};
  unsigned char block[1 << 16];
  for (std::uint64_t done = 0; done < size;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof block, size - done));
    if (kind == "zeros") {
      std::memset(block, 0, n);
    } else if (kind == "text") {
      for (std::size_t i = 0; i < n;) {
        const char* word = kWords[random.next() % 8];
        for (; *word != '\0' && i < n; ++word) block[i++] = static_cast<unsigned char>(*word);
      }
    } else {
      for (std::size_t i = 0; i < n; ++i) block[i] = static_cast<unsigned char>(random.next() >> 56);
    }
    data.put(block, n);
    done += n;
  }
  for (std::uint64_t ofs = 0; ofs < size; ofs += segment_size) {
    put_segment(segments, static_cast<std::uint32_t>(std::min(segment_size, size - ofs)), ofs);
  }
  return finish_all(base, data, segments);
}

bool write_example(const std::string& dir) {
  make_folder(dir);
  Output base(dir + "/base");
  Output data(dir + "/data");
  Output segments(dir + "/segments");
  for (int round = 0; round < 4; ++round) {
    for (int byte = 0; byte < 256; ++byte) {
      const unsigned char value = static_cast<unsigned char>(byte);
      data.put(&value, 1);
    }
  }
  put_segment(segments, 600, 0);
  return finish_all(base, data, segments) && write_index(dir + "/index", 3, 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string command = argv[1];
  std::uint64_t size = 0, segment_size = 0, seed = 1;
  if (command == "example" && argc == 3) return write_example(argv[2]) ? 0 : 1;
  if (command == "index" && (argc == 4 || argc == 5)) {
    if (!parse_size(argv[3], size) || (argc == 5 && !parse_size(argv[4], seed))) return usage();
    return write_index(argv[2], size, seed) ? 0 : 1;
  }
  if (command == "stream" && argc >= 4 && argc <= 7) {
    const std::string kind = argc > 5 ? argv[5] : "random";
    if (!parse_size(argv[3], size) || (argc > 4 && !parse_size(argv[4], segment_size)) ||
        (argc > 6 && !parse_size(argv[6], seed)) ||
        (kind != "random" && kind != "text" && kind != "zeros")) {
      return usage();
    }
    // A segment's length is a 32-bit field; by default one segment covers it all.
    if (argc == 4) segment_size = std::min<std::uint64_t>(std::max<std::uint64_t>(size, 1), 0xFFFFFFFF);
    if (segment_size == 0 || segment_size > 0xFFFFFFFF) return usage();
    return write_stream(argv[2], size, segment_size, kind, seed) ? 0 : 1;
  }
  return usage();
}
