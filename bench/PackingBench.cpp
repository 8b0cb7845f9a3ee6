// Packing, unpacking and version computation of a 64 MiB file against plain zlib one-shot
// calls on the same bytes. Run in a Release build:
//   build/bin/bench_packing
#include "common/Codec.h"
#include "updater/files/FileStore.h"
#include "updater/files/Packing.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

namespace {

constexpr std::size_t kSize = 64u << 20;

// Game-file-like content: text records with numbers, some binary runs, compresses about 3:1.
const std::string &sample()
{
    static const std::string data = [] {
        static const char *const words[] = {"sword",    "shield", "potion",  "Talmora", "north",
                                            "gate",     "guard",  "0x00",    "level",   "spawn",
                                            "merchant", "quest",  "dungeon", "map",     "tile"};
        std::mt19937 gen(20261207);
        std::string out;
        out.reserve(kSize + 64);
        while (out.size() < kSize) {
            if (gen() % 8 == 0) {
                for (int i = 0; i < 48; ++i)
                    out.push_back(static_cast<char>(gen() & 0xFF));
            } else {
                out += words[gen() % std::size(words)];
                out += ' ';
                out += std::to_string(gen() % 10000);
                out += (gen() % 4 == 0) ? "\r\n" : ", ";
            }
        }
        out.resize(kSize);
        return out;
    }();
    return data;
}

const std::string &packedSample()
{
    static const std::string packed = updater::Pack(sample());
    return packed;
}

// The sample as a file in a folder of its own, removed at exit.
struct SampleFile
{
    SampleFile()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "talmora-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            folder = pattern;
        path = folder / "sample.dat";
        std::FILE *file = std::fopen(path.string().c_str(), "wb");
        if (file) {
            std::fwrite(sample().data(), 1, sample().size(), file);
            std::fclose(file);
        }
    }
    ~SampleFile()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::filesystem::path folder;
    std::filesystem::path path;
};

const SampleFile &sampleFile()
{
    static const SampleFile file;
    return file;
}

void BM_PlainCompress(benchmark::State &state)
{
    const std::string &in = sample();
    for (auto _ : state) {
        uLongf length = compressBound(static_cast<uLong>(in.size()));
        std::unique_ptr<Bytef[]> out(new Bytef[length]);
        compress(out.get(), &length, reinterpret_cast<const Bytef *>(in.data()),
                 static_cast<uLong>(in.size()));
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

void BM_Pack(benchmark::State &state)
{
    const std::string &in = sample();
    for (auto _ : state) {
        std::string out = updater::Pack(in);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

void BM_PlainUncompress(benchmark::State &state)
{
    const std::string &packed = packedSample();
    for (auto _ : state) {
        uLongf length = kSize;
        std::unique_ptr<Bytef[]> out(new Bytef[length]);
        uncompress(out.get(), &length, reinterpret_cast<const Bytef *>(packed.data() + 4),
                   static_cast<uLong>(packed.size() - 4));
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void BM_Unpack(benchmark::State &state)
{
    const std::string &packed = packedSample();
    for (auto _ : state) {
        auto out = updater::Unpack(packed);
        benchmark::DoNotOptimize(out->data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

// Plain zlib's way to a version number: read the file, compress, sum marker and output.
void BM_PlainReadCompressSum(benchmark::State &state)
{
    const std::string path = sampleFile().path.string();
    for (auto _ : state) {
        std::FILE *file = std::fopen(path.c_str(), "rb");
        std::unique_ptr<Bytef[]> in(new Bytef[kSize]);
        const std::size_t got = std::fread(in.get(), 1, kSize, file);
        std::fclose(file);
        uLongf length = compressBound(static_cast<uLong>(got));
        std::unique_ptr<Bytef[]> out(new Bytef[length]);
        compress(out.get(), &length, in.get(), static_cast<uLong>(got));
        std::uint32_t sum = 150 + 0 + 0 + 1 + 0; // marker and header of 64 MiB
        for (uLongf i = 0; i < length; ++i)
            sum += out[i];
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void BM_ComputeFileVersion(benchmark::State &state)
{
    const std::string path = sampleFile().path.string();
    const std::string folder = sampleFile().folder.string();
    const updater::FileStore store(folder);
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.ComputeFileVersion(path));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

} // namespace

BENCHMARK(BM_PlainCompress)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Pack)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainUncompress)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Unpack)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PlainReadCompressSum)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ComputeFileVersion)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
