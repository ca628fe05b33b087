// The sound a private PulseAudio daemon's null sink was given, recorded from
// its monitor from the first sample on, for the tests that judge what was
// heard.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "../desktop/private_pulse.h"
#include "engine_harness.h"

namespace qel::test {

constexpr int kRate = 44100;  // what the recorder records at

// Records the sink's monitor as mono float samples (parec, from the daemon's
// own utilities) for as long as it lives, on a thread of its own so the
// server never has to drop any.
class Recorder {
 public:
  explicit Recorder(const PrivatePulse& pulse) {
    int fds[2];
    if (pipe(fds) != 0) return;
    std::string rate = "--rate=" + std::to_string(kRate);
    std::string server = pulse.Server();
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      dup2(fds[1], 1);
      close(fds[0]);
      close(fds[1]);
      execlp("parec", "parec", "--server", server.c_str(), "--device=qel_test_sink.monitor", "--raw",
             "--format=float32le", "--channels=1", rate.c_str(), "--latency-msec=20", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    fd_ = fds[0];
    if (pid_ > 0) reader_ = std::thread([this] { Read(); });
  }
  ~Recorder() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) close(fd_);
  }
  // A copy of what has been recorded since sample `mark`.
  std::vector<float> Samples(size_t mark = 0) {
    std::lock_guard l(mutex_);
    return {samples_.begin() + static_cast<long>(std::min(mark, samples_.size())), samples_.end()};
  }
  size_t Count() {
    std::lock_guard l(mutex_);
    return samples_.size();
  }
  double PeakDb(size_t from, size_t n) {
    std::lock_guard l(mutex_);
    float peak = 0;
    for (size_t i = from; i < from + n && i < samples_.size(); ++i) peak = std::max(peak, std::fabs(samples_[i]));
    return peak > 0 ? 20 * std::log10(peak) : -INFINITY;
  }
  // The level in dBFS (RMS) of n samples from `from`; -inf for silence.
  double LevelDb(size_t from, size_t n) {
    std::lock_guard l(mutex_);
    double sum = 0;
    for (size_t i = from; i < from + n && i < samples_.size(); ++i) sum += double(samples_[i]) * samples_[i];
    double rms = std::sqrt(sum / static_cast<double>(n));
    return rms > 0 ? 20 * std::log10(rms) : -INFINITY;
  }

 private:
  void Read() {
    std::vector<char> bytes;
    char buffer[4096];
    for (;;) {
      ssize_t got = read(fd_, buffer, sizeof buffer);
      if (got <= 0) break;
      bytes.insert(bytes.end(), buffer, buffer + got);
      size_t whole = bytes.size() / sizeof(float) * sizeof(float);
      std::lock_guard l(mutex_);
      size_t at = samples_.size();
      samples_.resize(at + whole / sizeof(float));
      std::memcpy(samples_.data() + at, bytes.data(), whole);
      bytes.erase(bytes.begin(), bytes.begin() + static_cast<long>(whole));
    }
  }
  pid_t pid_ = -1;
  int fd_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::vector<float> samples_;
};

// A test whose sound goes to a private server, recorded from its first sample.
class HeardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    output_ = std::make_unique<AudioOutput>("pulse");
    ASSERT_TRUE(output_->Ready()) << output_->Error();
    recorder_ = std::make_unique<Recorder>(*output_->Pulse());
  }

  std::unique_ptr<AudioOutput> output_;
  std::unique_ptr<Recorder> recorder_;
};

}  // namespace qel::test
