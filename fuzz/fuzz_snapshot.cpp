// A snapshot file as anyone might have edited it: read it; a refusal names its reason on one line
// and leaves nothing behind; an accepted file writes back to the same snapshot, compares equal
// with itself (but for records not read), maps onto its own bus without a change that the comparison sees, and shows.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/require.h"
#include "snapshot/diff.h"
#include "snapshot/mapping.h"
#include "snapshot/snapshot.h"
#include "snapshot/view.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    Snapshot snap;
    std::string problem;
    if (!DecodeSnapshot(text, snap, problem)) {
        REQUIRE(!problem.empty() && problem.find('\n') == std::string::npos);
        REQUIRE(snap == Snapshot{});
        return 0;
    }
    REQUIRE(snap.kind == 1 || snap.kind == 2);
    const std::string encoded = EncodeSnapshot(snap);
    Snapshot again;
    REQUIRE(DecodeSnapshot(encoded, again, problem));
    REQUIRE(again == snap);
    REQUIRE(EncodeSnapshot(again) == encoded);
    // Compared with itself, only a record that was not read stands out (nothing is known of it).
    for (const Difference& d : Diff(snap, snap)) REQUIRE(d.key == "record" && d.a == "nie odczytano" && d.a == d.b);

    const RestorePlan plan = MapSnapshot(snap, snap, {}, {});
    if (plan.problems.empty()) {
        Snapshot mapped = snap;
        for (const int i : plan.indexes) mapped.records[static_cast<std::size_t>(i)].bytes = plan.records[static_cast<std::size_t>(i)];
        for (const Difference& d : Diff(snap, mapped)) REQUIRE(d.key == "record" && d.a == d.b);
    }
    REQUIRE(!ShowText(snap).empty());
    return 0;
}
