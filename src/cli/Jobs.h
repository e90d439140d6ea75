#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

// Work on many files at a time whose results come out in the files' order.
namespace tagkana::cli {

// Takes items from next() until it gives none, runs work(item, job) on them,
// one thread per job (the calling thread is the first job's), and hands each
// item with its result to emit(n, item, result) on the calling thread in the
// order next() gave them, n counting from 1. next() is called by one thread
// at a time and must not throw. No item is taken once stop() is true; every
// item taken is emitted. Returns how many were taken. An exception from work
// or emit ends the run and is thrown once the threads have finished.
template <typename Job, typename Item, typename Result>
std::size_t runInOrder(const std::function<std::optional<Item>()>& next, std::vector<Job>& jobs,
                       const std::function<bool()>& stop,
                       const std::function<Result(const Item&, Job&)>& work,
                       const std::function<void(std::size_t, Item&, Result&)>& emit) {
  // Results wait in a ring no further ahead of the one emitted next than
  // this, so that memory stays flat however many files there are.
  const std::size_t ahead = jobs.size() * 16;
  std::vector<std::optional<std::pair<Item, Result>>> ring(ahead);
  std::mutex mutex;
  std::condition_variable ready;  // the next result, an error or a thread's end
  std::condition_variable room;   // a slot freed, or the end
  std::size_t taken = 0;
  std::size_t emitted = 0;
  std::size_t running = jobs.size() - 1;
  bool ending = false;
  bool exhausted = false;
  // Waking a thread costs more than a small file's read: only one that
  // waits is woken.
  bool emitterWaits = false;
  std::size_t workersWaiting = 0;
  std::exception_ptr error;

  // The calling thread works with the first job while it has nothing to
  // emit; a thread each works with the others.
  const auto worker = [&](Job& job) {
    std::unique_lock lock(mutex);
    while (!ending && !exhausted && !stop()) {
      if (taken - emitted >= ahead) {
        ++workersWaiting;
        room.wait(lock);
        --workersWaiting;
        continue;
      }
      std::optional<Item> item = next();
      if (!item) {
        exhausted = true;
        break;
      }
      const std::size_t i = taken++;
      lock.unlock();
      std::optional<Result> result;
      try {
        result.emplace(work(*item, job));
      } catch (...) {
        lock.lock();
        if (!error) {
          error = std::current_exception();
        }
        ending = true;
        break;
      }
      lock.lock();
      ring[i % ahead].emplace(std::move(*item), std::move(*result));
      if (emitterWaits && i == emitted) {
        ready.notify_one();
      }
    }
    --running;
    ready.notify_one();
    room.notify_all();
  };

  std::vector<std::thread> threads;
  struct Joined {
    std::vector<std::thread>& threads;
    std::function<void()> end;
    ~Joined() {
      end();
      for (std::thread& thread : threads) {
        thread.join();
      }
    }
  } joined{threads, [&] {
             const std::lock_guard lock(mutex);
             ending = true;
             room.notify_all();
           }};
  for (std::size_t j = 1; j < jobs.size(); ++j) {
    threads.emplace_back(worker, std::ref(jobs[j]));
  }

  std::unique_lock lock(mutex);
  while (true) {
    if (std::optional<std::pair<Item, Result>>& slot = ring[emitted % ahead]; slot.has_value()) {
      std::pair<Item, Result> done = std::move(*slot);
      slot.reset();
      ++emitted;
      if (workersWaiting > 0) {
        room.notify_all();
      }
      lock.unlock();
      emit(emitted, done.first, done.second);
      lock.lock();
    } else if (error) {
      lock.unlock();
      std::rethrow_exception(error);
    } else if (!ending && !exhausted && taken - emitted < ahead && !stop()) {
      std::optional<Item> item = next();
      if (!item) {
        exhausted = true;
        room.notify_all();
        continue;
      }
      const std::size_t i = taken++;
      lock.unlock();
      Result result = work(*item, jobs.front());
      lock.lock();
      ring[i % ahead].emplace(std::move(*item), std::move(result));
    } else if (running == 0 && emitted == taken) {
      return taken;
    } else {
      emitterWaits = true;
      ready.wait(lock);
      emitterWaits = false;
    }
  }
}

}  // namespace tagkana::cli
