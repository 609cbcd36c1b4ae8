// olmtrace: prints a trace written with --trace (olmconfig, olmsim) as one aligned line per
// datagram. Usage: olmtrace FILE
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "trace/trace.h"

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("U\u017Cycie: olmtrace PLIK\n"
                    "Wypisuje \u015Blad zapisany opcj\u0105 --trace: jeden wiersz na datagram (czas w ms, kierunek,\n"
                    "adres, d\u0142ugo\u015B\u0107, znacznik, urz\u0105dzenie, rozkaz, podpis lub CRC i czy si\u0119 zgadza).\n");
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "olmtrace: oczekiwano jednego argumentu: PLIK (zob. olmtrace --help)\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "olmtrace: nie mo\u017Cna otworzy\u0107 pliku \u201E%s\u201D\n", argv[1]);
        return 1;
    }
    const bool ok = PrintTrace(in, std::cout);
    std::cout.flush();
    if (!ok) std::fprintf(stderr, "olmtrace: niekt\u00F3re wiersze pliku \u201E%s\u201D nie s\u0105 wierszami \u015Bladu\n", argv[1]);
    return ok ? 0 : 1;
}
