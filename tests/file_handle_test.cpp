// The file layer on every platform: open modes, sizes past 4 GiB, ends of
// file, identities; and the console formatter.
#include "common/file_handle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

#include "common/record_reader.h"
#include "tests/scratch.h"

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
  std::uint64_t size = 1;
  EXPECT_TRUE(FileHandle::open_read(path.c_str()).size(&size));
  EXPECT_EQ(size, 0u);
  write_file(path, "xyz");
  const std::uint64_t beyond_4gib = (std::uint64_t{5} << 30) + 3;
  std::filesystem::resize_file(path, beyond_4gib);  // sparse where the file system can
  FileHandle in = FileHandle::open_read(path.c_str());
  ASSERT_TRUE(in.size(&size));
  EXPECT_EQ(size, beyond_4gib);
  char first;
  EXPECT_EQ(in.read_some(&first, 1), 1);
  EXPECT_EQ(first, 'x');
}

TEST(FileHandle, EndOfFileIsShortAndStaysShort) {
  ScratchDir dir;
  const std::string path = dir.path("file");
  write_file(path, "0123456789abc");
  FileHandle in = FileHandle::open_read(path.c_str());
  char record[10];
  EXPECT_EQ(in.read_some(record, 10), 10);
  EXPECT_EQ(std::string(record, 10), "0123456789");
  EXPECT_EQ(in.read_some(record, 10), 3);
  EXPECT_EQ(in.read_some(record, 10), 0);
  EXPECT_EQ(in.read_some(record, 10), 0);
}

// A handle owns what it opened: moving hands it over, the destructor or
// close() releases it once, and a failed open keeps the system's reason.
TEST(FileHandle, OwnsItsHandle) {
  ScratchDir dir;
  const std::string path = dir.path("file");
  write_file(path, "abc");
  FileHandle first = FileHandle::open_read(path.c_str());
  ASSERT_TRUE(first.is_open());
  FileHandle second = std::move(first);
  EXPECT_FALSE(first.is_open());  // NOLINT(bugprone-use-after-move): moved-from is null
  ASSERT_TRUE(second.is_open());
  char byte;
  EXPECT_EQ(second.read_some(&byte, 1), 1);
  second = FileHandle::open_read(path.c_str());  // the first file is released here
  EXPECT_EQ(second.read_some(&byte, 1), 1);
  EXPECT_EQ(byte, 'a');
  EXPECT_TRUE(second.close());
  EXPECT_FALSE(second.is_open());
  EXPECT_TRUE(second.close());  // nothing left to close

  const FileHandle missing = FileHandle::open_read(dir.path("missing").c_str());
  EXPECT_FALSE(missing.is_open());
  EXPECT_NE(missing.error(), 0u);
  char text[256];
  EXPECT_STRNE(describe_system_error(missing.error(), text, sizeof text), "");
}

// From a file, one call fills a block; a partial last record is dropped.
TEST(RecordReader, WholeRecordsFromAFile) {
  ScratchDir dir;
  const std::string path = dir.path("file");
  write_file(path, "0123456789abcdefghi");
  FileHandle in = FileHandle::open_read(path.c_str());
  unsigned char buffer[3 * 4];
  RecordReader reader(in, buffer, 4, 3);
  std::size_t count;
  ASSERT_EQ(reader.next_block(&count), ReadResult::kRecord);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), 4 * count), "0123456789ab");
  ASSERT_EQ(reader.next_block(&count), ReadResult::kRecord);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), 4 * count), "cdef");
  EXPECT_EQ(reader.next_block(&count), ReadResult::kEnd);
  EXPECT_EQ(reader.next_block(&count), ReadResult::kEnd);
}

TEST(FileHandle, PathNamesTheSameFileThroughHardLinks) {
  ScratchDir dir;
  const std::string path = dir.path("file"), other = dir.path("other");
  write_file(path, "a");
  write_file(other, "a");
  std::filesystem::create_hard_link(path, dir.path("hardlink"));
  const FileIdentity identity = FileHandle::open_read(path.c_str()).identity();
  EXPECT_EQ(identity.kind, FileKind::kRegular);
  const auto names_it = [&](const std::string& name) {
    FileIdentity named;
    return FileHandle::identity_of_path(name.c_str(), &named) && named.same_object(identity);
  };
  EXPECT_TRUE(names_it(path));
  EXPECT_TRUE(names_it(dir.path("hardlink")));
  EXPECT_FALSE(names_it(other));
  EXPECT_FALSE(names_it(dir.path("missing")));
}

}  // namespace
