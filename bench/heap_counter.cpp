// glibc exports its allocator under __libc_* names, so replacements can forward to it. Sizes
// are taken with malloc_usable_size, which is what each block really holds.
#include "bench/heap_counter.h"

#include <malloc.h>

#include <atomic>
#include <cstddef>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<bool> gCounting{false};
std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};

void Count(int64_t delta) {
  if (!gCounting.load(std::memory_order_relaxed)) return;
  const int64_t live = gLive.fetch_add(delta) + delta;
  int64_t peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
  }
}
int64_t SizeOf(void* block) {
  return block != nullptr ? static_cast<int64_t>(malloc_usable_size(block)) : 0;
}
}  // namespace

void StartHeapCount() {
  gLive = 0;
  gPeak = 0;
  gCounting = true;
}
int64_t PeakHeapBytes() {
  return gPeak.load();
}
void StopHeapCount() {
  gCounting = false;
}

extern "C" {
// Blocks freed while counting may come from before the start; the live total can then dip
// below zero, which only lowers the peak of later blocks by what was freed early.
void* malloc(size_t size) {
  void* block = __libc_malloc(size);
  Count(SizeOf(block));
  return block;
}
void* calloc(size_t count, size_t size) {
  void* block = __libc_calloc(count, size);
  Count(SizeOf(block));
  return block;
}
void* realloc(void* block, size_t size) {
  const int64_t before = SizeOf(block);
  void* moved = __libc_realloc(block, size);
  if (moved != nullptr || size == 0) Count(SizeOf(moved) - before);
  return moved;
}
void free(void* block) {
  Count(-SizeOf(block));
  __libc_free(block);
}
}
