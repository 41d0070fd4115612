// Document transfer throughput against the plain ways of doing the same:
// a socket transfer over loopback (file to socket to spool file) beside a
// straightforward TCP copy loop, and a file-reference copy beside cp(1).
// FT_BENCH_BYTES sets the document size (default 64 MiB).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <vrcore/ft.h>
#include <vrcore/log.h>

#include "../tests/support/loopback.h"

extern char **environ;

namespace {

size_t Bytes() {
    const char *e = std::getenv("FT_BENCH_BYTES");
    return e && *e ? std::strtoull(e, nullptr, 10) : size_t{64} << 20;
}

struct Scratch {
    std::string dir, src, spool;
    Scratch() {
        LOG_Init("stderr", "");
        char tmpl[] = "/tmp/vrftbench.XXXXXX";
        dir = mkdtemp(tmpl);
        spool = dir + "/spool";
        std::filesystem::create_directory(spool);
        src = dir + "/document";
        int fd = open(src.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char> chunk(1 << 20);
        std::mt19937 g(1);
        for (auto &c : chunk) c = static_cast<char>(g());
        for (size_t left = Bytes(); left > 0;) {
            size_t n = left < chunk.size() ? left : chunk.size();
            if (write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) std::abort();
            left -= n;
        }
        close(fd);
    }
    ~Scratch() { std::filesystem::remove_all(dir); }
};

Scratch &S() {
    static Scratch s;
    return s;
}

// A document of the scratch file: its identifier, spool directory and a
// reference to the source.
struct Document {
    uint32_t num;
    std::string src = S().src;
    GEN_DocumentIdentifier id{};
    FT_SpoolInfo spool{S().spool.c_str()};
    GEN_DocumentContent content{};
    explicit Document(uint32_t n) : num(n) {
        std::strcpy(id.job.value, "bench");
        id.document_number = &num;
        content.choice = GEN_CONTENT_REFERENCED;
        content.u.referenced.specific_reference.length = static_cast<int32_t>(src.size());
        content.u.referenced.specific_reference.value =
            reinterpret_cast<unsigned char *>(src.data());
    }
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;
};

void BM_SocketTransfer(benchmark::State &state) {
    Document doc(1);
    auto &id = doc.id;
    auto &spool = doc.spool;
    auto &content = doc.content;
    for (auto _ : state) {
        FT_Result r{};
        if (FT_RetrieveToFile(&id, nullptr, FT_METHOD_SOCKET, &spool, &r) != 0) std::abort();
        FT_SocketAddress a = r.address;
        a.address[0] = 127;
        a.address[3] = 1;
        std::thread client([&] {
            if (FT_FileToSend(&id, &a, &content, FT_METHOD_SOCKET, nullptr) != 0) std::abort();
        });
        if (FT_SocketServer(&id, &spool, &r) != 0) std::abort();
        client.join();
        unlink(r.spool_name);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Bytes()));
}

// The same work written plainly: read and send 64 KiB at a time, receive
// and write 64 KiB at a time.
void BM_PlainTcpCopy(benchmark::State &state) {
    Scratch &s = S();
    std::string out = s.spool + "/plain";
    for (auto _ : state) {
        uint16_t port = 0;
        int lis = vrtest::LoopbackListener(port, 5);
        std::thread client([&] {
            int c = vrtest::ConnectLoopback(port);
            if (c < 0) std::abort();
            int fd = open(s.src.c_str(), O_RDONLY);
            std::vector<char> buf(64 << 10);
            for (ssize_t n; (n = read(fd, buf.data(), buf.size())) > 0;)
                for (ssize_t off = 0; off < n;) off += send(c, buf.data() + off, n - off, 0);
            close(fd);
            close(c);
        });
        int c = accept(lis, nullptr, nullptr);
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char> buf(64 << 10);
        for (ssize_t n; (n = recv(c, buf.data(), buf.size(), 0)) > 0;)
            for (ssize_t off = 0; off < n;) off += write(fd, buf.data() + off, n - off);
        close(fd);
        close(c);
        close(lis);
        client.join();
        unlink(out.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Bytes()));
}

void BM_FileReferenceCopy(benchmark::State &state) {
    Document doc(2);
    auto &id = doc.id;
    auto &spool = doc.spool;
    auto &content = doc.content;
    for (auto _ : state) {
        FT_Result r{};
        if (FT_RetrieveToFile(&id, &content, FT_METHOD_FILE_REFERENCE, &spool, &r) != 0)
            std::abort();
        unlink(r.spool_name);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Bytes()));
}

// cp(1) run as a process for each copy.
void BM_CpCommand(benchmark::State &state) {
    Scratch &s = S();
    std::string out = s.spool + "/cp";
    for (auto _ : state) {
        const char *argv[] = {"cp", s.src.c_str(), out.c_str(), nullptr};
        pid_t pid;
        if (posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char **>(argv), environ) != 0)
            std::abort();
        int st = 0;
        waitpid(pid, &st, 0);
        if (st != 0) std::abort();
        unlink(out.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Bytes()));
}

} // namespace

BENCHMARK(BM_SocketTransfer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainTcpCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FileReferenceCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CpCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
