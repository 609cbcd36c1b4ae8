#pragma once
#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "link/target.h"

// The options of every program that reaches controllers, parsed in one place:
//   --target ADDRESS[/PREFIX]   also ask every address of the range by unicast (repeatable, at
//                               most a /22)
//   --trace FILE                append one JSON line per datagram to FILE
// Both are also taken in the form --target=VALUE.
struct NetOptions {
    std::vector<TargetRange> targets;
    std::optional<std::filesystem::path> trace;
};

// A command line that cannot be followed; its message is Polish (UTF-8) and names the argument.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Takes args[i] when it is one of the options above, with its value (the next argument, unless it
// was given with "="). Returns true and leaves i at the last argument it took; returns false for
// any other argument. Throws UsageError for a missing or bad value and for a second --trace.
// Arguments are UTF-8.
bool TakeNetOption(std::span<const std::string> args, std::size_t& i, NetOptions& options);

// Takes one of the options above, named "--target" or "--trace", with its value, for a program
// whose own parser has already split them. Throws UsageError for a bad value and for a second
// --trace.
void AddNetOption(std::string_view name, const std::string& value, NetOptions& options);

// The whole command line of a program that takes only these options; args[0] is the program.
// Throws UsageError for any other argument.
NetOptions ParseNetOptions(std::span<const std::string> args);

// The lines of a program's help that describe these options (Polish, UTF-8).
const char* NetOptionsHelp();
