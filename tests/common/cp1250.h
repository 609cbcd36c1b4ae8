#pragma once
#include <iconv.h>

#include <stdexcept>
#include <string>
#include <string_view>

// Readable UTF-8 in a test, cp1250 bytes as the program holds them. The conversion is glibc's
// iconv, independent of the code under test.
inline std::string Cp1250(std::string_view utf8)
{
    iconv_t cd = iconv_open("CP1250", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv: no CP1250");
    std::string in(utf8);
    std::string out(in.size() * 2 + 4, '\0');
    char* src = in.data();
    char* dst = out.data();
    std::size_t srcLeft = in.size();
    std::size_t dstLeft = out.size();
    const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv: text not in cp1250");
    out.resize(out.size() - dstLeft);
    return out;
}
