// The tagged value format on memory streams: hostile input and the string conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "data/TaggedValues.h"

namespace {

using namespace ove;

// Reads one value from a stream holding the bytes.
ETaggedRead ReadOne(const std::string& bytes, STaggedValue& v) {
    CBuffer b(bytes.data(), static_cast<u32>(bytes.size()));
    return ReadTaggedValue(b, v);
}

TEST(TaggedValues, IntegerRange) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double d : {-2147483648.0, 2147483646.0}) EXPECT_TRUE(IsTaggedInt(d)) << d;
    for (double d : {2147483647.0, -2147483649.0, 0.5, std::nan(""), inf}) EXPECT_FALSE(IsTaggedInt(d)) << d;
}

TEST(TaggedValues, HostileInputEndsCleanly) {
    STaggedValue v;
    CBuffer empty;
    EXPECT_EQ(ReadTaggedValue(empty, v), ETaggedRead::kEnd);
    EXPECT_EQ(ReadOne("X", v), ETaggedRead::kUnknownTag);
    // Counts far beyond the cap, and counts beyond what the stream holds.
    EXPECT_EQ(ReadOne(std::string("B\xFF\xFF\xFF\xFF", 5), v), ETaggedRead::kTooLarge);
    EXPECT_EQ(ReadOne(std::string("S\x00\x00\x00\x08", 5), v), ETaggedRead::kShort);  // 2^27 units = the cap + 0
    EXPECT_EQ(ReadOne(std::string("S\x01\x00\x00\x08", 5), v), ETaggedRead::kTooLarge);
    EXPECT_EQ(ReadOne(std::string("S\x02\x00\x00\x00"
                                  "a\x00",
                                  7),
                      v),
              ETaggedRead::kShort);
    // Every prefix of each fixed-size value is short.
    for (const std::string& full :
         {std::string("I\x01\x02\x03\x04", 5), std::string("D12345678", 9), std::string("B\x01\x00\x00\x00z", 6)}) {
        for (size_t cut = 1; cut < full.size(); ++cut)
            EXPECT_EQ(ReadOne(full.substr(0, cut), v), ETaggedRead::kShort) << full[0] << " cut " << cut;
        EXPECT_EQ(ReadOne(full, v), ETaggedRead::kOk);
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
    for (const std::string& s :
         {std::string("ab\x80"), std::string("ab\xE2\x82"), std::string("ab\xC3\x41"), std::string("ab\xFF")}) {
        bad = 99;
        EXPECT_FALSE(EngineStringToUnits(s.data(), s.size(), units, &bad)) << s;
        EXPECT_EQ(bad, 2u);
        EXPECT_EQ(units.size(), 2u);
    }
}

}  // namespace
