// Win32 backend of the file layer: CreateFileA, ReadFile, WriteFile,
// SetFilePointer and CloseHandle, with the open modes the tools have always
// used.
#include "file_handle.h"

#include <windows.h>

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
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  identity->device = info.dwVolumeSerialNumber;
  identity->file = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  return true;
}

}  // namespace

FileHandle FileHandle::open_read(const char* path) {
  // A directory cannot be opened this way (that needs FILE_FLAG_BACKUP_SEMANTICS).
  return FileHandle(from_native(
      CreateFileA(path, kReadAccess, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr)));
}

FileHandle FileHandle::create_write(const char* path) {
  return FileHandle(from_native(
      CreateFileA(path, GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS, 0, nullptr)));
}

bool FileHandle::path_names(const char* path, const FileIdentity& identity) {
  // Asks for no access at all, so that nothing, not even a directory or a
  // file opened elsewhere without sharing, stands in the way of the question.
  const HANDLE probe = CreateFileA(path, 0, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return false;
  FileIdentity other;
  const bool known = identity_of(probe, &other);
  CloseHandle(probe);
  return known && other.device == identity.device && other.file == identity.file;
}

FileIdentity FileHandle::identity() const {
  FileIdentity identity;
  if (!identity_of(native(handle_), &identity)) return FileIdentity{~0ULL, ~0ULL};
  return identity;
}

std::uint64_t FileHandle::size() {
  LONG high = 0;
  const DWORD low = SetFilePointer(native(handle_), 0, &high, FILE_END);
  SetFilePointer(native(handle_), 0, nullptr, FILE_BEGIN);
  return static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32 | low;
}

std::ptrdiff_t FileHandle::read_some(void* buffer, std::size_t count) {
  DWORD got = 0;
  const DWORD asked = static_cast<DWORD>(count < kMaxCall ? count : kMaxCall);
  if (ReadFile(native(handle_), buffer, asked, &got, nullptr)) return static_cast<std::ptrdiff_t>(got);
  // A pipe whose writer has gone has simply ended.
  return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

std::size_t FileHandle::write_all(const void* bytes, std::size_t count) {
  const unsigned char* next = static_cast<const unsigned char*>(bytes);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t left = count - done;
    DWORD put = 0;
    if (!WriteFile(native(handle_), next + done, static_cast<DWORD>(left < kMaxCall ? left : kMaxCall),
                   &put, nullptr) ||
        put == 0) {
      break;
    }
    done += put;
  }
  return done;
}

void FileHandle::close() {
  if (handle_ != kNoHandle) CloseHandle(native(handle_));
  handle_ = kNoHandle;
}
