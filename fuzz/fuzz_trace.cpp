// A trace line for any datagram: valid JSON that the viewer reads back, its length and hex true to
// the datagram, and the key material of a K frame never in it. The first 20 bytes of an input
// make a well-formed K reply (identifier, then material) that the writer sees first, so that the
// code checks of the signed frames that follow run with a key.
#include <cstddef>
#include <cstdint>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fuzz/require.h"
#include "link/frame.h"
#include "trace/trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    TraceWriter writer;
    std::string lines;
    std::size_t rest = 0;
    if (size >= 20) {
        const std::vector<uint8_t> material(data + 4, data + 20);
        const std::vector<uint8_t> k = BuildUnsigned('K', GetU32(data), material);
        const std::string line = writer.Line(1, TraceDirection::Received, 0x0A000001u, 45389, k);
        REQUIRE(line.find("xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\"") != std::string::npos);
        lines += line + "\n";
        rest = 20;
    }
    const std::span<const uint8_t> datagram(data + rest, size - rest);
    const bool sent = size % 2 == 0;
    const std::string line = writer.Line(2, sent ? TraceDirection::Sent : TraceDirection::Received, 0xC0A80101u,
                                         static_cast<uint16_t>(size), datagram, size % 3 == 0 ? "b\xC5\x82\xFF" : "");
    const nlohmann::json parsed = nlohmann::json::parse(line);   // throws, and so fails, on bad JSON
    REQUIRE(parsed.at("len").get<std::size_t>() == datagram.size());
    const std::string hex = parsed.at("hex").get<std::string>();
    REQUIRE(hex.size() == 2 * datagram.size());
    const bool secret = datagram.size() > 12 && datagram[0] == 'M' && datagram[1] == 'M' && datagram[2] == 'D' &&
                        datagram[3] == 'K';
    if (secret) REQUIRE(hex.find_first_not_of('x', 16) == std::string::npos);
    REQUIRE(parsed.contains("tag") == (datagram.size() >= 12 && datagram[0] == 'M' && datagram[1] == 'M' &&
                                       datagram[2] == 'D'));
    lines += line + "\n";
    std::istringstream in(lines);
    std::ostringstream out;
    REQUIRE(PrintTrace(in, out));
    return 0;
}
