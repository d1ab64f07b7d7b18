#include "bench/Measure.h"

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <thread>
#include <vector>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for every worker thread to be started and waiting.
constexpr std::chrono::milliseconds kStartDelay(100);

}  // namespace

bool MeasureLatency(const char* name, int count, const std::function<bool()>& operation, Latency* latency) {
  if (!operation()) {
    std::fprintf(stderr, "%s: the untimed first run failed\n", name);
    return false;
  }
  std::vector<double> micros;
  micros.reserve(count);
  for (int run = 0; run < count; ++run) {
    const Clock::time_point start = Clock::now();
    if (!operation()) {
      std::fprintf(stderr, "%s: run %d failed\n", name, run);
      return false;
    }
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::sort(micros.begin(), micros.end());
  latency->medianMicroseconds = micros[micros.size() / 2];
  latency->percentile99Microseconds = micros[micros.size() * 99 / 100];
  return true;
}

void PrintLatency(const Latency& latency) {
  std::printf("%.1f %.1f\n", latency.medianMicroseconds, latency.percentile99Microseconds);
}

bool MeasureAndPrintLatency(const char* name, int count, const std::function<bool()>& operation) {
  Latency latency;
  if (!MeasureLatency(name, count, operation, &latency)) return false;
  PrintLatency(latency);
  return true;
}

void MeasureThroughput(int workers, int milliseconds, const std::function<bool(int)>& connect,
                       const std::function<bool(int)>& operation) {
  std::vector<int> connected;
  long failures = 0;
  for (int worker = 0; worker < workers; ++worker) {
    if (connect(worker)) connected.push_back(worker);
    else ++failures;
  }

  const Clock::time_point start = Clock::now() + kStartDelay;
  const Clock::time_point deadline = start + std::chrono::milliseconds(milliseconds);
  // One slot per worker, written only by its thread: no atomics, which a
  // 32-bit target may lack for 64-bit values.
  std::vector<long> done(connected.size(), 0);
  std::vector<long> failed(connected.size(), 0);
  std::vector<Clock::time_point> ended(connected.size(), start);
  std::vector<std::thread> threads;
  for (std::size_t slot = 0; slot < connected.size(); ++slot) {
    threads.emplace_back([&, slot] {
      std::this_thread::sleep_until(start);
      while (Clock::now() < deadline) {
        if (operation(connected[slot])) ++done[slot];
        else ++failed[slot];
      }
      ended[slot] = Clock::now();
    });
  }
  for (std::thread& thread : threads) thread.join();
  // The run lasts until its slowest worker has had its last answer.
  const Clock::time_point end = connected.empty() ? start : *std::max_element(ended.begin(), ended.end());
  const double elapsed = std::chrono::duration<double>(end - start).count();
  const long operations = std::accumulate(done.begin(), done.end(), 0L);
  failures += std::accumulate(failed.begin(), failed.end(), 0L);
  std::printf("%.0f %ld\n", elapsed > 0 ? operations / elapsed : 0.0, failures);
}

int PositiveNumber(const char* text) {
  char* end = nullptr;
  const long value = strtol(text, &end, 10);
  return end != text && *end == '\0' && value > 0 && value < 1000000000 ? static_cast<int>(value) : 0;
}

}  // namespace bench
