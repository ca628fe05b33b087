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
#include <optional>
#include <string>
#include <thread>

#include "engine/command.h"
#include "engine/device.h"

namespace {

using Clock = std::chrono::steady_clock;

// The tool's event loop. Engine tasks and input lines arrive from other
// threads; both are handled here, on the main thread, lines one at a time
// and only when no "wait" is in progress.
class Loop {
 public:
  void Post(std::function<void()> task) {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
  }
  void AddLine(std::optional<std::string> line) {  // nullopt: end of input
    {
      std::lock_guard lock(mutex_);
      lines_.push_back(std::move(line));
    }
    wake_.notify_one();
  }
  // Next input line, running engine tasks meanwhile; nullopt at end of input.
  std::optional<std::string> NextLine() {
    for (;;) {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return !tasks_.empty() || !lines_.empty(); });
      if (!tasks_.empty()) {
        RunOne(lock);
        continue;
      }
      auto line = std::move(lines_.front());
      lines_.pop_front();
      return line;
    }
  }
  // Runs engine tasks until the deadline.
  void RunUntil(Clock::time_point deadline) {
    for (;;) {
      std::unique_lock lock(mutex_);
      if (!wake_.wait_until(lock, deadline, [&] { return !tasks_.empty(); })) return;
      RunOne(lock);
    }
  }
  // Runs the engine tasks already queued.
  void Drain() { RunUntil(Clock::now()); }

 private:
  void RunOne(std::unique_lock<std::mutex>& lock) {
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
  }
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  std::deque<std::optional<std::string>> lines_;
};

}  // namespace

int main() {
  Loop loop;
  qel::engine::Engine engine([&loop](std::function<void()> task) { loop.Post(std::move(task)); });
  engine.SetNotifyHandler([](int code, const std::string& alias, qel::engine::NotifyCurrent) {
    std::printf("notify\t%d\t%s\n", code, alias.c_str());
    std::fflush(stdout);
  });

  std::thread reader([&loop] {
    std::string line;
    while (std::getline(std::cin, line)) loop.AddLine(line);
    loop.AddLine(std::nullopt);
  });

  while (auto line = loop.NextLine()) {
    std::string text = *line;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    auto words = qel::engine::SplitCommand(text);
    if (words.items.empty()) continue;
    if (words.items.size() == 2 && qel::engine::SameWord(words.items[0], "wait")) {
      if (auto ms = qel::engine::ParseInteger(words.items[1]); ms && *ms >= 0) {
        loop.RunUntil(Clock::now() + std::chrono::milliseconds(*ms));
        continue;
      }
    }
    std::string answer;
    int err = engine.Send(text, &answer);
    std::printf("%d\t%s\n", err, answer.c_str());
    std::fflush(stdout);
    loop.Drain();
  }
  reader.join();
  engine.Send("close all");
  return 0;
}
