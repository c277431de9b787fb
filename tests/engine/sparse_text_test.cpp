#include "engine/sparse_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace kelvoran {
namespace {

// An empty text holds no block of its own: it reads the one shared empty
// string.
bool HoldsBlock(const SparseText& text) { return text.c_str() != SparseText().c_str(); }

TEST(SparseText, ReadsLikeTheStringItWasGiven) {
  const std::string longText(100, 'x');
  for (const std::string& given : {std::string(), std::string("gw"), longText}) {
    SCOPED_TRACE(given);
    const SparseText text = given;
    EXPECT_EQ(text.str(), given);
    EXPECT_EQ(static_cast<const std::string&>(text), given);
    EXPECT_EQ(text.empty(), given.empty());
    EXPECT_EQ(text.size(), given.size());
    EXPECT_STREQ(text.c_str(), given.c_str());
    EXPECT_EQ(HoldsBlock(text), !given.empty());
    EXPECT_TRUE(text == given && given == text && text == given.c_str() &&
                text == SparseText(given));
    EXPECT_TRUE(text != given + "y" && text != "y" && text != SparseText(given + "y"));
  }
}

TEST(SparseText, CopiesAreIndependentAndEmptyingFreesTheBlock) {
  SparseText original = "router";
  SparseText copy = original;
  SparseText assigned;
  assigned = original;
  original = std::string_view("switch");
  EXPECT_EQ(copy, "router");
  EXPECT_EQ(assigned, "router");
  EXPECT_NE(copy.c_str(), assigned.c_str());

  copy = copy;  // self-assignment keeps the text
  EXPECT_EQ(copy, "router");
  copy = copy.str();  // as does assigning its own string
  EXPECT_EQ(copy, "router");

  SparseText moved = std::move(original);
  EXPECT_EQ(moved, "switch");
  for (SparseText* text : {&copy, &assigned, &moved}) {
    *text = "";
    EXPECT_TRUE(text->empty());
    EXPECT_FALSE(HoldsBlock(*text));
  }
  EXPECT_EQ(sizeof(SparseText), sizeof(void*));
}

}  // namespace
}  // namespace kelvoran
