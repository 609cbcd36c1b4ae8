#include "trace/options.h"

#include <string_view>

namespace {

std::string Quoted(std::string_view text) { return "\u201E" + std::string(text) + "\u201D"; }   // „…”

}  // namespace

bool TakeNetOption(std::span<const std::string> args, std::size_t& i, NetOptions& options)
{
    const std::string_view arg = args[i];
    std::string_view name = arg;
    std::optional<std::string> value;
    if (const std::size_t eq = arg.find('='); eq != std::string_view::npos && arg.starts_with("--")) {
        name = arg.substr(0, eq);
        value = std::string(arg.substr(eq + 1));
    }
    if (name != "--target" && name != "--trace") return false;
    if (!value) {
        if (i + 1 >= args.size()) {
            throw UsageError(name == "--target"
                                 ? "Opcja --target wymaga warto\u015Bci: ADRES lub ADRES/PREFIKS."
                                 : "Opcja --trace wymaga nazwy pliku.");
        }
        value = args[++i];
    }
    AddNetOption(name, *value, options);
    return true;
}

void AddNetOption(std::string_view name, const std::string& value, NetOptions& options)
{
    if (name == "--target") {
        std::string error;
        const std::optional<TargetRange> range = ParseTarget(value, error);
        if (!range) throw UsageError(error);
        options.targets.push_back(*range);
    } else {
        if (options.trace)
            throw UsageError("Opcja --trace mo\u017Ce wyst\u0105pi\u0107 tylko raz: mo\u017Cna poda\u0107 tylko jeden "
                             "plik \u015Bladu.");
        if (value.empty()) throw UsageError("Opcja --trace wymaga nazwy pliku.");
        options.trace = std::filesystem::path(std::u8string(value.begin(), value.end()));
    }
}

NetOptions ParseNetOptions(std::span<const std::string> args)
{
    NetOptions options;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (!TakeNetOption(args, i, options)) {
            const std::string& arg = args[i];
            throw UsageError(arg.starts_with("-") ? "Nieznana opcja " + Quoted(arg) + "."
                                                  : "Nieoczekiwany argument " + Quoted(arg) + ".");
        }
    }
    return options;
}

const char* NetOptionsHelp()
{
    return "  --target ADRES[/PREFIKS]  wyszukuje tak\u017Ce pod ka\u017Cdym adresem zakresu (np. 192.168.5.0/24,\n"
           "                            najwy\u017Cej /22), gdy kontrolery s\u0105 za routerem; mo\u017Cna powt\u00F3rzy\u0107\n"
           "  --trace PLIK              dopisuje do PLIKU \u015Blad ka\u017Cdego datagramu (wiersz JSON) dla serwisu\n";
}
