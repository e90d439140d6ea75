#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Work on many files at a time whose results come out in the files' order.
namespace tagkana::cli {

// Runs work(i, job) for i = 0, 1, … count - 1, one thread per job (the
// calling thread alone when there is one job), and hands each result to
// emit(i, result) on the calling thread in the order of i. No index is taken
// once stop() is true; every index taken is emitted. Returns how many were
// taken. An exception from work or emit ends the run and is thrown once the
// threads have finished.
template <typename Job, typename Result>
std::size_t runInOrder(std::size_t count, std::vector<Job>& jobs, const std::function<bool()>& stop,
                       const std::function<Result(std::size_t, Job&)>& work,
                       const std::function<void(std::size_t, Result&)>& emit) {
  if (jobs.size() <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      if (stop()) {
        return i;
      }
      Result result = work(i, jobs.front());
      emit(i, result);
    }
    return count;
  }

  // Results wait in a ring no further ahead of the one emitted next than
  // this, so that memory stays flat however many files there are.
  const std::size_t ahead = jobs.size() * 16;
  std::vector<std::optional<Result>> ring(ahead);
  std::mutex mutex;
  std::condition_variable ready;  // a result, an error or a thread's end
  std::condition_variable room;   // a slot freed, or the end
  std::size_t taken = 0;
  std::size_t emitted = 0;
  std::size_t running = jobs.size();
  bool ending = false;
  std::exception_ptr error;

  const auto worker = [&](Job& job) {
    std::unique_lock lock(mutex);
    while (true) {
      room.wait(lock, [&] { return ending || taken == count || taken - emitted < ahead; });
      if (ending || taken == count || stop()) {
        break;
      }
      const std::size_t i = taken++;
      lock.unlock();
      std::optional<Result> result;
      try {
        result.emplace(work(i, job));
      } catch (...) {
        lock.lock();
        if (!error) {
          error = std::current_exception();
        }
        ending = true;
        break;
      }
      lock.lock();
      ring[i % ahead] = std::move(result);
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
      Result result = std::move(*ring[emitted % ahead]);
      ring[emitted % ahead].reset();
      lock.unlock();
      emit(emitted, result);
      lock.lock();
      ++emitted;
      room.notify_all();
    } else if (error) {
      lock.unlock();
      std::rethrow_exception(error);
    } else {
      return taken;
    }
  }
}

}  // namespace tagkana::cli
