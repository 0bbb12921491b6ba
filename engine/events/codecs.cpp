// SPDX-License-Identifier: MIT
#include "codecs.h"

namespace trackfold {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::string ByteToHex2(std::uint8_t b)
{
    return { HexDigits[b >> 4], HexDigits[b & 0x0F] };
}

std::string ByteToBin7(std::uint8_t b)
{
    std::string out(7, '0');
    for (int i = 0; i < 7; ++i)
        out[6 - i] = ((b >> i) & 1) ? '1' : '0';
    return out;
}

std::string LongToBin(std::int32_t n, std::uint8_t w)
{
    std::string out(w, '0');
    auto v = static_cast<std::uint32_t>(n < 0 ? 0 : n);
    for (int i = w - 1; i >= 0 && v != 0; --i, v >>= 1)
        out[static_cast<std::size_t>(i)] = (v & 1) ? '1' : '0';
    return out;
}

std::int32_t BinToLong(std::string_view s)
{
    // Walk from the least significant digit; weights past 2^30 cannot be held.
    std::uint32_t sum = 0;
    std::size_t k = 0;
    for (auto it = s.rbegin(); it != s.rend() && k < 31; ++it, ++k) {
        if (*it == '1')
            sum |= std::uint32_t { 1 } << k;
    }
    return static_cast<std::int32_t>(sum);
}

std::int32_t VlqHexToLong(std::string_view s)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < s.size(); i += 2) {
        const int hi = hexValue(s[i]);
        const int lo = i + 1 < s.size() ? hexValue(s[i + 1]) : 0;
        const auto byte = static_cast<std::uint32_t>(((hi < 0 ? 0 : hi) << 4) | (lo < 0 ? 0 : lo));
        value = (value << 7) | (byte & 0x7F);
    }
    return static_cast<std::int32_t>(value & 0x7FFFFFFF);
}

std::string LongToHexEven(std::int64_t n)
{
    auto v = static_cast<std::uint64_t>(n < 0 ? 0 : n);
    std::string digits;
    do {
        digits.insert(digits.begin(), HexDigits[v & 0x0F]);
        v >>= 4;
    } while (v != 0);
    if (digits.size() % 2 != 0)
        digits.insert(digits.begin(), '0');
    return digits;
}

std::string LongToVlqHex(std::int32_t n)
{
    char buffer[4];
    const int size = writeVlq(static_cast<std::uint32_t>(n < 0 ? 0 : n) & MaxVlq, buffer);
    std::string out;
    appendHex(out, buffer, static_cast<std::size_t>(size));
    return out;
}

void appendHex(std::string &text, const char *data, std::size_t size)
{
    const std::size_t start = text.size();
    text.resize(start + 2 * size);
    char *out = text.data() + start;
    for (std::size_t i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        *out++ = HexDigits[b >> 4];
        *out++ = HexDigits[b & 0x0F];
    }
}

bool hexToBytes(std::string_view hex, std::string &bytes)
{
    if (hex.size() % 2 != 0)
        return false;
    bytes.clear();
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = hexValue(hex[i]);
        const int lo = hexValue(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes.push_back(static_cast<char>((hi << 4) | lo));
    }
    return true;
}

} // namespace trackfold
