// Writes the signature files of one benchmark shape for sigdiff, and prints
// the line `sigdiff --summary OLD NEW` must print for them: the shapes are
// built so that which records are new is known by construction.
//   identical  NEW is OLD
//   insertion  five new records near the start
//   scattered  eight edits: insertions, overwrites and deletions of 3 to 300 records
//   all-new    every record new
//   reversed   OLD backwards
//   one-chunk  RECORDS copies of one new record
// OLD is RECORDS distinct pseudo-random records.
// Usage: sig_shapes OLD NEW SHAPE RECORDS
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "devtools/splitmix64.h"
#include "records/records.h"

namespace {

struct Record {
  unsigned char bytes[SignatureRecord::kBytes];
};

// Distinct by construction: the counter in the CRCs' high bits.
Record fresh(SplitMix64& random, std::uint64_t serial) {
  SignatureRecord record{};
  record.crc_plus1 = static_cast<std::uint32_t>(random.next());
  record.crc_plain = static_cast<std::uint32_t>(serial);
  record.len = static_cast<std::uint16_t>(100 + random.next() % 900);
  Record out;
  record.encode(out.bytes);
  out.bytes[3] = static_cast<unsigned char>(serial >> 32);  // serials up to 2^40
  return out;
}

bool write_all(const char* path, const std::vector<Record>& records) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = records.empty() || std::fwrite(records.data(), sizeof(Record), records.size(), file) ==
                                              records.size();
  return std::fclose(file) == 0 && written;
}

std::string percent(std::uint64_t part, std::uint64_t whole) {
  const std::uint64_t hundredths = whole == 0 ? 0 : (part * 10000 + whole / 2) / whole;
  char text[40];
  std::snprintf(text, sizeof text, "(%" PRIu64 ".%02u%%)", hundredths / 100, unsigned(hundredths % 100));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: sig_shapes OLD NEW SHAPE RECORDS\n");
    return 2;
  }
  const std::string shape = argv[3];
  const std::uint64_t count = std::strtoull(argv[4], nullptr, 10);
  SplitMix64 random{2026};
  std::uint64_t serial = 1;
  std::vector<Record> old_records, new_records;
  old_records.reserve(count);
  for (std::uint64_t i = 0; i < count; ++i) old_records.push_back(fresh(random, serial++));
  // Records of NEW that are new: fresh ones, each once.
  std::uint64_t new_chunks = 0, new_bytes = 0;
  const auto add_fresh = [&](std::vector<Record>& to) {
    to.push_back(fresh(random, serial++));
    ++new_chunks;
    new_bytes += SignatureRecord::len_of(to.back().bytes);
  };
  if (shape == "identical") {
    new_records = old_records;
  } else if (shape == "insertion") {
    new_records.assign(old_records.begin(), old_records.begin() + static_cast<std::ptrdiff_t>(count / 100));
    for (int i = 0; i < 5; ++i) add_fresh(new_records);
    new_records.insert(new_records.end(), old_records.begin() + static_cast<std::ptrdiff_t>(count / 100),
                       old_records.end());
  } else if (shape == "scattered") {
    const std::uint64_t step = count / 9;
    const int deletions[] = {3, 300, 120, 7, 250, 40, 300, 15};
    std::uint64_t at = 0;
    for (int edit = 0; edit < 8; ++edit) {
      const std::uint64_t to = (edit + 1) * step;
      new_records.insert(new_records.end(), old_records.begin() + static_cast<std::ptrdiff_t>(at),
                         old_records.begin() + static_cast<std::ptrdiff_t>(to));
      for (int i = 0; i < 3 + edit; ++i) add_fresh(new_records);  // inserted, or overwriting
      at = to + static_cast<std::uint64_t>(deletions[edit]);
    }
    new_records.insert(new_records.end(), old_records.begin() + static_cast<std::ptrdiff_t>(at), old_records.end());
  } else if (shape == "all-new") {
    for (std::uint64_t i = 0; i < count; ++i) add_fresh(new_records);
  } else if (shape == "reversed") {
    new_records.assign(old_records.rbegin(), old_records.rend());
  } else if (shape == "one-chunk") {
    add_fresh(new_records);
    new_records.resize(count, new_records.front());
  } else {
    std::fprintf(stderr, "sig_shapes: unknown shape %s\n", shape.c_str());
    return 2;
  }
  if (!write_all(argv[1], old_records) || !write_all(argv[2], new_records)) {
    std::fprintf(stderr, "sig_shapes: cannot write the files\n");
    return 1;
  }
  std::uint64_t bytes = 0;
  for (const Record& record : new_records) bytes += SignatureRecord::len_of(record.bytes);
  std::printf("%zu chunks, %" PRIu64 " new %s; %" PRIu64 " bytes, %" PRIu64 " new %s\n", new_records.size(),
              new_chunks, percent(new_chunks, new_records.size()).c_str(), bytes, new_bytes,
              percent(new_bytes, bytes).c_str());
  return 0;
}
