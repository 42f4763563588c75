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

// A lock and one condition that threads wait on together, from the
// platform's own primitives (the tools need no C++ runtime library).
class ThreadMonitor {
 public:
  ThreadMonitor();
  ~ThreadMonitor();
  ThreadMonitor(const ThreadMonitor&) = delete;
  ThreadMonitor& operator=(const ThreadMonitor&) = delete;

  void lock();
  void unlock();
  // With the lock held: releases it until woken (or spuriously), then takes
  // it again. Callers test what they wait for in a loop.
  void wait();
  // Wakes every waiting thread.
  void wake_all();

  // Holds the lock for a scope; release() and take() let it go and take it
  // again within the scope.
  class Hold {
   public:
    explicit Hold(ThreadMonitor& monitor) : monitor_(monitor) { monitor_.lock(); }
    ~Hold() {
      if (held_) monitor_.unlock();
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    void release() {
      monitor_.unlock();
      held_ = false;
    }
    void take() {
      monitor_.lock();
      held_ = true;
    }

   private:
    ThreadMonitor& monitor_;
    bool held_ = true;
  };

 private:
  // The platform's lock and condition: a pthread mutex and condition
  // variable, or an SRW lock and a condition variable.
  alignas(16) unsigned char storage_[128];
};

// How many CPUs the system has online for this process (at least 1).
unsigned online_cpus();

#endif  // COMMON_WORKER_THREAD_H
