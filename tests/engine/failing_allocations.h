#pragma once

// Replaces the global operator new and delete of the test program that
// includes it, so that a test can make allocations fail on demand. Include it
// in exactly one source file of a program: replacement functions must not be
// inline, so a second copy would be a duplicate definition.

#include <cstdlib>
#include <new>

namespace kelvoran::testing {

inline thread_local int t_allocationsLeft = -1;  // below 0: none fails
inline thread_local bool t_allocationFailed = false;

// While it exists, the allocations of this thread fail with std::bad_alloc
// once the given number of them has succeeded. Other threads are unaffected.
class FailingAllocations {
 public:
  explicit FailingAllocations(int succeeding = 0) {
    t_allocationsLeft = succeeding;
    t_allocationFailed = false;
  }
  ~FailingAllocations() { t_allocationsLeft = -1; }
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;

  bool AnyFailed() const { return t_allocationFailed; }
};

inline void* Allocate(std::size_t size) {
  if (t_allocationsLeft == 0) {
    t_allocationFailed = true;
    throw std::bad_alloc();
  }
  if (t_allocationsLeft > 0) --t_allocationsLeft;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

inline void* AllocateOrNull(std::size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace kelvoran::testing

// Every unaligned form, all on malloc and free: the sanitizers replace these
// too, and a block must not be allocated by theirs and freed by ours. The
// aligned forms stay theirs (or the library's) on both sides.
void* operator new(std::size_t size) { return kelvoran::testing::Allocate(size); }
void* operator new[](std::size_t size) { return kelvoran::testing::Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return kelvoran::testing::AllocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return kelvoran::testing::AllocateOrNull(size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
