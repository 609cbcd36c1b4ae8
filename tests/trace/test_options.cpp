// The options that every program reaching controllers takes: --target and --trace.
#include <gtest/gtest.h>

#include "trace/options.h"

namespace {

// The path as UTF-8 text.
std::string Utf8(const std::filesystem::path& path)
{
    const auto text = path.u8string();
    return {text.begin(), text.end()};
}

NetOptions Parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "olmconfig");
    return ParseNetOptions(args);
}

}  // namespace

TEST(NetOptions, TargetsRepeatAndTraceNamesAFile)
{
    const NetOptions none = Parse({});
    EXPECT_TRUE(none.targets.empty());
    EXPECT_FALSE(none.trace);

    const NetOptions all =
        Parse({"--target", "10.0.3.0/24", "--trace", "\u015Blad.jsonl", "--target=10.0.9.7", "--target", "10.0.4.0/22"});
    ASSERT_EQ(all.targets.size(), 3u);
    EXPECT_EQ(all.targets[0], (TargetRange{0x0A000300u, 24}));
    EXPECT_EQ(all.targets[1], (TargetRange{0x0A000907u, 32}));
    EXPECT_EQ(all.targets[2], (TargetRange{0x0A000400u, 22}));
    ASSERT_TRUE(all.trace);
    EXPECT_EQ(Utf8(*all.trace), "\u015Blad.jsonl");
    EXPECT_EQ(Utf8(*Parse({"--trace=a b.jsonl"}).trace), "a b.jsonl");
}

TEST(NetOptions, EveryProblemIsAUsageErrorThatNamesIt)
{
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"--target"}, "Opcja --target wymaga warto\u015Bci"},
        {{"--target", "10.0.0.0/16"}, "\u201E10.0.0.0/16\u201D jest za du\u017Cy"},
        {{"--target=10.0.0"}, "\u201E10.0.0\u201D"},
        {{"--trace"}, "Opcja --trace wymaga nazwy pliku"},
        {{"--trace="}, "Opcja --trace wymaga nazwy pliku"},
        {{"--trace", "a", "--trace", "b"}, "tylko raz"},
        {{"--targets", "10.0.0.1"}, "Nieznana opcja \u201E--targets\u201D"},
        {{"10.0.0.1"}, "Nieoczekiwany argument \u201E10.0.0.1\u201D"},
    };
    for (const Case& c : cases) {
        try {
            Parse(c.args);
            ADD_FAILURE() << c.says;
        } catch (const UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
    }
}

TEST(NetOptions, AnotherProgramsParserTakesTheseOptionsAmongItsOwn)
{
    const std::vector<std::string> args = {"olmctl", "list", "--json", "--target", "10.0.0.0/30", "--trace=t"};
    NetOptions options;
    std::vector<std::string> rest;
    for (std::size_t i = 1; i < args.size(); ++i)
        if (!TakeNetOption(args, i, options)) rest.push_back(args[i]);
    EXPECT_EQ(rest, (std::vector<std::string>{"list", "--json"}));
    ASSERT_EQ(options.targets.size(), 1u);
    EXPECT_EQ(TargetHosts(options.targets).size(), 2u);
    EXPECT_EQ(Utf8(*options.trace), "t");
}
