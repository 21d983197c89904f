// The text functions and MemoryBlock: the values the program's parsing and hex display rely on.
#include "rbframework/exceptions.h"
#include "rbframework/memoryblock.h"
#include "rbframework/text.h"

#include <cmath>
#include <gtest/gtest.h>

namespace
{

TEST(Val, ReadsTheLeadingNumber)
{
    const struct {
        const char *text;
        double expected;
    } cases[] = {
        {"42", 42},    {"  -17abc", -17}, {"+3.25", 3.25}, {"1.5e3x", 1500}, {"2e", 2},
        {"2e+", 2},    {".5", 0.5},       {"-.5", -0.5},   {"7.", 7},        {"192.168.0.1", 192.168},
        {"&hFF", 255}, {"&Hf0 7e", 240},  {"&h7Fz9", 127}, {"&h", 0},        {"&hG", 0},
        {"", 0},       {"abc", 0},        {"-", 0},        {".", 0},         {"\t 12", 12},
        {"F0", 0},
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(rb::Val(QString::fromUtf8(c.text)), c.expected) << c.text;
}

TEST(Val, OverflowIsNotZero)
{
    EXPECT_TRUE(std::isinf(rb::Val("1e999")));
    EXPECT_GT(rb::Val("&hFFFFFFFFFFFFFFFFFFFFFFFF"), 1e28);
}

TEST(Hex, UppercaseWithoutLeadingZerosNegativesAs32Bit)
{
    const struct {
        long long value;
        const char *expected;
    } cases[] = {{0, "0"},
                 {10, "A"},
                 {255, "FF"},
                 {4096, "1000"},
                 {-1, "FFFFFFFF"},
                 {-256, "FFFFFF00"},
                 {INT32_MIN, "80000000"},
                 {0x1FFFFFFFFLL, "1FFFFFFFF"}};
    for (const auto &c : cases)
        EXPECT_EQ(rb::Hex(c.value), QString::fromLatin1(c.expected)) << c.value;
}

TEST(InStr, OneBasedCaseIgnoredZeroWhenAbsent)
{
    const struct {
        int start;
        const char *source, *find;
        int expected;
    } cases[] = {
        {1, "unit.vot", ".vot", 5},
        {1, "unit.VOT", ".vot", 5},
        {1, "a.vot.txt", ".VOT", 2},
        {1, "unit", ".vot", 0},
        {1, "abc", "", 1},
        {3, "abc", "", 3},
        {1, "", "", 1},
        {1, "", "a", 0},
        {3, "abab", "ab", 3},
        {4, "abab", "ab", 0},
        {0, "abc", "a", 1},
        {-5, "abc", "c", 3},
        {9, "abc", "a", 0},
        {9, "abc", "", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(rb::InStr(c.start, c.source, c.find), c.expected)
            << c.start << " " << c.source << " " << c.find;
    EXPECT_EQ(rb::InStr("F0 7E", " "), 3);
}

TEST(Substrings, LeftRightMidTrimCountFromOneAndStayInside)
{
    const QString s = "F0 7E F7";
    EXPECT_EQ(rb::Left(s, 2), "F0");
    EXPECT_EQ(rb::Left(s, 0), "");
    EXPECT_EQ(rb::Left(s, -1), ""); // QString::left would give everything
    EXPECT_EQ(rb::Left(s, 99), s);
    EXPECT_EQ(rb::Right(s, 2), "F7");
    EXPECT_EQ(rb::Right(s, -3), "");
    EXPECT_EQ(rb::Mid(s, 4), "7E F7");
    EXPECT_EQ(rb::Mid(s, 1), s);
    EXPECT_EQ(rb::Mid(s, 8), "7");
    EXPECT_EQ(rb::Mid(s, 9), "");
    EXPECT_EQ(rb::Mid(s, 0), s);
    EXPECT_EQ(rb::Mid(s, 4, 2), "7E");
    EXPECT_EQ(rb::Mid(s, 4, 0), "");
    EXPECT_EQ(rb::Mid(s, 4, -1), "");
    EXPECT_EQ(rb::Mid(s, 7, 50), "F7");
    EXPECT_EQ(rb::Mid("", 1, 1), "");
    EXPECT_EQ(rb::Trim(" \t192 \r\n"), "192");
    EXPECT_EQ(rb::Trim("   "), "");
    EXPECT_EQ(rb::Trim("a b"), "a b");
    EXPECT_EQ(rb::Len("abc"), 3);
}

TEST(Same, IgnoresLetterCaseOnly)
{
    EXPECT_TRUE(rb::Same("Minport", "MINPORT"));
    EXPECT_TRUE(rb::Same("", ""));
    EXPECT_FALSE(rb::Same("Minport", "Minport "));
    EXPECT_FALSE(rb::Same("red", "rad"));
}

TEST(StrAndChrB, DecimalAndOneByte)
{
    EXPECT_EQ(rb::Str(-42), "-42");
    EXPECT_EQ(rb::Str(0), "0");
    EXPECT_EQ(rb::ChrB(0xF0).size(), 1);
    EXPECT_EQ(rb::ChrB(0xF0).at(0).unicode(), 0xF0);
    EXPECT_EQ(rb::ChrB(0).at(0).unicode(), 0);
    EXPECT_EQ(rb::ChrB(0x1F7).at(0).unicode(), 0xF7); // the low 8 bits, as a byte store keeps
    EXPECT_EQ(rb::ChrB(-1).at(0).unicode(), 0xFF);
}

TEST(MemoryBlock, ZeroFilledAndWritesKeepTheLowByte)
{
    rb::MemoryBlock mb(4);
    ASSERT_EQ(mb.Size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(mb.Byte(i), 0);
    mb.Byte(0, 0x1F0);
    mb.Byte(1, -1);
    mb.Byte(2, 0x7E);
    EXPECT_EQ(mb.Byte(0), 0xF0);
    EXPECT_EQ(mb.Byte(1), 0xFF);
    EXPECT_EQ(mb.Byte(2), 0x7E);

    mb.Size(2);
    EXPECT_EQ(mb.Size(), 2);
    mb.Size(6);
    EXPECT_EQ(mb.Byte(0), 0xF0);
    for (int i = 2; i < 6; ++i)
        EXPECT_EQ(mb.Byte(i), 0) << i; // the old byte at 2 does not come back
}

TEST(MemoryBlock, FromBytesHasTheirSize)
{
    const rb::MemoryBlock mb(QByteArray("\xF0\x00\xF7", 3));
    EXPECT_EQ(mb.Size(), 3);
    EXPECT_EQ(mb.Byte(0), 0xF0);
    EXPECT_EQ(mb.Byte(1), 0);
    EXPECT_EQ(mb.Byte(2), 0xF7);
}

TEST(MemoryBlock, OffsetsOutsideRaise)
{
    rb::MemoryBlock mb(4);
    for (int offset : {-1, 4, 1000, INT32_MIN}) {
        EXPECT_THROW(mb.Byte(offset), rb::OutOfBoundsException) << offset;
        EXPECT_THROW(mb.Byte(offset, 1), rb::OutOfBoundsException) << offset;
    }
    rb::MemoryBlock empty;
    EXPECT_THROW(empty.Byte(0), rb::OutOfBoundsException);
    EXPECT_THROW(rb::MemoryBlock(-1), rb::OutOfBoundsException);
    EXPECT_THROW(mb.Size(-1), rb::OutOfBoundsException);
    EXPECT_EQ(mb.Size(), 4);
}

} // namespace
