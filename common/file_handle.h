// The one way both tools touch files: a thin wrapper over one operating-system
// file handle. No buffering of its own, no allocation; each operation maps onto
// the platform's file API (file_handle_posix.cpp or file_handle_win32.cpp,
// chosen by the build).
#ifndef COMMON_FILE_HANDLE_H
#define COMMON_FILE_HANDLE_H

#include <cstddef>
#include <cstdint>

// Outcome of reading one fixed-size record.
enum class ReadResult {
  kRecord,  // exactly the requested number of bytes came back
  kEnd,     // the file ended first; a partial last record is consumed and dropped
  kError,   // the platform reported a read error
};

// Identity of an open file (device and file number), used to tell whether two
// paths name the same file however they are spelled or linked.
struct FileIdentity {
  std::uint64_t device;
  std::uint64_t file;
};

class FileHandle {
 public:
  // read_byte results other than a byte value 0..255.
  static constexpr int kEndOfFile = -1;
  static constexpr int kReadError = -2;

  // Opens an existing file for reading without locking anyone out: others may
  // read, write, rename or delete it meanwhile. Null (is_open() false) when the
  // path is missing, is a directory, or cannot be opened.
  static FileHandle open_read(const char* path);

  // Creates the file, or truncates an existing one to length 0, for writing.
  // Null on any failure.
  static FileHandle create_write(const char* path);

  // Whether the path names the same file as `identity`; false when the path
  // cannot be examined (for instance because it does not exist).
  static bool path_names(const char* path, const FileIdentity& identity);

  bool is_open() const { return handle_ != kNoHandle; }

  // The file's identity. Only meaningful on an open handle.
  FileIdentity identity() const;

  // The file's size in bytes: the position of its end, after which the position
  // is moved back to the start. No failure path: a file that cannot be
  // positioned reports what the platform returned (-1 as all ones).
  std::uint64_t size();

  // One byte at the current position: 0..255, kEndOfFile when the file has no
  // more bytes, kReadError when the platform reports an error.
  int read_byte();

  // Reads up to `count` (> 0) bytes into `buffer` with one platform call:
  // the number read (possibly fewer than asked, as pipes deliver), 0 at end of
  // file, -1 on a read error.
  std::ptrdiff_t read_some(void* buffer, std::size_t count);

  // Reads exactly `count` bytes into `buffer`, waiting through short reads
  // (pipes deliver data in pieces), so that only the end of the file or an
  // error yields less than a whole record.
  ReadResult read_record(void* buffer, std::size_t count);

  // Writes the `count` bytes at `bytes` at the current position, waiting
  // through partial writes. Returns how many were written: `count`, or fewer
  // when the platform refused the rest (disk full, file-size limit, error).
  std::size_t write_all(const void* bytes, std::size_t count);

  // Releases the handle; the object is null afterwards.
  void close();

 private:
  // The platform's handle (a descriptor or a HANDLE) as an integer; a failed
  // open is turned into kNoHandle at once.
  static constexpr std::intptr_t kNoHandle = -1;
  explicit FileHandle(std::intptr_t handle) : handle_(handle) {}

  std::intptr_t handle_;
};

#endif  // COMMON_FILE_HANDLE_H
