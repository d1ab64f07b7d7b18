#pragma once

#include <functional>

// The two ways the bench programs measure, and the one-line form in which
// they print a result for scripts/bench.sh to read. Call from one thread.
namespace bench {

struct Latency {
  double medianMicroseconds = 0;
  double percentile99Microseconds = 0;
};

// Runs operation once untimed (it connects, warms caches), then count times
// timed, and fills *latency. Returns false, naming the failed run on stderr,
// at the first operation that returns false.
bool MeasureLatency(const char* name, int count, const std::function<bool()>& operation, Latency* latency);

// Prints "MEDIAN P99" in microseconds.
void PrintLatency(const Latency& latency);

// MeasureLatency, then PrintLatency when it succeeded.
bool MeasureAndPrintLatency(const char* name, int count, const std::function<bool()>& operation);

// A throughput run of workers, each on a thread of its own with a
// connection of its own. connect(worker) runs for each worker in turn before
// any timing (so a burst of connects never meets the listen backlog); a
// worker whose connect fails does not run. Then every connected worker calls
// operation(worker) as fast as it can for the given milliseconds, all starting
// together. Prints "OPERATIONS_PER_SECOND FAILURES", counting only
// operations that returned true; failed connects and failed operations are
// counted, not fatal.
void MeasureThroughput(int workers, int milliseconds, const std::function<bool(int)>& connect,
                       const std::function<bool(int)>& operation);

// A positive count from a command-line argument; 0 when it is not one.
int PositiveNumber(const char* text);

}  // namespace bench
