// The tagged value format on memory streams: hostile input and the string conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "data/TaggedValues.h"

namespace {

using namespace ove;

CBuffer Stream(const std::string& bytes) { return CBuffer(bytes.data(), static_cast<u32>(bytes.size())); }

TEST(TaggedValues, IntegerRange) {
    EXPECT_TRUE(IsTaggedInt(-2147483648.0));
    EXPECT_TRUE(IsTaggedInt(2147483646.0));
    EXPECT_FALSE(IsTaggedInt(2147483647.0));
    EXPECT_FALSE(IsTaggedInt(-2147483649.0));
    EXPECT_FALSE(IsTaggedInt(0.5));
    EXPECT_FALSE(IsTaggedInt(std::nan("")));
    EXPECT_FALSE(IsTaggedInt(std::numeric_limits<double>::infinity()));
}

TEST(TaggedValues, HostileInputEndsCleanly) {
    STaggedValue v;
    CBuffer empty;
    EXPECT_EQ(ReadTaggedValue(empty, v), ETaggedRead::kEnd);
    CBuffer unknown = Stream("X");
    EXPECT_EQ(ReadTaggedValue(unknown, v), ETaggedRead::kUnknownTag);
    // Counts far beyond the cap, and counts beyond what the stream holds.
    CBuffer huge = Stream(std::string("B\xFF\xFF\xFF\xFF", 5));
    EXPECT_EQ(ReadTaggedValue(huge, v), ETaggedRead::kTooLarge);
    CBuffer hugeUnits = Stream(std::string("S\x00\x00\x00\x08", 5));  // 2^27 units = the cap + 0
    EXPECT_EQ(ReadTaggedValue(hugeUnits, v), ETaggedRead::kShort);
    CBuffer overCap = Stream(std::string("S\x01\x00\x00\x08", 5));
    EXPECT_EQ(ReadTaggedValue(overCap, v), ETaggedRead::kTooLarge);
    CBuffer shortString = Stream(std::string("S\x02\x00\x00\x00" "a\x00", 7));
    EXPECT_EQ(ReadTaggedValue(shortString, v), ETaggedRead::kShort);
    // Every prefix of each fixed-size value is short.
    for (const std::string& full : {std::string("I\x01\x02\x03\x04", 5), std::string("D12345678", 9),
                                   std::string("B\x01\x00\x00\x00z", 6)}) {
        for (size_t cut = 1; cut < full.size(); ++cut) {
            CBuffer b = Stream(full.substr(0, cut));
            EXPECT_EQ(ReadTaggedValue(b, v), ETaggedRead::kShort) << full[0] << " cut " << cut;
        }
        CBuffer whole = Stream(full);
        EXPECT_EQ(ReadTaggedValue(whole, v), ETaggedRead::kOk);
        EXPECT_EQ(static_cast<char>(v.tag), full[0]);
    }
}

TEST(TaggedValues, EngineStrings) {
    std::vector<u16> units;
    std::size_t bad = 99;
    // One, two and three bytes; a surrogate half is a unit like any other.
    ASSERT_TRUE(EngineStringToUnits("a\xC3\xA9\xE2\x82\xAC\xED\xA0\xBD", 9, units));
    EXPECT_EQ(units, (std::vector<u16>{0x61, 0xE9, 0x20AC, 0xD83D}));
    std::string back;
    UnitsToEngineString(units.data(), units.size(), back);
    EXPECT_EQ(back, "a\xC3\xA9\xE2\x82\xAC\xED\xA0\xBD");
    // A four-byte sequence becomes its surrogate pair.
    ASSERT_TRUE(EngineStringToUnits("\xF0\x9F\x98\x80", 4, units));
    EXPECT_EQ(units, (std::vector<u16>{0xD83D, 0xDE00}));
    // Malformed: a stray continuation, a cut sequence, a bad continuation, a byte no sequence has.
    for (const std::string& s : {std::string("ab\x80"), std::string("ab\xE2\x82"), std::string("ab\xC3\x41"),
                                std::string("ab\xFF")}) {
        bad = 99;
        EXPECT_FALSE(EngineStringToUnits(s.data(), s.size(), units, &bad)) << s;
        EXPECT_EQ(bad, 2u);
        EXPECT_EQ(units.size(), 2u);
    }
}

}  // namespace
