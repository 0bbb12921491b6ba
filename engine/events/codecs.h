// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CODECS_H
#define TRACKFOLD_CODECS_H

#include <cstdint>
#include <string>
#include <string_view>

// Text forms of MIDI numbers: hex text (two uppercase digits per byte), VLQ hex
// (the hex text of a variable-length quantity) and binary text ("0"/"1" digits,
// most significant first). All functions are pure.
namespace trackfold {

// Two uppercase hex digits of b: 0x05 -> "05".
std::string ByteToHex2(std::uint8_t b);

// The low seven bits of b as seven binary digits; bit 7 is dropped (0x81 -> "0000001").
std::string ByteToBin7(std::uint8_t b);

// Binary text of n >= 0, left-padded with zeros to w digits; when n needs more
// than w digits only the last w remain (LongToBin(9, 3) == "001").
std::string LongToBin(std::int32_t n, std::uint8_t w);

// Value of a binary text of at most 31 significant digits; characters other than
// '1' count as zero.
std::int32_t BinToLong(std::string_view s);

// Value of a VLQ given as hex text: the low seven bits of every byte, concatenated.
// Continuation bits are ignored, so the caller cuts the quantity at its last byte.
// Invalid hex digits count as zero.
std::int32_t VlqHexToLong(std::string_view s);

// Uppercase hex of n >= 0 with one leading zero when the digit count is odd
// (0 -> "00", 0x123 -> "0123").
std::string LongToHexEven(std::int64_t n);

// The VLQ of 0 <= n <= 0x0FFFFFFF as hex text, one to four bytes (200 -> "8148").
// Larger values keep only their low 28 bits; negative values give "00".
std::string LongToVlqHex(std::int32_t n);

// Byte-level helpers used on the conversion's hot paths.

inline constexpr std::uint32_t MaxVlq = 0x0FFFFFFF;

// Number of bytes of the VLQ of v (1 to 4); v <= MaxVlq.
inline int vlqSize(std::uint32_t v)
{
    return v < 0x80 ? 1 : v < 0x4000 ? 2 : v < 0x200000 ? 3 : 4;
}

// Writes the VLQ of v (v <= MaxVlq) at out and returns the byte count.
inline int writeVlq(std::uint32_t v, char *out)
{
    if (v < 0x80) {
        *out = static_cast<char>(v);
        return 1;
    }
    const int size = vlqSize(v);
    for (int i = size - 1; i >= 0; --i) {
        const auto group = static_cast<unsigned char>(v & 0x7F);
        out[i] = static_cast<char>(i == size - 1 ? group : (group | 0x80));
        v >>= 7;
    }
    return size;
}

// Appends the hex text of the bytes [data, data + size) to text.
void appendHex(std::string &text, const char *data, std::size_t size);

// Parses hex text into bytes; false when the text has an odd length or a
// character that is not a hex digit (either case).
bool hexToBytes(std::string_view hex, std::string &bytes);

} // namespace trackfold

#endif
