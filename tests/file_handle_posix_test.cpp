// The file layer where POSIX differs: pipes that deliver in pieces, read
// errors that are not ends, symbolic links.
#include "file_handle.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "record_reader.h"
#include "scratch.h"

namespace {

// A pipe opened through the file layer, with a writer that hands over the
// given pieces 20 ms apart and then closes its end.
class PipeInPieces {
 public:
  explicit PipeInPieces(std::vector<std::string> pieces)
      : pieces_(std::move(pieces)), reader(open_pipe(fds_)), writer_([this] {
          for (const std::string& piece : pieces_) {
            EXPECT_EQ(::write(fds_[1], piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
          ::close(fds_[1]);
        }) {}
  ~PipeInPieces() {
    writer_.join();
    ::close(fds_[0]);
  }

 private:
  static FileHandle open_pipe(int (&fds)[2]) {
    if (::pipe(fds) != 0) std::abort();
    return FileHandle::open_read(("/dev/fd/" + std::to_string(fds[0])).c_str());
  }

  int fds_[2];
  std::vector<std::string> pieces_;

 public:
  FileHandle reader;

 private:
  std::thread writer_;
};

TEST(FileHandle, ReadErrorsAreNotEndOfFile) {
  FileHandle in = FileHandle::open_read("/proc/self/mem");  // opens; reading offset 0 fails
  ASSERT_TRUE(in.is_open());
  char record[10];
  EXPECT_EQ(in.read_byte(), FileHandle::kReadError);
  EXPECT_EQ(in.read_record(record, 10), ReadResult::kError);
}

// A pipe delivers a record in pieces; only its end makes a record short.
TEST(FileHandle, RecordsFromAPipeArriveWhole) {
  PipeInPieces pipe({"012", "3456789ab", "c"});
  FileHandle& in = pipe.reader;
  ASSERT_TRUE(in.is_open());
  char record[10];
  EXPECT_EQ(in.read_record(record, 10), ReadResult::kRecord);
  EXPECT_EQ(std::string(record, 10), "0123456789");
  EXPECT_EQ(in.read_record(record, 10), ReadResult::kEnd);
}

// Blocks of whole records: one call per block from a file, each record as
// soon as it is whole from a pipe, a partial last record dropped.
TEST(RecordReader, BlocksOfWholeRecords) {
  PipeInPieces pipe({"012", "3456789ab", "cdefghijklmnopqrs", "tuvwx"});
  ASSERT_TRUE(pipe.reader.is_open());
  unsigned char buffer[3 * 4];
  RecordReader reader(pipe.reader, buffer, 4, 3);
  std::string got;
  std::size_t count;
  while (reader.next_block(&count) == ReadResult::kRecord) {
    got += std::string(reinterpret_cast<const char*>(reader.records()), 4 * count) + "|";
  }
  EXPECT_EQ(got, "0123456789ab|cdefghijklmn|opqrstuv|");  // "wx" dropped
  EXPECT_EQ(reader.next_block(&count), ReadResult::kEnd);

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
