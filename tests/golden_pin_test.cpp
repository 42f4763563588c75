// The golden pin: chunksig's whole output for a 64 MiB stream made from a fixed
// seed (random bytes, runs of zeros, repeated blocks and text, in a fixed
// pattern, over segments of many lengths), as a length and a 64-bit digest
// written here. The other tests hold the tool to a model; this one fails
// loudly should the output change anywhere, even with the model changed with
// it. Runs in every tier.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "devtools/splitmix64.h"
#include "tests/reference_model.h"
#include "tests/tool_runner.h"

namespace {

constexpr std::size_t kStreamBytes = std::size_t{64} << 20;
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
// What the pin holds: the signature file's size and digest, and the digest of
// what chunksig printed (fptr and the trace lines).
constexpr std::size_t kGoldenSignatureBytes = 1916000;
constexpr std::uint64_t kGoldenSignatureDigest = 7768868502992057369u;
constexpr std::uint64_t kGoldenConsoleDigest = 4237168474688683388u;

// One 1 MiB block of each kind in turn: random, zeros, a 4 KiB random piece
// repeated, then text of words drawn at random.
std::string golden_stream() {
  static const char* const kWords[] = {"chunk", "stream", "segment", "signature", "the", "of", "a", "backup",
                                       "store", "night", "\n", "  ", "0123456789", "replica"};
  SplitMix64 random{20261209};
  std::string stream;
  stream.reserve(kStreamBytes);
  for (std::size_t block = 0; stream.size() < kStreamBytes; ++block) {
    const std::size_t end = stream.size() + kBlockBytes;
    switch (block % 4) {
      case 0:
        while (stream.size() < end) stream += static_cast<char>(random.next() >> 56);
        break;
      case 1:
        stream.append(kBlockBytes, '\0');
        break;
      case 2: {
        std::string piece;
        while (piece.size() < 4096) piece += static_cast<char>(random.next() >> 56);
        while (stream.size() < end) stream += piece;
        stream.resize(end);
        break;
      }
      default:
        while (stream.size() < end) stream += kWords[random.next() % (sizeof kWords / sizeof kWords[0])];
        stream.resize(end);
        break;
    }
  }
  return stream;
}

// Segments of lengths from 1 byte to 3 MiB, with gaps and one overlap, over the
// whole stream.
std::string golden_segments() {
  SplitMix64 random{7};
  std::string segments;
  std::uint64_t offset = 0;
  while (offset < kStreamBytes) {
    const std::uint64_t shape = random.next() % 8;
    std::uint64_t length = shape == 0 ? 1 + random.next() % 200 : 1 + random.next() % (3u << 20);
    if (offset + length > kStreamBytes) length = kStreamBytes - offset;
    segments += segment(static_cast<std::uint32_t>(length), offset);
    offset += length;
    if (shape == 1) offset += random.next() % 5000;                        // a gap, never signed
    if (shape == 2 && offset > 3000) offset -= random.next() % 3000;       // an overlap, signed once
  }
  return segments;
}

// splitmix64's mixer over the bytes, eight at a time, seeded with the length.
std::uint64_t digest(const std::string& bytes) {
  std::uint64_t hash = bytes.size();
  for (std::size_t at = 0; at < bytes.size(); at += 8) {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < 8 && at + i < bytes.size(); ++i) {
      word |= std::uint64_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
    }
    SplitMix64 mixer{hash ^ word};
    hash = mixer.next();
  }
  return hash;
}

TEST(KernelGoldenPin, SignatureFileOfA64MiBStream) {
  const ChunksigFiles files(0, golden_stream(), golden_segments());
  const RunResult result = files.run();
  ASSERT_EQ(result.exit_code, 0) << result.errors;
  const std::string signatures = read_file(files.signatures);
  EXPECT_EQ(signatures.size(), kGoldenSignatureBytes);
  EXPECT_EQ(digest(signatures), kGoldenSignatureDigest) << std::hex << digest(signatures);
  EXPECT_EQ(digest(result.console), kGoldenConsoleDigest) << std::hex << digest(result.console);
}

}  // namespace
