#pragma once
// For the tests: the bytes a call asks of operator new (every allocation of
// the C++ routines, std::vector's among them). The test program that links
// allocation_count.cpp replaces the global operator new to count them. And
// the growth of the peak memory a call causes, whoever allocates.

#include <functional>
#include <optional>

namespace testing_support {

long long bytes_allocated_by(const std::function<void()>& call);

// How far the call raises the process's peak resident memory above what is
// resident before it, in bytes: storage of any allocator counts, the copies a
// Fortran compiler makes before a call among it. Empty where the peak cannot
// be reset (/proc/self/clear_refs).
std::optional<long long> peak_memory_growth_of(const std::function<void()>& call);

}  // namespace testing_support
