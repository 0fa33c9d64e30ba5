#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>

#include "ZipTestUtil.h"
#include "data/ZIPCipher.h"

using namespace ove;
using namespace ziptest;

TEST(Crc32, MatchesZlib) {
    Bytes data = RandomBytes(100000, 3);
    EXPECT_EQ(Crc32(data.data(), data.size()), crc32(0, data.data(), static_cast<uInt>(data.size())));
    u32 part = Crc32(data.data(), 1234);
    EXPECT_EQ(Crc32(data.data() + 1234, data.size() - 1234, part),
              crc32(0, data.data(), static_cast<uInt>(data.size())))
        << "continuing a CRC over a second block";
}

TEST(Cipher, RoundTripAcrossChunksAndSeeksBack) {
    std::srand(11);
    Bytes plain = RandomBytes(20000, 5);  // more than two 8 KiB chunks
    Bytes cipher = Encipher(plain, "secret", 0xAB);
    ASSERT_EQ(cipher.size(), plain.size() + 12);
    EXPECT_NE(Bytes(cipher.begin() + 12, cipher.end()), plain);

    CZIPDecrypt dec(new CBuffer(cipher), "secret");
    EXPECT_EQ(dec.CheckByte(), 0xAB);
    EXPECT_EQ(dec.GetSize(), plain.size());
    EXPECT_EQ(dec.Tell(), 0u);
    EXPECT_TRUE(dec.CanRead());
    EXPECT_FALSE(dec.CanWrite());
    EXPECT_EQ(dec.Write("x", 1), 0u);
    // Peeking at every byte gives what reading it gives.
    for (size_t i = 0; i < plain.size(); ++i) {
        u8 peeked = dec.PeekByte(), read = 0;
        ASSERT_EQ(dec.Read(&read, 1), 1u);
        ASSERT_EQ(peeked, read) << i;
        ASSERT_EQ(read, plain[i]) << i;
    }
    // Backwards: restart after the header and give the same bytes again, in whole chunks too.
    dec.Seek(0);
    EXPECT_EQ(ReadAll(dec), plain);
    dec.Seek(15000);
    u8 a[100];
    ASSERT_EQ(dec.Read(a, 100), 100u);
    EXPECT_EQ(Bytes(a, a + 100), Bytes(plain.begin() + 15000, plain.begin() + 15100));
    dec.Seek(3);
    EXPECT_EQ(dec.Tell(), 3u);
    EXPECT_EQ(dec.PeekByte(), plain[3]);
    EXPECT_EQ(dec.Tell(), 3u);
    ASSERT_EQ(dec.Read(a, 10), 10u);
    EXPECT_EQ(Bytes(a, a + 10), Bytes(plain.begin() + 3, plain.begin() + 13));

    // Beyond the end the skip loop stops at the end of the data.
    dec.Seek(999999);
    EXPECT_EQ(dec.Tell(), plain.size());
    EXPECT_EQ(dec.Read(a, 10), 0u);

    // Peeking at the end gives 0 and steps back one byte, as every stream without its own peek does.
    EXPECT_EQ(dec.PeekByte(), 0);
    EXPECT_EQ(dec.Tell(), plain.size() - 1);
    ASSERT_EQ(dec.Read(a, 10), 1u);
    EXPECT_EQ(a[0], plain.back());
}

TEST(Cipher, WrongPasswordGivesOtherBytes) {
    std::srand(12);
    Bytes plain = TextBytes("The quick brown fox jumps over the lazy dog, again and again and again.");
    Bytes cipher = Encipher(plain, "right", 0x42);
    CZIPDecrypt wrong(new CBuffer(cipher), "wrong");
    EXPECT_NE(ReadAll(wrong), plain);
    CZIPDecrypt none(new CBuffer(cipher), nullptr);
    EXPECT_NE(ReadAll(none), plain);
    CZIPDecrypt right(new CBuffer(cipher), "right");
    EXPECT_EQ(ReadAll(right), plain);
}

TEST(Cipher, ShortOrMissingInnerStream) {
    CZIPDecrypt none(nullptr, "pw");
    EXPECT_FALSE(none.IsOpen());
    EXPECT_EQ(none.CheckByte(), -1);
    EXPECT_EQ(none.GetSize(), 0u);
    u8 b[4];
    EXPECT_EQ(none.Read(b, 4), 0u);
    none.Seek(10);
    EXPECT_EQ(none.Tell(), 0u);

    // Fewer than 12 bytes: no header, so no check byte and no plaintext.
    CZIPDecrypt shortOne(new CBuffer("12345", 5), "pw");
    EXPECT_EQ(shortOne.CheckByte(), -1);
    EXPECT_EQ(shortOne.GetSize(), 0u);
    EXPECT_EQ(shortOne.Read(b, 4), 0u);

    CZIPEncrypt noTarget(nullptr, "pw", 1);
    EXPECT_FALSE(noTarget.IsOpen());
    EXPECT_FALSE(noTarget.CanWrite());
    EXPECT_EQ(noTarget.Write("abc", 3), 0u);
    EXPECT_EQ(noTarget.GetSize(), 0u);

    // An encrypting stream is write-only.
    CBuffer sink;
    CZIPEncrypt enc(new CBorrow(&sink), "pw", 0xFF);
    EXPECT_TRUE(enc.CanWrite());
    EXPECT_FALSE(enc.CanRead());
    EXPECT_EQ(enc.Read(b, 4), 0u);
    enc.Seek(0);
    EXPECT_EQ(enc.Tell(), 12u) << "Seek does nothing";
    EXPECT_EQ(enc.Write("", 0), 0u);
    EXPECT_EQ(sink.GetSize(), 12u);
}

TEST(Cipher, ReadsFromTheInnerStreamsCurrentPosition) {
    // A file reader wraps a stream that may not start at 0; rewinding must return to its header.
    std::srand(13);
    Bytes plain = RandomBytes(500, 8);
    Bytes cipher = Encipher(plain, "pw", 7);
    Bytes prefixed = TextBytes("PREFIX");
    prefixed.insert(prefixed.end(), cipher.begin(), cipher.end());
    auto* inner = new CBuffer(prefixed);
    inner->Seek(6);
    CZIPDecrypt dec(inner, "pw");
    EXPECT_EQ(dec.CheckByte(), 7);
    EXPECT_EQ(dec.GetSize(), plain.size());
    EXPECT_EQ(ReadAll(dec), plain);
    dec.Seek(0);
    EXPECT_EQ(ReadAll(dec), plain);
}
