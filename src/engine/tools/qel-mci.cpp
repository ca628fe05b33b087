// qel-mci: drives the media engine from standard input, one command string a
// line, printing "<error>\t<answer>" per command and "notify\t<code>\t<alias>"
// per notification. "wait <ms>" lets time pass while notifications arrive.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "engine/command.h"
#include "engine/device.h"

namespace {

// The tool's event loop: engine tasks and input lines share one queue, so
// everything the engine reports runs on this (main) thread.
class Loop {
 public:
  void Post(std::function<void()> task) {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
  }
  // Runs tasks until the deadline (or, without one, until a task is run and
  // `stop` says so).
  void RunUntil(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& stop) {
    while (!stop()) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        if (tasks_.empty() && wake_.wait_until(lock, deadline) == std::cv_status::timeout && tasks_.empty())
          return;
        if (tasks_.empty()) continue;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace

int main() {
  Loop loop;
  qel::engine::Engine engine([&loop](std::function<void()> task) { loop.Post(std::move(task)); });
  engine.SetNotifyHandler([](int code, const std::string& alias) {
    std::printf("notify\t%d\t%s\n", code, alias.c_str());
    std::fflush(stdout);
  });

  bool done = false;
  std::thread reader([&] {
    std::string line;
    while (std::getline(std::cin, line)) {
      loop.Post([&engine, &loop, line] {
        std::string text = line;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        auto words = qel::engine::SplitCommand(text);
        if (words.items.size() == 2 && qel::engine::SameWord(words.items[0], "wait")) {
          auto ms = qel::engine::ParseInteger(words.items[1]);
          if (ms && *ms >= 0) {
            loop.RunUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(*ms), [] { return false; });
            return;
          }
        }
        if (words.items.empty()) return;
        std::string answer;
        int err = engine.Send(text, &answer);
        std::printf("%d\t%s\n", err, answer.c_str());
        std::fflush(stdout);
      });
    }
    loop.Post([&done] { done = true; });
  });
  loop.RunUntil(std::chrono::steady_clock::time_point::max(), [&] { return done; });
  reader.join();
  engine.Send("close all");
  return 0;
}
