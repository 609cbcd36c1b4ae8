#include "link/devid.h"

#include <cstdio>

char CategoryLetter(uint32_t category)
{
    static constexpr char kLetters[] = {'R', 'T', 'Z', 'K', 'C', 'K', 'F', 'D'};
    return category < sizeof kLetters ? kLetters[category] : '?';
}

const char* TypeName(uint32_t category)
{
    // cp1250 text; the leading spaces line the names up in the device panel.
    static constexpr const char* kNames[] = {
        "    Czytnik", "  Terminal", "      Zamek", " Kontroler",
        "Ctr",         " Klawiatura", " Interfejs", "      Modu\xB3",   // "      Moduł"
    };
    return category < std::size(kNames) ? kNames[category] : "Nieznany typ";
}

std::string DevName(uint32_t id)
{
    // The middle number is always 100-199: a type code of 305 shows as 105.
    char text[32];
    std::snprintf(text, sizeof text, "%c%02d_%05u", CategoryLetter(TypeCategory(id)),
                  static_cast<int>(100 + TypeCode(id) % 100), static_cast<unsigned>(SerialNo(id)));
    return text;
}
