#include "file_handle.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include "record_reader.h"
#include "text_buffer.h"
#include "tool_runner.h"

namespace {

TEST(FileHandle, OpenRefusesMissingPathsAndDirectories) {
  ScratchDir dir;
  EXPECT_FALSE(FileHandle::open_read(dir.path("missing").c_str()).is_open());
  EXPECT_FALSE(FileHandle::open_read(dir.path("").c_str()).is_open());
  EXPECT_FALSE(FileHandle::create_write(dir.path("missing/file").c_str()).is_open());
}

TEST(FileHandle, CreateTruncatesAndWritesRecordsVerbatim) {
  ScratchDir dir;
  const std::string path = dir.path("file");
  write_file(path, "old contents that must go");
  FileHandle out = FileHandle::create_write(path.c_str());
  ASSERT_TRUE(out.is_open());
  EXPECT_EQ(read_file(path), "");
  EXPECT_EQ(out.write_all("0123456789", 10), 10u);
  EXPECT_EQ(out.write_all("abcdefghij", 10), 10u);
  out.close();
  EXPECT_EQ(read_file(path), "0123456789abcdefghij");
}

TEST(FileHandle, SizeIsWholeAndRewinds) {
  ScratchDir dir;
  const std::string path = dir.path("file");
  write_file(path, "");
  EXPECT_EQ(FileHandle::open_read(path.c_str()).size(), 0u);
  write_file(path, "xyz");
  const std::uint64_t beyond_4gib = (std::uint64_t{5} << 30) + 3;
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(beyond_4gib)), 0);  // sparse
  FileHandle in = FileHandle::open_read(path.c_str());
  EXPECT_EQ(in.size(), beyond_4gib);
  EXPECT_EQ(in.read_byte(), 'x');
}

TEST(FileHandle, EndOfFileIsShortAndStaysShort) {
  ScratchDir dir;
  const std::string path = dir.path("file");
  write_file(path, "0123456789abc");
  FileHandle in = FileHandle::open_read(path.c_str());
  char record[10];
  EXPECT_EQ(in.read_record(record, 10), ReadResult::kRecord);
  EXPECT_EQ(std::string(record, 10), "0123456789");
  EXPECT_EQ(in.read_record(record, 10), ReadResult::kEnd);  // 3 bytes left
  EXPECT_EQ(in.read_record(record, 10), ReadResult::kEnd);
  EXPECT_EQ(in.read_byte(), FileHandle::kEndOfFile);
  EXPECT_EQ(in.read_byte(), FileHandle::kEndOfFile);
}

TEST(FileHandle, ReadErrorsAreNotEndOfFile) {
  FileHandle in = FileHandle::open_read("/proc/self/mem");  // opens; reading offset 0 fails
  ASSERT_TRUE(in.is_open());
  char record[10];
  EXPECT_EQ(in.read_byte(), FileHandle::kReadError);
  EXPECT_EQ(in.read_record(record, 10), ReadResult::kError);
}

// A pipe delivers a record in pieces; only its end makes a record short.
TEST(FileHandle, RecordsFromAPipeArriveWhole) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string path = "/dev/fd/" + std::to_string(fds[0]);
  FileHandle in = FileHandle::open_read(path.c_str());
  ASSERT_TRUE(in.is_open());
  std::thread writer([&] {
    for (const char* piece : {"012", "3456789ab", "c"}) {
      ASSERT_EQ(::write(fds[1], piece, std::strlen(piece)), static_cast<ssize_t>(std::strlen(piece)));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::close(fds[1]);
  });
  char record[10];
  EXPECT_EQ(in.read_record(record, 10), ReadResult::kRecord);
  EXPECT_EQ(std::string(record, 10), "0123456789");
  EXPECT_EQ(in.read_record(record, 10), ReadResult::kEnd);
  writer.join();
  ::close(fds[0]);
}

// Blocks of whole records: one call per block from a file, each record as
// soon as it is whole from a pipe, a partial last record dropped.
TEST(RecordReader, BlocksOfWholeRecords) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string path = "/dev/fd/" + std::to_string(fds[0]);
  FileHandle in = FileHandle::open_read(path.c_str());
  ASSERT_TRUE(in.is_open());
  std::thread writer([&] {
    for (const char* piece : {"012", "3456789ab", "cdefghijklmnopqrs", "tuvwx"}) {
      ASSERT_EQ(::write(fds[1], piece, std::strlen(piece)), static_cast<ssize_t>(std::strlen(piece)));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::close(fds[1]);
  });
  unsigned char buffer[3 * 4];
  RecordReader reader(in, buffer, 4, 3);
  std::string got;
  std::size_t count;
  while (reader.next_block(&count) == ReadResult::kRecord) {
    got += std::string(reinterpret_cast<const char*>(reader.records()), 4 * count) + "|";
  }
  EXPECT_EQ(got, "0123456789ab|cdefghijklmn|opqrstuv|");  // "wx" dropped
  EXPECT_EQ(reader.next_block(&count), ReadResult::kEnd);
  writer.join();
  ::close(fds[0]);

  FileHandle failing = FileHandle::open_read("/proc/self/mem");
  RecordReader failing_reader(failing, buffer, 4, 3);
  EXPECT_EQ(failing_reader.next_block(&count), ReadResult::kError);
  EXPECT_EQ(count, 0u);
}

// The formatter against printf over the values the tools print.
TEST(TextBuffer, SameTextAsPrintf) {
  const std::int64_t numbers[] = {0, 1, -1, 9, 10, 255, 1234567890, INT64_MAX, INT64_MIN};
  char storage[64], expected[64];
  for (std::int64_t number : numbers) {
    TextBuffer text(storage, sizeof storage);
    text.decimal(number);
    std::snprintf(expected, sizeof expected, "%lld", static_cast<long long>(number));
    EXPECT_EQ(std::string(text.data(), text.size()), expected);
    for (int digits : {2, 4, 8, 16}) {
      const std::uint64_t value = static_cast<std::uint64_t>(number) &
                                  (digits == 16 ? ~0ULL : (1ULL << (4 * digits)) - 1);
      TextBuffer hex(storage, sizeof storage);
      hex.literal("x=");
      hex.hex(value, digits);
      std::snprintf(expected, sizeof expected, "x=%0*llX", digits, static_cast<unsigned long long>(value));
      EXPECT_EQ(std::string(hex.data(), hex.size()), expected);
    }
  }
}

TEST(FileHandle, PathNamesTheSameFileThroughLinks) {
  ScratchDir dir;
  const std::string path = dir.path("file"), other = dir.path("other");
  write_file(path, "a");
  write_file(other, "a");
  ASSERT_EQ(::symlink(path.c_str(), dir.path("symlink").c_str()), 0);
  ASSERT_EQ(::link(path.c_str(), dir.path("hardlink").c_str()), 0);
  const FileIdentity identity = FileHandle::open_read(path.c_str()).identity();
  EXPECT_TRUE(FileHandle::path_names(path.c_str(), identity));
  EXPECT_TRUE(FileHandle::path_names(dir.path("symlink").c_str(), identity));
  EXPECT_TRUE(FileHandle::path_names(dir.path("hardlink").c_str(), identity));
  EXPECT_FALSE(FileHandle::path_names(other.c_str(), identity));
  EXPECT_FALSE(FileHandle::path_names(dir.path("missing").c_str(), identity));
}

}  // namespace
