// Cutting many small packets from one burst must cost time linear in the burst's size:
// the per-packet time stays flat from 1,000 to 100,000 packets.
#include "common/Codec.h"
#include "common/ReceiveBuffer.h"

#include <benchmark/benchmark.h>

namespace {

std::string burstOf(int packets)
{
    std::string burst;
    for (int i = 0; i < packets; ++i)
        burst += *common::BuildPacket(common::byteString({7, 'h', 'e', 'l', 'l', 'o', 0, i % 256}),
                                      common::PacketKind::Plain);
    return burst;
}

void CutPacketsFromOneBurst(benchmark::State &state)
{
    const int packets = static_cast<int>(state.range(0));
    const std::string burst = burstOf(packets);
    for (auto _ : state) {
        common::ReceiveBuffer buffer;
        buffer.append(burst);
        int count = 0;
        buffer.dispatchAll([&](const common::Packet &p) { count += p.type; });
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * packets);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(burst.size()));
}
BENCHMARK(CutPacketsFromOneBurst)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
