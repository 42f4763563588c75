// The one way the tools touch files: a thin owner of one operating-system
// file handle. No buffering of its own, no allocation; each operation maps onto
// the platform's file API (file_handle_posix.cpp or file_handle_win32.cpp,
// chosen by the build).
#ifndef COMMON_FILE_HANDLE_H
#define COMMON_FILE_HANDLE_H

#include <cstddef>
#include <cstdint>

// What kind of object an open file is. Truncating a regular file or draining a
// FIFO loses data; a device (a terminal, /dev/null) has nothing to lose.
enum class FileKind { kRegular, kFifo, kDevice, kOther };

// Identity of an open file (device and file number, or volume and file index),
// used to tell whether two paths name the same file however they are spelled
// or linked.
struct FileIdentity {
  std::uint64_t device;
  std::uint64_t file;
  std::uint64_t file_high;  // Windows file IDs have 128 bits; 0 elsewhere
  FileKind kind;

  bool same_object(const FileIdentity& other) const {
    return device == other.device && file == other.file && file_high == other.file_high;
  }
  // Whether another use of this object could destroy or steal the data in it.
  bool holds_data() const { return kind == FileKind::kRegular || kind == FileKind::kFifo; }
};

// The platform's error code (errno, or GetLastError() on Windows) and its text.
using SystemError = std::uint32_t;
// Writes the platform's description of `error` into `text` (NUL-terminated,
// cut to `size`); returns `text`.
const char* describe_system_error(SystemError error, char* text, std::size_t size);

class FileHandle {
 public:
  // Opens an existing file for reading without locking anyone out: others may
  // read, write, rename or delete it meanwhile. Null (is_open() false) when the
  // path is missing, is a directory, or cannot be opened.
  static FileHandle open_read(const char* path);

  // Opens an existing file only to learn its size: as open_read, but it never
  // waits, so a FIFO that no writer holds opens at once (and then has no size).
  static FileHandle open_to_size(const char* path);

  // Creates the file, or truncates an existing one to length 0, for writing.
  // Null on any failure.
  static FileHandle create_write(const char* path);

  // Standard input, as a handle of its own (a duplicate: closing it leaves
  // the process's standard input open). Null when there is none.
  static FileHandle standard_input();

  // Creates a file of no name in the folder `folder`, open for writing and
  // reading, that the system removes however the run ends: on POSIX it is
  // unlinked at once, on Windows deleted when its handle closes. Null on any
  // failure.
  static FileHandle create_temporary(const char* folder);
  // The system's folder for temporary files: /tmp, or Windows' own.
  static const char* default_temporary_folder();

  // The identity of the file `path` names, without opening it for reading or
  // writing; false when the path cannot be examined (it does not exist, say).
  static bool identity_of_path(const char* path, FileIdentity* identity);

  // A null handle, until an open's result is moved in.
  FileHandle() : handle_(kNoHandle), error_(0) {}
  FileHandle(FileHandle&& other) noexcept : handle_(other.handle_), error_(other.error_) {
    other.handle_ = kNoHandle;
  }
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  // Releases the handle if close() has not; a failure there goes unreported,
  // so a handle whose close matters is closed explicitly.
  ~FileHandle() { close(); }

  // The identity of what standard output writes to; false when it cannot be
  // examined.
  static bool standard_output_identity(FileIdentity* identity);

  bool is_open() const { return handle_ != kNoHandle; }

  // The file's identity. Only meaningful on an open handle.
  FileIdentity identity() const;

  // The file's size in bytes: the position of its end, after which the
  // position is moved back to the start. False when the end cannot be found,
  // as on a pipe, a FIFO or a socket.
  bool size(std::uint64_t* bytes);

  // Reads up to `count` (> 0) bytes at byte `offset` of the file into
  // `buffer`, without moving the position: all of them, fewer only at the end
  // of the file (0 there), -1 on a read error.
  std::ptrdiff_t read_at(std::uint64_t offset, void* buffer, std::size_t count);
  // The same with one platform call: possibly fewer than asked before the
  // end, 0 at the end, -1 on a read error, whose code goes to `*failure`
  // (error() keeps nothing of it). Threads may call it side by side on one
  // handle (on Windows the system takes them in turn).
  std::ptrdiff_t read_some_at(std::uint64_t offset, void* buffer, std::size_t count, SystemError* failure) const;

  // Moves the position back to the start; false when it cannot be (a pipe).
  bool rewind();

  // Reads up to `count` (> 0) bytes into `buffer` with one platform call:
  // the number read (possibly fewer than asked, as pipes deliver), 0 at end of
  // file, -1 on a read error.
  std::ptrdiff_t read_some(void* buffer, std::size_t count);

  // Asks for a kernel buffer of `bytes` when the file is a pipe, so that a
  // fast writer and this reader take turns less often (Linux's
  // F_SETPIPE_SZ); nothing elsewhere, or when the system refuses.
  void enlarge_pipe_buffer(std::size_t bytes);

  // Writes the `count` bytes at `bytes` at the current position, waiting
  // through partial writes. Returns how many were written: `count`, or fewer
  // when the platform refused the rest (disk full, file-size limit, error).
  std::size_t write_all(const void* bytes, std::size_t count);

  // Cuts the file to its first `length` bytes (after a short write, to the
  // last whole record). False where the object cannot be cut, as a pipe or a
  // device; error() keeps the failure it held before either way.
  bool truncate(std::uint64_t length);

  // Releases the handle; the object is null afterwards. False when the
  // platform reports that the close failed: on some network and quota file
  // systems that is where a write error first shows. Closing a null handle
  // succeeds.
  bool close();

  // The platform's code for this handle's last failure, or for the failed
  // open that left it null; 0 before any failure.
  SystemError error() const { return error_; }

 private:
  // The platform's handle (a descriptor or a HANDLE) as an integer; a failed
  // open is turned into kNoHandle at once.
  static constexpr std::intptr_t kNoHandle = -1;
  FileHandle(std::intptr_t handle, SystemError error) : handle_(handle), error_(error) {}
  // Keeps the platform's current error code as this handle's last failure.
  void note_failure();

  std::intptr_t handle_;
  SystemError error_;
};

#endif  // COMMON_FILE_HANDLE_H
