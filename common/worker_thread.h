// Threads for the one tool that may start them when asked (chunksig -j):
// started and joined through the platform's own calls, so that a thread the
// system will not start is a failure the tool reports, not an abort.
#ifndef COMMON_WORKER_THREAD_H
#define COMMON_WORKER_THREAD_H

#include "common/file_handle.h"

class WorkerThread {
 public:
  // Runs body(argument) on a new thread; false, with the platform's error,
  // when the system will not start one.
  bool start(void (*body)(void*), void* argument, SystemError* error);
  // Waits for the thread to end; nothing when none was started.
  void join();

 private:
  void (*body_)(void*) = nullptr;
  void* argument_ = nullptr;
  // The platform's handle: a pthread_t or a HANDLE.
  alignas(8) unsigned char handle_[16] = {};
  bool started_ = false;

  friend struct WorkerThreadEntry;
};

// How many CPUs the system has online for this process (at least 1).
unsigned online_cpus();

#endif  // COMMON_WORKER_THREAD_H
