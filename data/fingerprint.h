#pragma once

#include <cstddef>
#include <cstdint>

// A 64-bit digest of a file's bytes with their count, fed in pieces of any size:
// two contents that differ anywhere, also in a way that keeps the size and the
// time stamp, give different fingerprints but with a chance of one in 2^64.
class Fingerprint {
  public:
    void add(const char* bytes, size_t size);
    uint64_t size() const { return size_; }
    // The digest of everything added so far; more may still be added afterwards.
    uint64_t digest() const;

    bool operator==(const Fingerprint& other) const {
        return size_ == other.size_ && digest() == other.digest();
    }
    bool operator!=(const Fingerprint& other) const { return !(*this == other); }

  private:
    static constexpr size_t kBlock = 32;
    void mixBlock(const unsigned char* block);

    // Four lanes, so that the multiplications of neighbouring words overlap.
    uint64_t lanes_[4] = {0x9E3779B185EBCA87ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull,
                          0x85EBCA77C2B2AE63ull};
    unsigned char pending_[kBlock] = {};
    size_t pendingSize_ = 0;
    uint64_t size_ = 0;
};
