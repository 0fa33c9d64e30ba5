// Code page 1252 <-> UTF-8, checked against the C library's own converter.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "platform/CodePage.h"

namespace {

// Converts with iconv; empty optional-like flag when iconv rejects the input.
bool Iconv(const char* to, const char* from, const std::string& in, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string src = in;
    char buffer[64];
    char* inPtr = src.data();
    size_t inLeft = src.size();
    char* outPtr = buffer;
    size_t outLeft = sizeof(buffer);
    size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) return false;
    out.assign(buffer, outPtr);
    return true;
}

bool IsUndefined(int b) { return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D; }

}  // namespace

TEST(CodePage, EveryDefinedByteMatchesIconvBothWays) {
    std::string probe;
    if (!Iconv("UTF-8", "CP1252", "A", probe)) GTEST_SKIP() << "iconv has no CP1252";
    for (int b = 1; b < 256; ++b) {
        if (IsUndefined(b)) continue;
        std::string byte(1, static_cast<char>(b));
        std::string expected;
        ASSERT_TRUE(Iconv("UTF-8", "CP1252", byte, expected)) << b;
        EXPECT_EQ(ove::Cp1252ToUtf8(byte), expected) << "byte " << b;
        EXPECT_EQ(ove::Utf8ToCp1252(expected), byte) << "byte " << b;
    }
}

TEST(CodePage, UndefinedBytesSurviveARoundTrip) {
    for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        std::string byte(1, static_cast<char>(b));
        std::string utf8 = ove::Cp1252ToUtf8(byte);
        ASSERT_EQ(utf8.size(), 2u);
        EXPECT_EQ(ove::Utf8ToCp1252(utf8), byte);
    }
}

TEST(CodePage, WholeStringsAndTheZeroByte) {
    const std::string text = std::string("Caf\xE9 \x80") + '\0' + "5 \x93ok\x94";
    std::string utf8 = ove::Cp1252ToUtf8(text);
    EXPECT_EQ(utf8, std::string("Caf\xC3\xA9 \xE2\x82\xAC") + '\0' + "5 \xE2\x80\x9Cok\xE2\x80\x9D");
    EXPECT_EQ(ove::Utf8ToCp1252(utf8), text);
}

TEST(CodePage, CharactersOutsideTheCodePageAreReplacedOrDropped) {
    const std::string mixed =
        "a\xE2\x86\x92"
        "b\xF0\x9F\x98\x80"
        "c";  // arrow, emoji
    EXPECT_EQ(ove::Utf8ToCp1252(mixed), "a?b?c");
    EXPECT_EQ(ove::Utf8ToCp1252(mixed, 0), "abc");
    for (auto [unicode, cp] : {std::pair{0x2192, -1}, {0x20AC, 0x80}, {0x0178, 0x9F}})
        EXPECT_EQ(ove::UnicodeToCp1252(unicode), cp);
}

TEST(CodePage, MalformedUtf8NeverReadsPastTheEnd) {
    // A stray continuation byte, an overlong NUL, a surrogate, a cut-off sequence and past U+10FFFF.
    for (auto [utf8, cp] : {std::pair{"x\x80y", "x?y"},
                            {"\xC0\x80", "??"},
                            {"\xED\xA0\x80", "???"},
                            {"ok\xE2\x82", "ok??"},
                            {"\xF4\x90\x80\x80", "????"},
                            {"", ""}})
        EXPECT_EQ(ove::Utf8ToCp1252(utf8), cp) << utf8;
}
