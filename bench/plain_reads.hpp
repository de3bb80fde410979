#pragma once
// The floor a scan stands on: the same files' bytes read whole with plain reads, by a pool of as
// many threads as the scan may use, each thread taking the next file.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

// The threads this process may run on (what taskset allows), at least one: the scan's worker
// limit and the size of the reading pool.
inline int gf_usableCpus()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) != 0)
        return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    return std::max(1, CPU_COUNT(&set));
}

// Walks root for the files that wanted accepts, then reads each whole on threads; the bytes read.
inline std::uintmax_t gf_readTreeOnThreads(const std::filesystem::path& root, int threads,
                                           const std::function<bool(const std::filesystem::path&)>& wanted)
{
    std::vector<std::filesystem::path> files;
    for (const std::filesystem::directory_entry& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file() && wanted(entry.path()))
            files.push_back(entry.path());
    std::atomic<std::size_t> next{0};
    std::atomic<std::uintmax_t> total{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&files, &next, &total] {
            std::vector<char> buffer(1 << 16);
            for (std::size_t i = next++; i < files.size(); i = next++) {
                const int descriptor = ::open(files[i].c_str(), O_RDONLY | O_CLOEXEC);
                if (descriptor < 0)
                    continue;
                std::uintmax_t got = 0;
                for (;;) {
                    const ssize_t n = ::read(descriptor, buffer.data(), buffer.size());
                    if (n <= 0)
                        break;
                    got += static_cast<std::uintmax_t>(n);
                }
                ::close(descriptor);
                total += got;
            }
        });
    for (std::thread& thread : pool)
        thread.join();
    return total.load();
}
