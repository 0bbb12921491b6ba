// SPDX-License-Identifier: MIT
#include "codecs.h"

#include <gtest/gtest.h>

using namespace trackfold;

TEST(HexText, BytesAreTwoUppercaseDigits)
{
    EXPECT_EQ(ByteToHex2(0), "00");
    EXPECT_EQ(ByteToHex2(5), "05");
    EXPECT_EQ(ByteToHex2(0x7F), "7F");
    EXPECT_EQ(ByteToHex2(0xAB), "AB");
    EXPECT_EQ(ByteToHex2(255), "FF");
}

TEST(HexText, EvenLengthHex)
{
    EXPECT_EQ(LongToHexEven(0), "00");
    EXPECT_EQ(LongToHexEven(5), "05");
    EXPECT_EQ(LongToHexEven(0x123), "0123");
    EXPECT_EQ(LongToHexEven(0xABCD), "ABCD");
    EXPECT_EQ(LongToHexEven(0xFFFFFF7F), "FFFFFF7F");
}

TEST(HexText, ParsesAndRejects)
{
    std::string bytes;
    ASSERT_TRUE(hexToBytes("903c40", bytes));
    EXPECT_EQ(bytes, std::string("\x90\x3C\x40", 3));
    EXPECT_FALSE(hexToBytes("903", bytes));
    EXPECT_FALSE(hexToBytes("9G", bytes));
}

TEST(BinaryText, SevenBitGroups)
{
    EXPECT_EQ(ByteToBin7(0x80), "0000000");
    EXPECT_EQ(ByteToBin7(0x7F), "1111111");
    EXPECT_EQ(ByteToBin7(0x81), "0000001");
    EXPECT_EQ(ByteToBin7(0x48), "1001000");
}

TEST(BinaryText, PaddedAndTruncatedWidths)
{
    EXPECT_EQ(LongToBin(5, 3), "101");
    EXPECT_EQ(LongToBin(9, 3), "001");
    EXPECT_EQ(LongToBin(0, 4), "0000");
    EXPECT_EQ(LongToBin(200, 14), "00000011001000");
}

TEST(BinaryText, Values)
{
    EXPECT_EQ(BinToLong(""), 0);
    EXPECT_EQ(BinToLong("101"), 5);
    EXPECT_EQ(BinToLong("00000011001000"), 200);
    EXPECT_EQ(BinToLong(std::string(31, '1')), 0x7FFFFFFF);
    for (std::int32_t n : { 0, 1, 127, 128, 16383, 0x0FFFFFFF })
        EXPECT_EQ(BinToLong(LongToBin(n, 31)), n) << n;
}

TEST(VlqHex, DecodesQuantities)
{
    EXPECT_EQ(VlqHexToLong("00"), 0);
    EXPECT_EQ(VlqHexToLong("7F"), 127);
    EXPECT_EQ(VlqHexToLong("8148"), 200);
    EXPECT_EQ(VlqHexToLong("8100"), 128);
    EXPECT_EQ(VlqHexToLong("FFFFFF7F"), 268435455);
    // Continuation bits are ignored: the caller cuts the quantity.
    EXPECT_EQ(VlqHexToLong("81"), 1);
}

TEST(VlqHex, EncodesEveryLengthBoundary)
{
    const std::pair<std::int32_t, const char *> cases[] = {
        { 0, "00" },
        { 127, "7F" },
        { 128, "8100" },
        { 200, "8148" },
        { 16383, "FF7F" },
        { 16384, "818000" },
        { 2097151, "FFFF7F" },
        { 2097152, "81808000" },
        { 0x0FFFFFFF, "FFFFFF7F" },
    };
    for (const auto &[value, hex] : cases)
        EXPECT_EQ(LongToVlqHex(value), hex) << value;
}

TEST(VlqHex, RoundTripsEveryFourByteValue)
{
    // Every value up to 2^21, then a stride through the four-byte range.
    for (std::int32_t n = 0; n <= 0x1FFFFF; ++n)
        ASSERT_EQ(VlqHexToLong(LongToVlqHex(n)), n);
    for (std::int64_t n = 0x200000; n <= 0x0FFFFFFF; n += 997)
        ASSERT_EQ(VlqHexToLong(LongToVlqHex(static_cast<std::int32_t>(n))), n);
    EXPECT_EQ(VlqHexToLong(LongToVlqHex(0x0FFFFFFF)), 0x0FFFFFFF);
}

TEST(VlqHex, ByteWriterMatchesTextEncoder)
{
    for (std::uint32_t n : { 0u, 127u, 128u, 16383u, 16384u, 2097151u, 2097152u, 0x0FFFFFFFu }) {
        char out[4];
        const int size = writeVlq(n, out);
        EXPECT_EQ(size, vlqSize(n));
        std::string hex;
        appendHex(hex, out, static_cast<std::size_t>(size));
        EXPECT_EQ(hex, LongToVlqHex(static_cast<std::int32_t>(n)));
    }
}
