// Win32 backend of the file layer: CreateFileA, ReadFile, WriteFile,
// SetFilePointer and CloseHandle, with the open modes the tools have always
// used.
#include "common/file_handle.h"

// FILE_ID_INFO is declared from Windows 8 on; where it is missing, the call
// that asks for it fails and the older query takes over.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0602
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// Others may read, write, rename or delete a file while a tool has it open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
static_assert(kShareAll == 7, "share mode");
// The access every open for reading uses.
constexpr DWORD kReadAccess = GENERIC_READ;
// The largest count passed to one ReadFile or WriteFile call.
constexpr std::size_t kMaxCall = 1u << 30;

std::intptr_t from_native(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(handle);
}

HANDLE native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool identity_of(HANDLE handle, FileIdentity* identity) {
  // The 128-bit file ID needs no access right, so it also serves a standard
  // handle opened for writing only; before Windows 8 it is not there.
  FILE_ID_INFO id;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
    identity->device = id.VolumeSerialNumber;
    std::memcpy(&identity->file, id.FileId.Identifier, 8);
    std::memcpy(&identity->file_high, id.FileId.Identifier + 8, 8);
  } else if (GetFileInformationByHandle(handle, &info)) {
    identity->device = info.dwVolumeSerialNumber;
    identity->file = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    identity->file_high = 0;
  } else {
    return false;
  }
  switch (GetFileType(handle)) {
    case FILE_TYPE_DISK: identity->kind = FileKind::kRegular; break;
    case FILE_TYPE_PIPE: identity->kind = FileKind::kFifo; break;
    case FILE_TYPE_CHAR: identity->kind = FileKind::kDevice; break;
    default: identity->kind = FileKind::kOther; break;
  }
  return true;
}

}  // namespace

const char* describe_system_error(SystemError error, char* text, std::size_t size) {
  if (size == 0) return text;
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, static_cast<DWORD>(size), nullptr);
  // The system's text ends in CR LF (sometimes after a full stop): one line only.
  std::size_t end = length < size ? length : size - 1;
  while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == ' ' ||
                     text[end - 1] == '.')) {
    --end;
  }
  text[end] = '\0';
  if (length == 0) std::snprintf(text, size, "system error %lu", static_cast<unsigned long>(error));
  return text;
}

FileHandle FileHandle::open_read(const char* path) {
  // A directory cannot be opened this way (that needs FILE_FLAG_BACKUP_SEMANTICS).
  const HANDLE handle = CreateFileA(path, kReadAccess, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  return FileHandle(from_native(handle), handle == INVALID_HANDLE_VALUE ? GetLastError() : 0);
}

// Opening never waits on Windows: a pipe's server end answers or the open fails.
FileHandle FileHandle::open_to_size(const char* path) { return open_read(path); }

FileHandle FileHandle::create_write(const char* path) {
  const HANDLE handle = CreateFileA(path, GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS, 0, nullptr);
  return FileHandle(from_native(handle), handle == INVALID_HANDLE_VALUE ? GetLastError() : 0);
}

FileHandle FileHandle::standard_input() {
  HANDLE copy = INVALID_HANDLE_VALUE;
  const HANDLE process = GetCurrentProcess();
  if (!DuplicateHandle(process, GetStdHandle(STD_INPUT_HANDLE), process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return FileHandle(kNoHandle, GetLastError());
  }
  return FileHandle(from_native(copy), 0);
}

const char* FileHandle::default_temporary_folder() {
  static char folder[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > sizeof folder) return ".";
  // Without the trailing backslash, as the reasons quote it.
  if (length > 1 && folder[length - 1] == '\\') folder[length - 1] = '\0';
  return folder;
}

FileHandle FileHandle::create_temporary(const char* folder) {
  char path[MAX_PATH];
  if (GetTempFileNameA(folder, "ckt", 0, path) == 0) return FileHandle(kNoHandle, GetLastError());
  // Deleted when the handle closes, which the system does however the run ends.
  const HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  const SystemError error = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (handle == INVALID_HANDLE_VALUE) DeleteFileA(path);
  return FileHandle(from_native(handle), error);
}

bool FileHandle::identity_of_path(const char* path, FileIdentity* identity) {
  // Asks for no access at all, so that nothing, not even a directory or a
  // file opened elsewhere without sharing, stands in the way of the question.
  const HANDLE probe = CreateFileA(path, 0, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return false;
  const bool known = identity_of(probe, identity);
  CloseHandle(probe);
  return known;
}

bool FileHandle::standard_output_identity(FileIdentity* identity) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  return output != INVALID_HANDLE_VALUE && output != nullptr && identity_of(output, identity);
}

FileIdentity FileHandle::identity() const {
  FileIdentity identity;
  if (!identity_of(native(handle_), &identity)) return FileIdentity{~0ULL, ~0ULL, ~0ULL, FileKind::kOther};
  return identity;
}

void FileHandle::note_failure() { error_ = GetLastError(); }

bool FileHandle::size(std::uint64_t* bytes) {
  // A pipe has no end to move to, whatever SetFilePointer makes of it.
  if (GetFileType(native(handle_)) == FILE_TYPE_PIPE) {
    error_ = ERROR_SEEK_ON_DEVICE;
    return false;
  }
  LONG high = 0;
  // All ones is also a valid low word, so only the error code tells a failure.
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(native(handle_), 0, &high, FILE_END);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    note_failure();
    return false;
  }
  SetFilePointer(native(handle_), 0, nullptr, FILE_BEGIN);
  *bytes = static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32 | low;
  return true;
}

std::ptrdiff_t FileHandle::read_some(void* buffer, std::size_t count) {
  DWORD got = 0;
  const DWORD asked = static_cast<DWORD>(count < kMaxCall ? count : kMaxCall);
  if (ReadFile(native(handle_), buffer, asked, &got, nullptr)) return static_cast<std::ptrdiff_t>(got);
  // A pipe whose writer has gone has simply ended.
  if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
  note_failure();
  return -1;
}

void FileHandle::enlarge_pipe_buffer(std::size_t) {}

std::size_t FileHandle::write_all(const void* bytes, std::size_t count) {
  const unsigned char* next = static_cast<const unsigned char*>(bytes);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t left = count - done;
    DWORD put = 0;
    if (!WriteFile(native(handle_), next + done, static_cast<DWORD>(left < kMaxCall ? left : kMaxCall),
                   &put, nullptr)) {
      note_failure();
      break;
    }
    if (put == 0) break;
    done += put;
  }
  return done;
}

std::ptrdiff_t FileHandle::read_some_at(std::uint64_t offset, void* buffer, std::size_t count,
                                        SystemError* failure) const {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!ReadFile(native(handle_), buffer, static_cast<DWORD>(count < kMaxCall ? count : kMaxCall), &got, &at)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    *failure = GetLastError();
    return -1;
  }
  return static_cast<std::ptrdiff_t>(got);
}

bool FileHandle::rewind() {
  LARGE_INTEGER start;
  start.QuadPart = 0;
  if (SetFilePointerEx(native(handle_), start, nullptr, FILE_BEGIN)) return true;
  note_failure();
  return false;
}

bool FileHandle::truncate(std::uint64_t length) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(length);
  return GetFileType(native(handle_)) == FILE_TYPE_DISK && SetFilePointerEx(native(handle_), position, nullptr, FILE_BEGIN) &&
         SetEndOfFile(native(handle_));
}

bool FileHandle::close() {
  if (handle_ == kNoHandle) return true;
  const bool closed = CloseHandle(native(handle_)) != 0;
  if (!closed) note_failure();
  handle_ = kNoHandle;
  return closed;
}
