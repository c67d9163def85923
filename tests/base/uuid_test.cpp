#include "base/uuid.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace tavrel {
namespace {

TEST(Uuid, RandomIsVersion4WithUpperCaseText) {
    const auto uuid = Uuid::random();
    const auto text = uuid.text();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos);
    for (char c : text) {
        EXPECT_TRUE(c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << text;
    }
}

TEST(Uuid, RandomValuesDiffer) {
    std::unordered_set<Uuid> seen;
    for (int i = 0; i < 1000; ++i)
        EXPECT_TRUE(seen.insert(Uuid::random()).second);
}

TEST(Uuid, ParsesEitherCaseAndRoundTrips) {
    const auto lower = Uuid::parse("0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f0");
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->text(), "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0");
    EXPECT_EQ(Uuid::parse(lower->text()), lower);
}

TEST(Uuid, RejectsAnythingButTheCanonicalForm) {
    for (const char* text :
         {"", "abc", "0f1e2d3c4b5a49688776a5b4c3d2e1f0", "0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f",
          "0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1fg", "0f1e2d3c-4b5a-4968-877-6a5b4c3d2e1f0",
          "{0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f}"}) {
        EXPECT_FALSE(Uuid::parse(text)) << text;
    }
}

}  // namespace
}  // namespace tavrel
