#pragma once
// For the tests: the bytes a call asks of operator new (every allocation of
// the C++ routines, std::vector's among them). The test program that links
// allocation_count.cpp replaces the global operator new to count them.

#include <functional>

namespace testing_support {

long long bytes_allocated_by(const std::function<void()>& call);

}  // namespace testing_support
