// A small set of threads that run jobs in the order they were handed in, for the sizing
// engine's subtrees.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace brontal {

// Starts its threads at once; going away drops the jobs not yet started and waits for those
// running, whose futures then report a broken promise if anyone still holds them.
class WorkerPool {
 public:
  // At least one thread.
  explicit WorkerPool(int threads);
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  ~WorkerPool();

  // Queues `job`; the future gives its result, or rethrows what it threw.
  template <class Job>
  std::future<std::invoke_result_t<Job&>> Submit(Job job) {
    using Result = std::invoke_result_t<Job&>;
    // Shared, as std::function copies what it holds and a packaged task cannot be copied.
    auto task = std::make_shared<std::packaged_task<Result()>>(std::move(job));
    std::future<Result> result = task->get_future();
    Push([task] { (*task)(); });
    return result;
  }

 private:
  void Push(std::function<void()> job);
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace brontal
