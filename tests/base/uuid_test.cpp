#include "base/uuid.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

TEST(Uuid, RandomIsVersion4WithUpperCaseTextThatParsesBack) {
    const auto text = Uuid::random().text();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos);
    for (char c : text)
        EXPECT_TRUE(c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << text;
    EXPECT_EQ(Uuid::parse(text)->text(), text);
    EXPECT_NE(Uuid::random(), Uuid::random());
}

TEST(Uuid, ParsesEitherCaseAndNothingButTheCanonicalForm) {
    EXPECT_EQ(Uuid::parse("0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f0")->text(),
              "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0");
    for (const char* text :
         {"", "0f1e2d3c4b5a49688776a5b4c3d2e1f0", "0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f",
          "0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1fg", "0f1e2d3c-4b5a-4968-877-6a5b4c3d2e1f0",
          "{0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f}"}) {
        EXPECT_FALSE(Uuid::parse(text)) << text;
    }
}

}  // namespace
}  // namespace tavrel
