// The file layer where POSIX differs: pipes that deliver in pieces, read
// errors that are not ends, symbolic links.
#include "common/file_handle.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/record_reader.h"
#include "tests/scratch.h"

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

// CHUNKTOOLS_NO_THREADS, where set, says why this process cannot start a
// thread (an emulator that hangs in the attempt); the tests that need the
// writer thread are then skipped with that reason.
#define SKIP_WITHOUT_THREADS()                                                  \
  do {                                                                          \
    if (const char* why = std::getenv("CHUNKTOOLS_NO_THREADS")) GTEST_SKIP() << why; \
  } while (false)

TEST(FileHandle, ReadErrorsAreNotEndOfFile) {
  FileHandle in = FileHandle::open_read("/proc/self/mem");  // opens; reading offset 0 fails
  ASSERT_TRUE(in.is_open());
  char record[10];
  EXPECT_EQ(in.read_some(record, 10), -1);
  EXPECT_EQ(in.error(), static_cast<SystemError>(EIO));
}

// A pipe has no size: the start position it would give is refused, not
// taken as all ones. Devices keep theirs.
TEST(FileHandle, PipesHaveNoSize) {
  SKIP_WITHOUT_THREADS();
  PipeInPieces pipe({"0123456789"});
  std::uint64_t size = 7;
  EXPECT_FALSE(pipe.reader.size(&size));
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(pipe.reader.error(), static_cast<SystemError>(ESPIPE));
  EXPECT_EQ(pipe.reader.identity().kind, FileKind::kFifo);
  FileHandle null_device = FileHandle::open_read("/dev/null");
  EXPECT_TRUE(null_device.size(&size));
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(null_device.identity().kind, FileKind::kDevice);
}

// Blocks of whole records: one call per block from a file, each record as
// soon as it is whole from a pipe, a partial last record dropped.
TEST(RecordReader, BlocksOfWholeRecords) {
  SKIP_WITHOUT_THREADS();
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
  FileIdentity linked;
  ASSERT_TRUE(FileHandle::identity_of_path(dir.path("symlink").c_str(), &linked));
  EXPECT_TRUE(linked.same_object(identity));
}

}  // namespace
