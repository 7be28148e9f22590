// The suite's one counter: nanoseconds per unit of work.
#pragma once

#include <benchmark/benchmark.h>

namespace tumelin::bench {

// ns per point-step (or per point, per call) for `items` of them done in
// every iteration: counted in units of 1e-9 as a rate, then inverted
inline benchmark::Counter NsPer(double items) {
  return benchmark::Counter(items * 1e-9,
                            benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace tumelin::bench
