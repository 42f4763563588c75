// The file layer where POSIX differs: pipes that deliver in pieces, read
// errors that are not ends, symbolic links.
#include "file_handle.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include "record_reader.h"
#include "scratch.h"

namespace {

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

TEST(FileHandle, PathNamesTheSameFileThroughSymbolicLinks) {
  ScratchDir dir;
  const std::string path = dir.path("file");
  write_file(path, "a");
  ASSERT_EQ(::symlink(path.c_str(), dir.path("symlink").c_str()), 0);
  const FileIdentity identity = FileHandle::open_read(path.c_str()).identity();
  EXPECT_TRUE(FileHandle::path_names(dir.path("symlink").c_str(), identity));
}

}  // namespace
