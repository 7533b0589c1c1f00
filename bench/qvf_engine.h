// The workloads over ITEMS in the native table driver, through the file
// access layer the application uses (ITEMS.QVF in the current folder).
#ifndef VORSANDT_BENCH_QVF_ENGINE_H_
#define VORSANDT_BENCH_QVF_ENGINE_H_

#include <memory>

#include "bench/engine.h"

namespace vorsandt::bench {

// InitDictionary must have declared the tables with the native driver.
std::unique_ptr<Engine> MakeQvfEngine();

}  // namespace vorsandt::bench

#endif  // VORSANDT_BENCH_QVF_ENGINE_H_
