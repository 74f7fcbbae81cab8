// Memory handed out from one block a caller gives: pieces on whole 64-byte lines, zeroed, never
// given back one by one (an object takes its buffers once, when it is built, and the block goes
// back with the object). The arena never allocates and never fails loudly: a piece that does not
// fit comes back null, and the object that asked reports itself unusable.
//
// A measuring arena (built without a block) hands out nothing and counts what it was asked for,
// so an object's needs are known before its block is: a block of needed() + kLineBytes - 1 bytes,
// at any address, holds the same pieces. Pieces of 1, 64 and 65 bytes take 64, 64 and 128.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

namespace RYX {

class Arena {
  public:
    static constexpr size_t kLineBytes = 64;

    // Measuring: hands out nothing.
    Arena() = default;
    // The whole lines of block[0 .. bytes) (a null block or too few bytes for a line: none).
    Arena(void* block, size_t bytes) {
        if (block == nullptr) return;
        const auto address = reinterpret_cast<std::uintptr_t>(block);
        const size_t skip = (kLineBytes - address % kLineBytes) % kLineBytes;
        if (bytes < skip) return;
        base_ = static_cast<unsigned char*>(block) + skip;
        capacity_ = (bytes - skip) / kLineBytes * kLineBytes;
    }

    // `count` values of T, value-initialised (zeros for numbers), starting on a line; null when
    // they do not fit (a measuring arena: always), for count 0 and for a count no memory can hold.
    // T is trivially destructible: nothing in an arena is destroyed.
    template <typename T>
    T* take(size_t count) {
        static_assert(std::is_trivially_destructible_v<T>, "an arena destroys nothing");
        static_assert(alignof(T) <= kLineBytes, "pieces are aligned to lines");
        if (count == 0) return nullptr;
        if (count > (SIZE_MAX - kLineBytes) / sizeof(T)) {
            exhausted_ = true;
            needed_ = SIZE_MAX;
            return nullptr;
        }
        const size_t bytes = (count * sizeof(T) + kLineBytes - 1) / kLineBytes * kLineBytes;
        needed_ = needed_ > SIZE_MAX - bytes ? SIZE_MAX : needed_ + bytes;
        if (base_ == nullptr || capacity_ - used_ < bytes) {
            exhausted_ = true;
            return nullptr;
        }
        unsigned char* at = base_ + used_;
        used_ += bytes;
        T* values = reinterpret_cast<T*>(at);
        for (size_t i = 0; i < count; ++i) new (values + i) T();
        return values;
    }

    // Bytes asked for so far, each piece rounded up to whole lines (SIZE_MAX past any memory).
    size_t needed() const { return needed_; }
    // True while every piece asked for was handed out.
    bool fits() const { return !exhausted_; }

  private:
    unsigned char* base_ = nullptr;
    size_t capacity_ = 0;
    size_t used_ = 0;
    size_t needed_ = 0;
    bool exhausted_ = false;
};

}  // namespace RYX
