#pragma once
// Memory for the per-frame tables and the file buffers.
//
// A five-hour file has about 690,000 frames, and its tables take tens of
// megabytes. Filled on 4 KiB pages, every page costs a fault, and on a virtual
// machine those faults cost more than reading the whole file. Blocks of
// kLargeBlock bytes and more are therefore mapped on their own, aligned to
// 2 MiB and offered to the kernel for transparent huge pages (one fault per
// 2 MiB where the kernel grants them, the usual pages where it does not).
// Smaller blocks, and every block in sanitizer builds (so that bounds checks
// keep working), come from operator new.

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace quorvel {

constexpr size_t kLargeBlock = size_t{512} << 10;

// Throws std::bad_alloc when the memory is not there, as operator new does.
void* AllocateLarge(size_t bytes);
// bytes must be the count given to AllocateLarge.
void FreeLarge(void* block, size_t bytes) noexcept;

template <class T>
struct LargeAllocator {
  using value_type = T;

  LargeAllocator() noexcept = default;
  template <class U>
  LargeAllocator(const LargeAllocator<U>&) noexcept {}

  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocateLarge(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) noexcept { FreeLarge(p, n * sizeof(T)); }

  template <class U>
  bool operator==(const LargeAllocator<U>&) const noexcept {
    return true;
  }
};

template <class T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

// A fixed-size byte buffer from AllocateLarge, zero-filled when made.
class LargeBuffer {
 public:
  LargeBuffer() = default;
  explicit LargeBuffer(size_t bytes);
  ~LargeBuffer();
  LargeBuffer(const LargeBuffer&) = delete;
  LargeBuffer& operator=(const LargeBuffer&) = delete;
  LargeBuffer(LargeBuffer&& other) noexcept;
  LargeBuffer& operator=(LargeBuffer&& other) noexcept;

  uint8_t* data() { return bytes_; }
  const uint8_t* data() const { return bytes_; }
  size_t size() const { return size_; }

 private:
  uint8_t* bytes_ = nullptr;
  size_t size_ = 0;
};

}  // namespace quorvel
