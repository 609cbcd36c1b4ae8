#pragma once
#include <cstdint>
#include <string>

// A device identifier names a controller or a bus device:
//   bits 0-15 serial number, 16-25 type code, 26-27 suffix letter (A-D), 28-31 3 for controllers.
// Texts returned here are 8-bit cp1250 text.

inline uint32_t SerialNo(uint32_t id) { return id & 0xFFFFu; }
inline uint32_t TypeCode(uint32_t id) { return (id >> 16) & 0x3FFu; }
inline uint32_t TypeCategory(uint32_t id) { return TypeCode(id) / 100; }   // 0-10
inline uint32_t SortKey(uint32_t id) { return id & 0x03FFFFFFu; }          // low 26 bits
inline char SuffixLetter(uint32_t id) { return static_cast<char>('A' + ((id >> 26) & 3u)); }

constexpr uint32_t kControllerCategory = 3;

// Letter of the device name for a type category ('?' for 8 and above).
char CategoryLetter(uint32_t category);
// Type name shown in the bus device panel, with its leading spaces (cp1250).
const char* TypeName(uint32_t category);
// "%c%02d_%05u": category letter, 100 + type code mod 100, serial number. K105_00042.
std::string DevName(uint32_t id);
