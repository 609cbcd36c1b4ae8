// Figures for the link's hot paths, in CPU time of this thread, as medians over many runs:
//   - one AES-128 block encryption (ns), target at most 150 ns;
//   - the code of a 1419-byte signed frame, i.e. the CMAC over its 1411 bytes before the code and
//     the comparison (µs), target at most 15 µs;
//   - one unsigned Exchange round trip with a controller peer on the simulated LAN (µs): building
//     the request, the peer's reply, the wait and the CRC checks.
// Each figure also shows its ratio to a baseline measured in the same run: the CRC-32 of the same
// number of bytes (a plain bitwise loop), so the ratios stay comparable between machines.
#include <time.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "link/aes.h"
#include "link/cmac.h"
#include "link/crc32.h"
#include "link/endpoint.h"
#include "link/frame.h"
#include "link/udpdev.h"
#include "sim/blocks.h"
#include "sim/simlan.h"

namespace {

volatile uint64_t sink;

double ThreadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Nanoseconds per call: the median of `runs` runs of `calls` calls each. `prepare` runs before
// every run, outside the measured time.
double MedianNs(int runs, int calls, const std::function<uint64_t()>& body,
                const std::function<void()>& prepare = [] {})
{
    std::vector<double> perCall;
    for (int run = 0; run < runs; ++run) {
        prepare();
        uint64_t acc = 0;
        const double start = ThreadCpuNs();
        for (int i = 0; i < calls; ++i) acc += body();
        const double stop = ThreadCpuNs();
        sink = acc;
        perCall.push_back((stop - start) / calls);
    }
    std::nth_element(perCall.begin(), perCall.begin() + runs / 2, perCall.end());
    return perCall[static_cast<std::size_t>(runs / 2)];
}

void Row(const char* what, double value, const char* unit, double baseline, const char* target)
{
    std::printf("%-44s %9.3f %-3s  %6.2f x CRC-32 of the same bytes   %s\n", what, value, unit, value / baseline, target);
}

} // namespace

int main()
{
    constexpr int kRuns = 51;

    // AES-128: one block encrypted again and again, so that each encryption waits for the last.
    AES128 aes;
    const std::array<uint8_t, 16> key = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                                         0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
    aes.SetKey(key.data());
    std::array<uint8_t, 16> block{};
    const double aesNs = MedianNs(kRuns, 20000, [&] {
        aes.Encrypt(block.data());
        return block[0];
    });
    const double crc16Ns = MedianNs(kRuns, 20000, [&] { return Crc32(block.data(), block.size()); });

    // A signed frame with the largest payload: 1400 + 19 = 1419 bytes.
    CMAC cmac(aes);
    const std::vector<uint8_t> payload(kMaxPayload, 0x5A);
    const std::vector<uint8_t> frame = BuildSigned(cmac, 0x31310001u, 7, 'D' | 0x80, payload);
    const double cmacNs = MedianNs(kRuns, 2000, [&] { return static_cast<uint64_t>(CheckSignedCode(cmac, frame)); });
    const double crcFrameNs = MedianNs(kRuns, 2000, [&] { return Crc32(frame.data(), frame.size() - kCodeLength); });

    // Exchange: the status command to one reachable controller on the simulated LAN.
    SimLan lan;
    ControllerPeer& peer = lan.AddPeer(0xC0A80114u, MakeId(305, 42), 2);
    SetEndpoint(&lan);
    UdpDev dev;
    dev.id = peer.id;
    dev.ip = 0xC0A80114u;
    dev.reachable = true;
    std::array<uint8_t, 16> status{};
    const double exchangeNs = MedianNs(
        kRuns, 1000, [&] { return dev.Exchange('O', nullptr, 0, status.size(), status.data()); },
        [&] {
            lan.ClearLog();   // the recordings would otherwise grow through the whole benchmark
            peer.log.clear();
        });
    SetEndpoint(nullptr);
    // Request and reply frames: 12 + 28 bytes.
    const double crcExchangeNs = MedianNs(kRuns, 20000, [&] { return Crc32(frame.data(), 40); });

    std::printf("Link figures (CPU time of this thread, median of %d runs)\n\n", kRuns);
    Row("AES-128 block encryption", aesNs, "ns", crc16Ns, aesNs <= 150 ? "target <= 150 ns: met" : "target <= 150 ns: MISSED");
    Row("CMAC code of a 1419-byte signed frame", cmacNs / 1000, "us", crcFrameNs / 1000,
        cmacNs <= 15000 ? "target <= 15 us: met" : "target <= 15 us: MISSED");
    Row("Exchange round trip on the simulated LAN", exchangeNs / 1000, "us", crcExchangeNs / 1000, "(no target)");
    std::printf("\nBaselines: CRC-32 of 16 bytes %.1f ns, of 1411 bytes %.2f us, of 40 bytes %.1f ns\n", crc16Ns,
                crcFrameNs / 1000, crcExchangeNs);
    return 0;
}
