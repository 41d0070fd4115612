// Messages per second written to a log file, one message at a time and
// flushed, from 1 and 2 threads; spdlog doing the same as the peer.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "vrcore/log.h"

#ifdef VRCORE_HAVE_SPDLOG
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace {

namespace fs = std::filesystem;

const fs::path &Dir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("vrlog-bench-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

constexpr int kFileSize = 64 << 20; // both rotate to bound the disk used
constexpr int kFiles = 2;

void BM_LogFile(benchmark::State &state) {
    if (state.thread_index() == 0) {
        LOG_Init((Dir() / "vrcore.log").c_str(), "EWSg");
        LOG_SetLogSize(kFileSize);
        LOG_SetMaxNoOfLogs(kFiles);
    }
    int i = 0;
    for (auto _ : state)
        LOG_CondMessage(16, "bench.cpp", 42, "message %d of thread %d: %s", ++i,
                        state.thread_index(), "some words of text");
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) LOG_Term();
}
BENCHMARK(BM_LogFile)->Threads(1)->Threads(2)->UseRealTime();

#ifdef VRCORE_HAVE_SPDLOG
void BM_Spdlog(benchmark::State &state) {
    static std::shared_ptr<spdlog::logger> logger;
    if (state.thread_index() == 0) {
        auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
            (Dir() / "spdlog.log").string(), kFileSize, kFiles);
        logger = std::make_shared<spdlog::logger>("bench", sink);
        logger->flush_on(spdlog::level::trace); // a flush after each message
    }
    int i = 0;
    for (auto _ : state)
        logger->info("message {} of thread {}: {}", ++i, state.thread_index(),
                     "some words of text");
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) logger.reset();
}
BENCHMARK(BM_Spdlog)->Threads(1)->Threads(2)->UseRealTime();
#endif

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(Dir(), ec);
    return 0;
}
