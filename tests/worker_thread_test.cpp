// The monitor hands turns between threads without losing a wake-up, whether
// the one it wakes is already asleep or not yet waiting.
#include "common/worker_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

// Threads that take turns in a ring: thread i may go when turn % count == i.
// Every so often the one whose turn it is dawdles, so that the others are
// surely asleep; a wake-up lost either way hangs the ring, which the test's
// time limit reports.
struct Ring {
  ThreadMonitor monitor;
  unsigned count = 0;
  unsigned turn = 0;
  unsigned last_turn = 0;
  unsigned visits[4] = {};

  void take_turns(unsigned index) {
    ThreadMonitor::Hold hold(monitor);
    for (;;) {
      while (turn < last_turn && turn % count != index) monitor.wait();
      if (turn >= last_turn) return;
      ++visits[index];
      if (turn % 997 == 0) {
        hold.release();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        hold.take();
      }
      ++turn;
      monitor.wake_all();
    }
  }
};

void ring_member(void* context) {
  auto* member = static_cast<std::pair<Ring*, unsigned>*>(context);
  member->first->take_turns(member->second);
}

TEST(ThreadMonitor, TurnsGoRoundWithoutALostWakeUp) {
  if (const char* why = std::getenv("CHUNKTOOLS_NO_THREADS")) GTEST_SKIP() << why;
  for (const unsigned threads : {2u, 4u}) {
    Ring ring;
    ring.count = threads;
    ring.last_turn = 20000;
    std::pair<Ring*, unsigned> members[4];
    WorkerThread workers[3];
    for (unsigned i = 1; i < threads; ++i) {
      members[i] = {&ring, i};
      SystemError error = 0;
      ASSERT_TRUE(workers[i - 1].start(ring_member, &members[i], &error)) << error;
    }
    ring.take_turns(0);
    for (unsigned i = 1; i < threads; ++i) workers[i - 1].join();
    for (unsigned i = 0; i < threads; ++i) EXPECT_EQ(ring.visits[i], ring.last_turn / threads) << threads << " " << i;
  }
}

}  // namespace
