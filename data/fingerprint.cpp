#include "data/fingerprint.h"

#include <cstring>

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;

uint64_t rotateLeft(uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

uint64_t mixWord(uint64_t lane, uint64_t word) {
    return rotateLeft(lane + word * kPrime2, 31) * kPrime1;
}

uint64_t littleEndianWord(const unsigned char* bytes) {
    uint64_t word = 0;
    for (int i = 7; i >= 0; --i) word = (word << 8) | bytes[i];
    return word;
}

}  // namespace

void Fingerprint::mixBlock(const unsigned char* block) {
    for (int lane = 0; lane < 4; ++lane)
        lanes_[lane] = mixWord(lanes_[lane], littleEndianWord(block + 8 * lane));
}

void Fingerprint::add(const char* bytes, size_t size) {
    auto in = reinterpret_cast<const unsigned char*>(bytes);
    size_ += size;
    if (pendingSize_ > 0) {
        size_t take = kBlock - pendingSize_ < size ? kBlock - pendingSize_ : size;
        std::memcpy(pending_ + pendingSize_, in, take);
        pendingSize_ += take;
        in += take;
        size -= take;
        if (pendingSize_ < kBlock) return;
        mixBlock(pending_);
        pendingSize_ = 0;
    }
    for (; size >= kBlock; in += kBlock, size -= kBlock) mixBlock(in);
    std::memcpy(pending_, in, size);
    pendingSize_ = size;
}

uint64_t Fingerprint::digest() const {
    uint64_t hash = size_ * kPrime1;
    for (uint64_t lane : lanes_) {
        hash ^= mixWord(0, lane);
        hash = rotateLeft(hash, 27) * kPrime1 + kPrime2;
    }
    for (size_t i = 0; i < pendingSize_; ++i)
        hash = rotateLeft(hash ^ (pending_[i] * kPrime1), 11) * kPrime2;
    // Spread the last bits over the whole word.
    hash ^= hash >> 33;
    hash *= kPrime2;
    hash ^= hash >> 29;
    return hash;
}
