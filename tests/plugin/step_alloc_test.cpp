// A step allocates nothing. This program replaces the global allocation
// functions to count calls, so it stays a program of its own.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <new>

#include "dynamics.h"
#include "membranes.h"

using namespace tumelin;

namespace {

bool counting = false;
long allocations = 0;

void* Allocate(std::size_t size) {
  if (counting) ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

TEST(StepAllocation, TheCounterSeesAllocations) {
  counting = true;
  allocations = 0;
  void* volatile p = ::operator new(16);
  ::operator delete(p);
  counting = false;
  EXPECT_EQ(allocations, 1);
}

TEST(StepAllocation, StepsOfEveryMethodAllocateNothing) {
  Membrane m = SphereMembrane(17, 9);
  m.points[0].Fixed = 1;
  m.points[7].Fixed = 1;
  TClothSetup setup{0.5, 5.0, 5.0, 1.0, 500, 0};
  counting = true;
  allocations = 0;
  for (int32_t method : {0, 1, 2, -1}) {
    setup.ClothMethod = method;
    for (int step = 0; step < 5; ++step) Step(m, setup);
  }
  counting = false;
  EXPECT_EQ(allocations, 0);
}

}  // namespace
