#include "data/fingerprint.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Fingerprint of(const std::string& bytes, size_t pieceSize) {
    Fingerprint f;
    for (size_t at = 0; at < bytes.size(); at += pieceSize)
        f.add(bytes.data() + at, std::min(pieceSize, bytes.size() - at));
    return f;
}

TEST(FingerprintTest, DependsOnEveryByteAndTheSizeButNotOnThePieces) {
    std::string content(100, 'a');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    const Fingerprint whole = of(content, content.size());
    EXPECT_EQ(whole.size(), 100u);
    for (size_t piece : {1u, 3u, 31u, 32u, 33u, 64u}) EXPECT_EQ(of(content, piece), whole) << piece;
    for (size_t i = 0; i < content.size(); ++i) {
        std::string changed = content;
        changed[i] = static_cast<char>(changed[i] ^ 1);
        EXPECT_NE(of(changed, 7), whole) << i;
    }
    EXPECT_NE(of(content + '\0', 100), whole);                     // a zero byte more
    EXPECT_NE(of(std::string(), 1), of(std::string(1, '\0'), 1));  // nothing, one zero
    EXPECT_NE(of("ab", 2), of("ba", 2));
}

}  // namespace
