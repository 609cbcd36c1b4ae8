#include "snapshot/text.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <map>

namespace {

// The code point of every cp1250 byte, or 0 where cp1250 defines none (and for the control
// characters, which are never shown as they are).
struct Cp1250Table {
    std::array<char32_t, 256> toUnicode{};
    std::map<char32_t, uint8_t> fromUnicode;

    Cp1250Table()
    {
        iconv_t cd = iconv_open("UTF-32LE", "CP1250");
        for (int b = 0x20; b < 0x100; ++b) {
            if (b == 0x7F) continue;
            if (cd == reinterpret_cast<iconv_t>(-1)) {
                if (b < 0x80) toUnicode[static_cast<std::size_t>(b)] = static_cast<char32_t>(b);
                continue;
            }
            char in = static_cast<char>(b);
            std::array<unsigned char, 8> out{};
            char* src = &in;
            char* dst = reinterpret_cast<char*>(out.data());
            std::size_t srcLeft = 1;
            std::size_t dstLeft = out.size();
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) || dstLeft != 4) continue;
            const char32_t cp = out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<char32_t>(out[3]) << 24);
            if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) continue;
            toUnicode[static_cast<std::size_t>(b)] = cp;
            fromUnicode.emplace(cp, static_cast<uint8_t>(b));
        }
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
};

const Cp1250Table& Table()
{
    static const Cp1250Table table;
    return table;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The next code point of UTF-8 text, or U+FFFD for a malformed sequence (one byte consumed).
char32_t NextCodePoint(std::string_view text, std::size_t& i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    int extra = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (i + static_cast<std::size_t>(extra) >= text.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char c = byte(i + static_cast<std::size_t>(k));
        if ((c & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

} // namespace

std::string Utf8FromCp1250(std::string_view cp1250)
{
    const Cp1250Table& table = Table();
    std::string out;
    out.reserve(cp1250.size());
    for (const char ch : cp1250) {
        const auto b = static_cast<unsigned char>(ch);
        const char32_t cp = table.toUnicode[b];
        if (cp == 0) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(b));
            out += escaped;
        } else {
            AppendUtf8(out, cp);
        }
    }
    return out;
}

std::string Cp1250FromUtf8(std::string_view utf8)
{
    const Cp1250Table& table = Table();
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = NextCodePoint(utf8, i);
        const auto it = table.fromUnicode.find(cp);
        out += it == table.fromUnicode.end() ? '?' : static_cast<char>(it->second);
    }
    return out;
}

std::string Counted(long n, const char* one, const char* few, const char* many)
{
    const long units = n % 10;
    const long tens = n % 100;
    const char* word = many;
    if (n == 1) word = one;
    else if (units >= 2 && units <= 4 && !(tens >= 12 && tens <= 14)) word = few;
    return std::to_string(n) + " " + word;
}

std::size_t Utf8Length(std::string_view utf8)
{
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}
