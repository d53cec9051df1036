#include "mime/body_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace pelmora {
namespace {

TEST(BodyText, CopiesAndSlicesShareTheBytes) {
    const TBodyText whole = TBodyText::Own("header\r\n\r\nbody");
    const TBodyText copy = whole;
    EXPECT_EQ(copy.View().data(), whole.View().data());
    const TBodyText body = whole.Slice(whole.View().substr(10));
    EXPECT_EQ(body, "body");
    EXPECT_EQ(body.View().data(), whole.View().data() + 10);
    // A slice of all the bytes is the whole text.
    EXPECT_EQ(whole.Slice(whole.View()), "header\r\n\r\nbody");
    EXPECT_TRUE(whole.Slice(std::string_view()).empty());
}

TEST(BodyText, WritingCopiesOnlyWhatIsShared) {
    TBodyText whole = TBodyText::Own("abcdef");
    const TBodyText slice = whole.Slice(whole.View().substr(2, 2));
    const TBodyText copy = whole;
    whole.Mutable() += "gh";
    EXPECT_EQ(whole, "abcdefgh");
    EXPECT_EQ(copy, "abcdef");
    EXPECT_EQ(slice, "cd");

    // A text held by one body alone is written in place.
    TBodyText alone = TBodyText::Own("xyz");
    const char* before = alone.View().data();
    alone.Mutable()[0] = 'X';
    EXPECT_EQ(alone.View().data(), before);
    EXPECT_EQ(alone, "Xyz");

    // A slice written to becomes a text of its own with only the slice's bytes.
    TBodyText part = copy.Slice(copy.View().substr(1, 3));
    part.Mutable() += "!";
    EXPECT_EQ(part, "bcd!");
    EXPECT_EQ(copy, "abcdef");
}

TEST(BodyText, MovedAndClearedBodiesAreEmpty) {
    TBodyText first = TBodyText::Own("text");
    TBodyText second = std::move(first);
    EXPECT_EQ(second, "text");
    EXPECT_TRUE(first.empty()); // NOLINT: a moved-from body reads as empty
    first = second;
    second.clear();
    EXPECT_TRUE(second.empty());
    EXPECT_EQ(first, "text");
    first = first; // NOLINT: self-assignment keeps the text
    EXPECT_EQ(first, "text");
    TBodyText grown;
    grown.Mutable() = "new";
    EXPECT_EQ(grown, "new");
}

} // namespace
} // namespace pelmora
