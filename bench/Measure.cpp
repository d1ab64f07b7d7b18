#include "Measure.h"

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
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
  std::atomic<long> done(0);
  std::atomic<long> failed(0);
  std::atomic<Clock::rep> lastEnd(start.time_since_epoch().count());
  std::vector<std::thread> threads;
  for (int worker : connected) {
    threads.emplace_back([&, worker] {
      std::this_thread::sleep_until(start);
      long ok = 0;
      long bad = 0;
      while (Clock::now() < deadline) (operation(worker) ? ok : bad)++;
      done += ok;
      failed += bad;
      // The run lasts until its slowest worker has had its last answer.
      const Clock::rep end = Clock::now().time_since_epoch().count();
      Clock::rep seen = lastEnd.load();
      while (end > seen && !lastEnd.compare_exchange_weak(seen, end)) {
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const double elapsed =
      std::chrono::duration<double>(Clock::duration(lastEnd.load()) - start.time_since_epoch()).count();
  std::printf("%.0f %ld\n", elapsed > 0 ? done.load() / elapsed : 0.0, failures + failed.load());
}

int PositiveNumber(const char* text) {
  char* end = nullptr;
  const long value = strtol(text, &end, 10);
  return end != text && *end == '\0' && value > 0 && value < 1000000000 ? static_cast<int>(value) : 0;
}

}  // namespace bench
