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
// one thread per job (the calling thread alone when there is one job), and
// hands each item with its result to emit(n, item, result) on the calling
// thread in the order next() gave them, n counting from 1. No item is taken
// once stop() is true; every item taken is emitted. Returns how many were
// taken. An exception from work or emit ends the run and is thrown once the
// threads have finished; next() must not throw.
template <typename Job, typename Item, typename Result>
std::size_t runInOrder(const std::function<std::optional<Item>()>& next, std::vector<Job>& jobs,
                       const std::function<bool()>& stop,
                       const std::function<Result(const Item&, Job&)>& work,
                       const std::function<void(std::size_t, Item&, Result&)>& emit) {
  if (jobs.size() <= 1) {
    std::size_t taken = 0;
    while (!stop()) {
      std::optional<Item> item = next();
      if (!item) {
        break;
      }
      Result result = work(*item, jobs.front());
      emit(++taken, *item, result);
    }
    return taken;
  }

  // Results wait in a ring no further ahead of the one emitted next than
  // this, so that memory stays flat however many files there are.
  const std::size_t ahead = jobs.size() * 16;
  std::vector<std::optional<std::pair<Item, Result>>> ring(ahead);
  std::mutex mutex;
  // Taking the next item may read a folder: a job does that holding only
  // this, so that results go on being emitted meanwhile.
  std::mutex taking;
  std::condition_variable ready;  // a result, an error or a thread's end
  std::condition_variable room;   // a slot freed, or the end
  std::size_t taken = 0;
  std::size_t emitted = 0;
  std::size_t running = jobs.size();
  bool ending = false;
  bool exhausted = false;
  std::exception_ptr error;

  const auto worker = [&](Job& job) {
    std::unique_lock takingLock(taking, std::defer_lock);
    std::unique_lock lock(mutex);
    while (true) {
      lock.unlock();
      takingLock.lock();
      lock.lock();
      room.wait(lock, [&] { return ending || exhausted || taken - emitted < ahead; });
      if (ending || exhausted || stop()) {
        takingLock.unlock();
        break;
      }
      lock.unlock();
      std::optional<Item> item = next();
      lock.lock();
      takingLock.unlock();
      if (!item) {
        exhausted = true;
        room.notify_all();
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
      ready.notify_all();
    }
    --running;
    ready.notify_all();
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
  for (Job& job : jobs) {
    threads.emplace_back(worker, std::ref(job));
  }

  std::unique_lock lock(mutex);
  while (true) {
    ready.wait(lock, [&] {
      return ring[emitted % ahead].has_value() || error || (running == 0 && emitted == taken);
    });
    if (ring[emitted % ahead].has_value()) {
      std::pair<Item, Result> done = std::move(*ring[emitted % ahead]);
      ring[emitted % ahead].reset();
      ++emitted;
      room.notify_all();
      lock.unlock();
      emit(emitted, done.first, done.second);
      lock.lock();
    } else if (error) {
      lock.unlock();
      std::rethrow_exception(error);
    } else {
      return taken;
    }
  }
}

}  // namespace tagkana::cli
