#include "OwnedMemory.h"

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <map>
#include <mutex>
#include <new>

namespace {

// The registry's own nodes come from malloc: operator new records into it.
template <class T>
struct TMallocAllocator {
  using value_type = T;
  TMallocAllocator() = default;
  template <class U>
  TMallocAllocator(const TMallocAllocator<U>&) {}
  T* allocate(std::size_t n) {
    if (void* p = std::malloc(n * sizeof(T))) return static_cast<T*>(p);
    throw std::bad_alloc();
  }
  void deallocate(T* p, std::size_t) { std::free(p); }
  bool operator==(const TMallocAllocator&) const { return true; }
};

// Freed blocks kept before the oldest is handed back to malloc: enough that a
// block freed during one test session stays unmistakable for its rest.
constexpr std::size_t kQuarantineBytes = 256u << 20;

struct TBlock {
  std::size_t size;
  bool live;
};

using TBlocks = std::map<std::uintptr_t, TBlock, std::less<>,
                         TMallocAllocator<std::pair<const std::uintptr_t, TBlock>>>;

std::mutex& Lock() {
  static std::mutex* lock = new (std::malloc(sizeof(std::mutex))) std::mutex;
  return *lock;
}

TBlocks& Blocks() {
  static TBlocks* blocks = new (std::malloc(sizeof(TBlocks))) TBlocks;
  return *blocks;
}

using TQuarantine = std::deque<std::uintptr_t, TMallocAllocator<std::uintptr_t>>;

TQuarantine& Quarantine() {
  static TQuarantine* quarantine = new (std::malloc(sizeof(TQuarantine))) TQuarantine;
  return *quarantine;
}

std::size_t quarantined = 0;

void* Allocate(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) return nullptr;
  std::lock_guard<std::mutex> guard(Lock());
  Blocks()[reinterpret_cast<std::uintptr_t>(p)] = {size, true};
  return p;
}

// Freed blocks stay allocated (quarantined), so that no later block can take
// their place and make a stray write look owned.
void Release(void* p) {
  if (p == nullptr) return;
  std::lock_guard<std::mutex> guard(Lock());
  auto found = Blocks().find(reinterpret_cast<std::uintptr_t>(p));
  if (found == Blocks().end() || !found->second.live) return;
  found->second.live = false;
  quarantined += found->second.size;
  Quarantine().push_back(found->first);
  while (quarantined > kQuarantineBytes) {
    auto oldest = Blocks().find(Quarantine().front());
    Quarantine().pop_front();
    quarantined -= oldest->second.size;
    std::free(reinterpret_cast<void*>(oldest->first));
    Blocks().erase(oldest);
  }
}

}  // namespace

bool IsOwnedHeapMemory(const void* address, std::size_t length) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  std::lock_guard<std::mutex> guard(Lock());
  auto after = Blocks().upper_bound(at);
  if (after == Blocks().begin()) return false;
  const auto& [start, block] = *std::prev(after);
  return block.live && at + length <= start + block.size;
}

void* operator new(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
