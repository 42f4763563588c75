#include "tests/reference_model.h"

#include <cinttypes>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

std::string le_bytes(std::uint64_t value, int width) {
  std::string out;
  for (int i = 0; i < width; ++i) out += static_cast<char>(value >> (8 * i));
  return out;
}

std::uint64_t le_value(const std::string& bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

std::uint32_t reference_crc32(const void* bytes, std::size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= p[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

std::string signature_record(std::uint32_t crc_plus1, std::uint32_t crc_plain, std::uint16_t len) {
  return le_bytes(crc_plus1, 4) + le_bytes(crc_plain, 4) + le_bytes(len, 2);
}

std::string reference_signature(const std::string& chunk) {
  std::string plus1 = chunk;
  for (char& c : plus1) c = static_cast<char>(static_cast<unsigned char>(c) + 1);
  return signature_record(reference_crc32(plus1.data(), plus1.size()), reference_crc32(chunk.data(), chunk.size()),
                          static_cast<std::uint16_t>(chunk.size()));
}

std::string segment(std::uint32_t len, std::uint64_t ofs) {
  return le_bytes(len, 4) + le_bytes(ofs, 6);
}

ChunksigOutput reference_chunksig(std::uint64_t fptr, const std::string& data,
                                  const std::string& segments) {
  ChunksigOutput out;
  char line[80];
  std::snprintf(line, sizeof line, "fptr=%" PRId64 "\n", static_cast<std::int64_t>(fptr));
  out.console = line;
  std::uint64_t pos = fptr;
  std::uint64_t taken = 0;  // data bytes consumed; past the data's end, 0xFF
  for (std::size_t at = 0; at + 10 <= segments.size(); at += 10) {
    const std::uint64_t len = le_value(segments, at, 4);
    const std::uint64_t ofs = le_value(segments, at + 4, 6);
    const std::uint64_t end = ofs + len;
    if (end <= pos) continue;
    const std::uint64_t count = end - pos;
    pos = end;
    std::snprintf(line, sizeof line, "%08X %08X %08X %08X %08X !!!\n", unsigned(end),
                  unsigned(taken + count), unsigned(len), unsigned(ofs), unsigned(end));
    out.console += line;
    std::string chunk;
    for (std::uint64_t i = 0; i < count; ++i, ++taken) {
      chunk += taken < data.size() ? data[taken] : '\xFF';
      std::string window(12, '\0');
      for (std::size_t k = 0; k < 12 && k < chunk.size(); ++k) window[11 - k] = chunk[chunk.size() - 1 - k];
      const std::uint32_t roll = reference_crc32(window.data(), 12);
      if (chunk.size() >= 100 && (roll < 0x01A16D3F || chunk.size() >= 65535)) {
        out.signatures += reference_signature(chunk);
        chunk.clear();
      }
    }
    if (!chunk.empty()) out.signatures += reference_signature(chunk);
  }
  return out;
}

std::string cycling_bytes(std::size_t size) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(i);
  return out;
}

std::string random_bytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(rng());
  return out;
}

namespace {

std::string percent(std::uint64_t part, std::uint64_t whole) {
  const std::uint64_t hundredths = whole == 0 ? 0 : (part * 10000 + whole / 2) / whole;
  std::string fraction = std::to_string(hundredths % 100);
  if (fraction.size() == 1) fraction = "0" + fraction;
  return "(" + std::to_string(hundredths / 100) + "." + fraction + "%)";
}

std::string hex8(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

}  // namespace

SigdiffOutput reference_sigdiff(const std::string& old_file, const std::string& new_file) {
  std::set<std::string> held;
  for (std::size_t at = 0; at + 10 <= old_file.size(); at += 10) held.insert(old_file.substr(at, 10));
  SigdiffOutput out;
  std::uint64_t offset = 0, chunks = 0, new_chunks = 0, new_bytes = 0;
  for (std::size_t at = 0; at + 10 <= new_file.size(); at += 10) {
    const std::string record = new_file.substr(at, 10);
    const std::uint64_t len = le_value(record, 8, 2);
    if (held.insert(record).second) {
      out.lines += std::to_string(offset) + " " + std::to_string(len) + " " +
                   hex8(static_cast<std::uint32_t>(le_value(record, 0, 4))) + " " +
                   hex8(static_cast<std::uint32_t>(le_value(record, 4, 4))) + "\n";
      ++new_chunks;
      new_bytes += len;
    }
    ++chunks;
    offset += len;
  }
  out.summary = std::to_string(chunks) + " chunks, " + std::to_string(new_chunks) + " new " +
                percent(new_chunks, chunks) + "; " + std::to_string(offset) + " bytes, " +
                std::to_string(new_bytes) + " new " + percent(new_bytes, offset) + "\n";
  out.exit_code = new_chunks == 0 ? 0 : 1;
  return out;
}


namespace {

// A decimal number of at most 2^64 - 1, digits only.
bool decimal_field(const std::string& text, std::uint64_t* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  std::uint64_t number = 0;
  for (char c : text) {
    const unsigned digit = static_cast<unsigned>(c - '0');
    if (number > (~std::uint64_t{0} - digit) / 10) return false;
    number = number * 10 + digit;
  }
  *value = number;
  return true;
}

bool hex_field(const std::string& text, std::uint32_t* value) {
  if (text.size() != 8 || text.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) return false;
  *value = static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
  return true;
}

}  // namespace

ChunkcatOutput reference_chunkcat(const std::string& data, const std::string& list, bool pipe) {
  ChunkcatOutput out{"", 0};
  std::uint64_t previous_end = 0;
  bool first = true;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find('\n', start);
    if (end == std::string::npos) end = list.size();
    std::string line = list.substr(start, end - start);
    start = end + 1;
    if (line.size() >= 65536) return {out.bytes, 1};
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields;
    std::string field;
    for (char c : line + " ") {
      if (c == ' ' || c == '\t') {
        if (!field.empty()) fields.push_back(field);
        field.clear();
      } else {
        field += c;
      }
    }
    std::uint64_t offset, length;
    std::uint32_t crc_plus1, crc_plain;
    if (fields.size() != 4 || !decimal_field(fields[0], &offset) || !decimal_field(fields[1], &length) ||
        length == 0 || length > 65535 || offset > ~std::uint64_t{0} - length || !hex_field(fields[2], &crc_plus1) ||
        !hex_field(fields[3], &crc_plain)) {
      return {out.bytes, 1};
    }
    if (pipe && !first && offset < previous_end) return {out.bytes, 1};
    first = false;
    previous_end = offset + length;
    std::string chunk;
    for (std::uint64_t i = offset; i < offset + length; ++i) chunk += i < data.size() ? data[i] : '\xFF';
    std::string plus1 = chunk;
    for (char& c : plus1) c = static_cast<char>(c + 1);
    if (reference_crc32(chunk.data(), chunk.size()) != crc_plain ||
        reference_crc32(plus1.data(), plus1.size()) != crc_plus1) {
      return {out.bytes, 1};
    }
    out.bytes += chunk;
  }
  return out;
}
