// The composed texts of link errors.
#include <gtest/gtest.h>

#include "link/udpdev.h"
#include "sim/blocks.h"
#include "tests/common/cp1250.h"

TEST(UErrText, EveryKind)
{
    UdpDev dev;
    dev.id = MakeId(305, 42);
    dev.mode = 2;
    dev.reachable = true;
    struct Case {
        int kind;
        char cmd;
        const char* tail;   // after "Błąd nr "
    };
    const Case cases[] = {
        {1, 0, "1: Urządzenie nie odpowiada.\n"},
        {2, 0,
         "2: Kontroler ma obcą sesję.\n\nMożliwe przyczyny:\n - kontroler połączony z inną kopią programu,\n"
         " - kontroler pamięta sesję z poprzednim wywołaniem programu.\nW tym drugim przypadku należy poczekać "
         "około 30s.\n"},
        {3, 0, "3: Odmowa nawiązania sesji.\n"},
        {4, 'C', "4 (r.'C'): Błąd podpisu ramki.\n"},
        {5, 'D', "5 (r.'D'): Odpowiedź dłuższa od oczekiwanej.\n"},
        {6, 's', "6 (r.'s'): Brak odpowiedzi na rozkaz.\n"},
        {7, 'c', "7 (r.'c'): Brak potwierdzenia wysłanego rozkazu.\n"},
        {8, 0, "8: Kontroler nie pozwala odczytać ustawień przejść.\nUstaw go w tryb 'Service'\n"},
        {0, 0, "0: Brak opisu błędu.\n"},
        {9, 'F', "9 (r.'F'): Brak opisu błędu.\n"},
        {-2, 0, "-2: Brak opisu błędu.\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UErr(dev, c.kind, c.cmd).Text(), Cp1250(std::string("K105_00042, tryb: Serwis.\n\nBłąd nr ") + c.tail))
            << c.kind;
}

TEST(UErrText, ReadsTheModeWhenComposed)
{
    UdpDev dev;
    dev.id = MakeId(305, 42);
    dev.mode = 3;
    dev.reachable = true;
    const UErr err(dev, 1, 0);
    dev.reachable = false;   // the poll that failed
    EXPECT_EQ(err.Text(), Cp1250("K105_00042, tryb: Niedostępny.\n\nBłąd nr 1: Urządzenie nie odpowiada.\n"));
}
