// Windows threads, by CreateThread.
#include <windows.h>

#include <cstring>
#include <new>

#include "common/worker_thread.h"

static_assert(sizeof(HANDLE) <= 16, "a HANDLE fits the handle's room");

struct WorkerThreadEntry {
  static DWORD WINAPI run(LPVOID thread) {
    WorkerThread* self = static_cast<WorkerThread*>(thread);
    self->body_(self->argument_);
    return 0;
  }
};

bool WorkerThread::start(void (*body)(void*), void* argument, SystemError* error) {
  body_ = body;
  argument_ = argument;
  HANDLE thread = CreateThread(nullptr, 0, WorkerThreadEntry::run, this, 0, nullptr);
  if (thread == nullptr) {
    *error = static_cast<SystemError>(GetLastError());
    return false;
  }
  std::memcpy(handle_, &thread, sizeof thread);
  started_ = true;
  return true;
}

void WorkerThread::join() {
  if (!started_) return;
  HANDLE thread;
  std::memcpy(&thread, handle_, sizeof thread);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  started_ = false;
}

namespace {

struct WindowsMonitor {
  SRWLOCK lock;
  CONDITION_VARIABLE condition;
};

}  // namespace

static_assert(sizeof(WindowsMonitor) <= 128, "the lock and condition fit the monitor's room");

ThreadMonitor::ThreadMonitor() {
  WindowsMonitor* monitor = new (storage_) WindowsMonitor;
  InitializeSRWLock(&monitor->lock);
  InitializeConditionVariable(&monitor->condition);
}

// Neither needs releasing.
ThreadMonitor::~ThreadMonitor() {}

void ThreadMonitor::lock() { AcquireSRWLockExclusive(&reinterpret_cast<WindowsMonitor*>(storage_)->lock); }

void ThreadMonitor::unlock() { ReleaseSRWLockExclusive(&reinterpret_cast<WindowsMonitor*>(storage_)->lock); }

void ThreadMonitor::wait() {
  WindowsMonitor* monitor = reinterpret_cast<WindowsMonitor*>(storage_);
  SleepConditionVariableSRW(&monitor->condition, &monitor->lock, INFINITE, 0);
}

void ThreadMonitor::wake_all() { WakeAllConditionVariable(&reinterpret_cast<WindowsMonitor*>(storage_)->condition); }

unsigned online_cpus() {
  const DWORD cpus = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return cpus > 0 ? static_cast<unsigned>(cpus) : 1;
}
