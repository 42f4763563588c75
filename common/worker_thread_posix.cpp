// POSIX threads, with their default stack.
#include <pthread.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "common/worker_thread.h"

static_assert(sizeof(pthread_t) <= 16, "a pthread_t fits the handle's room");

struct WorkerThreadEntry {
  static void* run(void* thread) {
    WorkerThread* self = static_cast<WorkerThread*>(thread);
    self->body_(self->argument_);
    return nullptr;
  }
};

bool WorkerThread::start(void (*body)(void*), void* argument, SystemError* error) {
  body_ = body;
  argument_ = argument;
  pthread_t thread;
  const int failed = ::pthread_create(&thread, nullptr, WorkerThreadEntry::run, this);
  if (failed != 0) {
    *error = static_cast<SystemError>(failed);
    return false;
  }
  std::memcpy(handle_, &thread, sizeof thread);
  started_ = true;
  return true;
}

void WorkerThread::join() {
  if (!started_) return;
  pthread_t thread;
  std::memcpy(&thread, handle_, sizeof thread);
  ::pthread_join(thread, nullptr);
  started_ = false;
}

namespace {

struct PosixMonitor {
  pthread_mutex_t mutex;
  pthread_cond_t condition;
};

}  // namespace

static_assert(sizeof(PosixMonitor) <= 128, "the lock and condition fit the monitor's room");

ThreadMonitor::ThreadMonitor() {
  PosixMonitor* monitor = new (storage_) PosixMonitor;
  ::pthread_mutex_init(&monitor->mutex, nullptr);
  ::pthread_cond_init(&monitor->condition, nullptr);
}

ThreadMonitor::~ThreadMonitor() {
  PosixMonitor* monitor = reinterpret_cast<PosixMonitor*>(storage_);
  ::pthread_cond_destroy(&monitor->condition);
  ::pthread_mutex_destroy(&monitor->mutex);
}

void ThreadMonitor::lock() { ::pthread_mutex_lock(&reinterpret_cast<PosixMonitor*>(storage_)->mutex); }

void ThreadMonitor::unlock() { ::pthread_mutex_unlock(&reinterpret_cast<PosixMonitor*>(storage_)->mutex); }

void ThreadMonitor::wait() {
  PosixMonitor* monitor = reinterpret_cast<PosixMonitor*>(storage_);
  ::pthread_cond_wait(&monitor->condition, &monitor->mutex);
}

void ThreadMonitor::wake_all() { ::pthread_cond_broadcast(&reinterpret_cast<PosixMonitor*>(storage_)->condition); }

unsigned online_cpus() {
  const long cpus = ::sysconf(_SC_NPROCESSORS_ONLN);
  return cpus > 0 ? static_cast<unsigned>(cpus) : 1;
}
