// Writes a large personal folders file (by default 100,000 messages of about
// 10 KB, every tenth with a 100 KB attachment) and reports messages per
// second, MB per second and peak memory, next to the time the same disk
// needs to copy the same number of bytes.
//
// usage: pst_write_bench [--messages N] [--dir DIR] [--commit-every K] [--no-sync] [--ansi] [--keep]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "outlook/pst/PstChecker.h"
#include "outlook/pst/sample/SampleWriter.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Copies a file with 1 MB reads and writes and flushes it: the disk's own speed for these bytes.
double CopySeconds(const std::string& from, const std::string& to) {
    auto start = std::chrono::steady_clock::now();
    int in = open(from.c_str(), O_RDONLY);
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) {
        std::perror("copy");
        return -1;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        ssize_t n = read(in, buffer.data(), buffer.size());
        if (n <= 0) break;
        if (write(out, buffer.data(), std::size_t(n)) != n) {
            std::perror("copy");
            break;
        }
    }
    fdatasync(out);
    close(in);
    close(out);
    return Seconds(start);
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    qb::pst::SampleOptions options;
    options.messages = 100000;
    options.benchShape = true;
    std::string dir = "/tmp";
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--messages" && i + 1 < argc) options.messages = std::stoul(argv[++i]);
        else if (a == "--dir" && i + 1 < argc) dir = argv[++i];
        else if (a == "--commit-every" && i + 1 < argc) {
            options.policy.messages = std::stoul(argv[++i]);
            options.policy.adaptive = false;
        }
        else if (a == "--no-sync") options.policy.sync = false;
        else if (a == "--ansi") options.format = qb::pst::PstFormat::Ansi;
        else if (a == "--keep") keep = true;
        else {
            std::fprintf(stderr, "usage: pst_write_bench [--messages N] [--dir DIR] [--commit-every K] [--no-sync] [--ansi] [--keep]\n");
            return 2;
        }
    }
    if (options.policy.messages == 1) options.policy.interval = std::chrono::milliseconds(0);
    const std::string path = dir + "/pst-bench-" + std::to_string(getpid()) + ".pst";
    const std::string copy = path + ".copy";

    // Random text and data are made before the clock starts: the bench measures the writer.
    auto prepareStart = std::chrono::steady_clock::now();
    const qb::pst::BenchContent content = qb::pst::PrepareBenchContent(options.seed);
    options.benchContent = &content;
    double prepareSeconds = Seconds(prepareStart);

    auto start = std::chrono::steady_clock::now();
    qb::pst::SampleSummary summary;
    try {
        summary = qb::pst::WriteSampleStore(path, options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench failed: %s\n", e.what());
        return 1;
    }
    {
        // The store syncs at its commits; without that, flush here so both sides pay for the disk.
        int fd = open(path.c_str(), O_RDONLY);
        fdatasync(fd);
        close(fd);
    }
    double writeSeconds = Seconds(start);
    long peakKb = PeakRssKb();
    FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    double fileMb = double(std::ftell(f)) / 1e6;
    std::fclose(f);
    double contentMb = double(summary.bodyBytes * 2 + summary.attachmentBytes) / 1e6;
    // Other work on the machine moves disk speed about; take the faster of two copies.
    double copySeconds = CopySeconds(path, copy);
    copySeconds = std::min(copySeconds, CopySeconds(path, copy));

    std::printf("messages          %zu (%zu attachments, commit every %zu messages or %lld ms, sync %s)\n",
                summary.messages, summary.attachments, options.policy.messages,
                static_cast<long long>(options.policy.interval.count()), options.policy.sync ? "on" : "off");
    std::printf("write time        %.2f s (content made beforehand in %.2f s, not counted)\n", writeSeconds, prepareSeconds);
    std::printf("messages/s        %.0f\n", double(summary.messages) / writeSeconds);
    std::printf("file              %.1f MB, %.1f MB/s\n", fileMb, fileMb / writeSeconds);
    std::printf("content           %.1f MB, %.1f MB/s\n", contentMb, contentMb / writeSeconds);
    std::printf("peak memory       %.1f MB\n", double(peakKb) / 1024.0);
    std::printf("copy of the file  %.2f s on the same disk (write takes %.2fx the copy)\n", copySeconds,
                writeSeconds / copySeconds);
    if (getenv("QUILLBOX_BENCH_CHECK")) {
        auto report = qb::pst::CheckPstFile(path);
        std::printf("pst-check         %s (%zu errors)\n", report.ok() ? "OK" : "FAILED", report.errors.size());
    }
    std::remove(copy.c_str());
    if (!keep) std::remove(path.c_str());
    return 0;
}
