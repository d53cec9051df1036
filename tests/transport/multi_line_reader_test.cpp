#include "transport/multi_line_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmora {
namespace {

struct TFramingCase {
    std::string Name;
    std::string Reply; // what follows the status line
    std::string Text;  // the text once the framing is undone
};

void PrintTo(const TFramingCase& item, std::ostream* out) {
    *out << item.Name;
}

class MultiLineReaderTest : public ::testing::TestWithParam<TFramingCase> {};

std::string Read(const std::string& reply, std::size_t firstPiece, std::size_t pieceSize,
                 bool& ended) {
    std::string text;
    TMultiLineReader reader(text, 0, 1024);
    ended = reader.Feed(std::string_view(reply).substr(0, firstPiece));
    for (std::size_t at = firstPiece; at < reply.size() && !ended; at += pieceSize) {
        ended = reader.Feed(std::string_view(reply).substr(at, pieceSize));
    }
    reader.Finish();
    return text;
}

// However the reply is cut into pieces, the text is the same.
TEST_P(MultiLineReaderTest, UndoesFramingInAnyPieces) {
    const TFramingCase& item = GetParam();
    for (std::size_t cut = 0; cut <= item.Reply.size(); ++cut) {
        bool ended = false;
        EXPECT_EQ(Read(item.Reply, cut, item.Reply.size() + 1, ended), item.Text) << "cut " << cut;
        EXPECT_TRUE(ended) << "cut " << cut;
    }
    bool ended = false;
    EXPECT_EQ(Read(item.Reply, 0, 1, ended), item.Text) << "byte by byte";
    EXPECT_TRUE(ended);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, MultiLineReaderTest,
    ::testing::Values(TFramingCase{"EmptyText", ".\r\n", ""},
                      TFramingCase{"StuffedDots", "..\r\n...x\r\n..\r\nlast\r\n.\r\n",
                                   ".\r\n..x\r\n.\r\nlast\r\n"},
                      TFramingCase{"UnstuffedDotLine", ".y\r\n.\r\n", "y\r\n"},
                      TFramingCase{"BareLineFeeds", "a\nb\r\n\n..c\n.\n", "a\r\nb\r\n\r\n.c\r\n"},
                      TFramingCase{"CrInsideALineIsKept", "a\rb\r\n\r\r\n.\r\n", "a\rb\r\n\r\r\n"},
                      TFramingCase{"CrAfterADotThatIsNoEnd", ".\rx\r\n.\r\n", "\rx\r\n"},
                      TFramingCase{"NothingAfterTheEndIsTaken", "a\r\n.\r\n+OK next reply\r\n",
                                   "a\r\n"}),
    [](const ::testing::TestParamInfo<TFramingCase>& info) { return info.param.Name; });

std::string LinesOf(std::size_t size) {
    std::string text;
    while (text.size() < size) {
        text += "line " + std::to_string(text.size()) + " of a long message\r\n";
    }
    return text;
}

// A reservation that was too small costs one joining at the end, into exactly the room the
// text needs; a right one is filled in place.
TEST(MultiLineReaderGrowthTest, TextIsHeldOnceWhateverTheReservation) {
    const std::string expected = LinesOf(3 * 1024 * 1024);
    const std::string reply = expected + ".\r\n";
    for (std::size_t reserve : {std::size_t{0}, std::size_t{100}, expected.size()}) {
        std::string text;
        TMultiLineReader reader(text, reserve, 64 * 1024 * 1024);
        const char* room = text.data();
        for (std::size_t at = 0; at < reply.size(); at += 65536) {
            reader.Feed(std::string_view(reply).substr(at, 65536));
        }
        ASSERT_TRUE(reader.Ended());
        reader.Finish();
        EXPECT_EQ(text, expected) << reserve;
        if (reserve == expected.size()) {
            EXPECT_EQ(text.data(), room) << "filled in place";
        } else {
            EXPECT_EQ(text.capacity(), text.size()) << reserve;
        }
    }
}

TEST(MultiLineReaderGrowthTest, TextBeyondTheLimitIsDroppedWhole) {
    std::string text = "left over from before";
    TMultiLineReader reader(text, 1 << 20, 1000);
    EXPECT_FALSE(reader.Feed(LinesOf(5000) + ".\r\n"));
    EXPECT_TRUE(reader.Overflowed());
    EXPECT_FALSE(reader.Ended());
    EXPECT_TRUE(text.empty());
    EXPECT_LT(text.capacity(), 1000u);
    // The limit counts the text, not the framing: exactly the limit fits.
    std::string exact;
    TMultiLineReader fits(exact, 0, 6);
    EXPECT_TRUE(fits.Feed("..ab\r\n.\r\n"));
    EXPECT_FALSE(fits.Overflowed());
    EXPECT_EQ(exact, ".ab\r\n");
}

} // namespace
} // namespace pelmora
