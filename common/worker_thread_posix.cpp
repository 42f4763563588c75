// POSIX threads, with their default stack.
#include <pthread.h>
#include <unistd.h>

#include <cstring>

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
    *error = failed;
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

unsigned online_cpus() {
  const long cpus = ::sysconf(_SC_NPROCESSORS_ONLN);
  return cpus > 0 ? static_cast<unsigned>(cpus) : 1;
}
