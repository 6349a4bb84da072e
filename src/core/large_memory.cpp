#include "core/large_memory.h"

#include <sys/mman.h>

#include <cstring>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define QUORVEL_PLAIN_ALLOCATION 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define QUORVEL_PLAIN_ALLOCATION 1
#endif
#endif

namespace quorvel {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

#ifdef QUORVEL_PLAIN_ALLOCATION
constexpr bool kMapLargeBlocks = false;
#else
constexpr bool kMapLargeBlocks = true;
#endif

bool Mapped(size_t bytes) { return kMapLargeBlocks && bytes >= kLargeBlock; }

size_t MappedLength(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

}  // namespace

void* AllocateLarge(size_t bytes) {
  if (!Mapped(bytes)) return ::operator new(bytes);
  if (bytes > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
  const size_t length = MappedLength(bytes);
  // Map one huge page more than needed and cut the block out on a 2 MiB boundary.
  const size_t span = length + kHugePage;
  void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
  const size_t head = aligned - start;
  const size_t tail = span - head - length;
  if (head > 0) ::munmap(raw, head);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + length), tail);
  void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
  ::madvise(block, length, MADV_HUGEPAGE);  // a kernel without huge pages keeps the usual ones
#endif
  return block;
}

void FreeLarge(void* block, size_t bytes) noexcept {
  if (!block) return;
  if (!Mapped(bytes)) {
    ::operator delete(block);
    return;
  }
  ::munmap(block, MappedLength(bytes));
}

LargeBuffer::LargeBuffer(size_t bytes) : bytes_(static_cast<uint8_t*>(AllocateLarge(bytes))), size_(bytes) {
  // Fresh anonymous mappings are already zero; touching them would fault every page in.
  if (!Mapped(bytes)) std::memset(bytes_, 0, bytes);
}

LargeBuffer::~LargeBuffer() { FreeLarge(bytes_, size_); }

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr)), size_(std::exchange(other.size_, 0)) {}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept {
  if (this != &other) {
    FreeLarge(bytes_, size_);
    bytes_ = std::exchange(other.bytes_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

}  // namespace quorvel
