// How fast a block is descrambled and summed, and whether ValidatePackage over the largest
// image is bound by reading the file rather than by its arithmetic.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "update/line_window.h"
#include "update/package_format.h"
#include "update/package_stream.h"
#include "update/package_writer.h"
#include "update/validate_package.h"

namespace {

constexpr int kLargestBlockCount = 8;

std::vector<std::uint8_t> Block() {
    std::vector<std::uint8_t> block(troz::kWorkingBufferSize);
    std::iota(block.begin(), block.end(), static_cast<std::uint8_t>(3));
    return block;
}

void DescrambleAndSum(benchmark::State& state) {
    auto block = Block();
    for (auto _ : state) {
        troz::Descramble(block.data(), troz::kWorkingBufferSize);
        benchmark::DoNotOptimize(troz::SumBytes(block.data(), troz::kWorkingBufferSize));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            troz::kWorkingBufferSize);
}
BENCHMARK(DescrambleAndSum);

void DescrambleOnly(benchmark::State& state) {
    auto block = Block();
    for (auto _ : state) {
        troz::Descramble(block.data(), troz::kWorkingBufferSize);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            troz::kWorkingBufferSize);
}
BENCHMARK(DescrambleOnly);

void SumOnly(benchmark::State& state) {
    const auto block = Block();
    for (auto _ : state) {
        benchmark::DoNotOptimize(troz::SumBytes(block.data(), troz::kWorkingBufferSize));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            troz::kWorkingBufferSize);
}
BENCHMARK(SumOnly);

// The largest single image: eight scrambled blocks of 65533 bytes, in a file of its own.
class LargestPackage : public benchmark::Fixture {
public:
    void SetUp(const benchmark::State&) override {
        const std::vector<std::uint16_t> sizes(kLargestBlockCount, troz::kLargestBlockSize);
        const auto image = troz::MakeFillerImage(sizes, 1);
        troz::PackageContents contents{false, true, {}};
        std::string error;
        contents.images.emplace_back();
        troz::SplitImage(image, sizes, contents.images.back(), error);
        troz::WritePackage(contents, package_, error);
        path_ = "/tmp/troz_package_bench_" + std::to_string(getpid()) + ".tfs";
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        std::fwrite(package_.data(), 1, package_.size(), file);
        std::fclose(file);
    }
    void TearDown(const benchmark::State&) override { std::remove(path_.c_str()); }

protected:
    std::vector<std::uint8_t> package_;
    std::string path_;
};

BENCHMARK_F(LargestPackage, ValidatePackage)(benchmark::State& state) {
    troz::PackageHeader headerCopy;
    const troz::PackageState packageState;
    troz::LineWindow window;
    for (auto _ : state) {
        if (!troz::ValidatePackage(path_, headerCopy, packageState, window)) {
            state.SkipWithError("the package does not validate");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * package_.size()));
}

// The same file read block by block with nothing done to the bytes: the bound to compare.
BENCHMARK_F(LargestPackage, ReadOnly)(benchmark::State& state) {
    auto buffer = troz::AllocateWorkingBuffer();
    for (auto _ : state) {
        troz::PackageStream stream(path_);
        stream.Read(buffer.get(), troz::kPackageHeaderSize);
        for (int i = 0; i < kLargestBlockCount; ++i) {
            stream.Read(buffer.get(), troz::kLargestBlockSize);
        }
        benchmark::DoNotOptimize(buffer.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * package_.size()));
}

}  // namespace

BENCHMARK_MAIN();
