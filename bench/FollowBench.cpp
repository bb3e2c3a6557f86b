// What bench/follow.sh measures besides the programs it runs:
//
//   tessel-bench-follow latency SRC DST COUNT FOLDERS   COUNT changes, one at a time, spread over the
//       folders d0 .. d<FOLDERS-1> of SRC: each a new file written and closed, then waited for until its
//       copy is in place in DST. Prints the median and the 95th percentile in seconds.
//   tessel-bench-follow wait-files DIR COUNT TIMEOUT    waits until DIR holds COUNT files (all its
//       folders counted); prints the seconds waited, or fails after TIMEOUT seconds.
//   tessel-bench-follow usage PID SECONDS               the process's share of one core over SECONDS,
//       its peak and current memory in KiB, and its inotify watches.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr long kChangeBytes = 256;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool writeFile(const std::string& path, const std::string& content) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool written = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    return close(fd) == 0 && written;
}

long fileSize(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? static_cast<long>(status.st_size) : -1;
}

int latency(const std::string& source, const std::string& destination, long count, long folders) {
    std::vector<double> waits;
    const std::string content(kChangeBytes, 'c');
    for (long i = 0; i < count; ++i) {
        // Spread over the tree: each change in another folder, in an order that jumps about.
        const std::string folder = "/d" + std::to_string((i * 7919) % folders);
        const std::string name = folder + "/changed-" + std::to_string(i) + ".dat";
        if (!writeFile(source + name, content)) {
            std::fprintf(stderr, "cannot write %s%s\n", source.c_str(), name.c_str());
            return 1;
        }
        const Clock::time_point closed = Clock::now();
        while (fileSize(destination + name) != kChangeBytes) {
            if (secondsSince(closed) > 60) {
                std::fprintf(stderr, "%s%s was not copied within a minute\n", destination.c_str(),
                             name.c_str());
                return 1;
            }
            std::this_thread::sleep_for(1ms);
        }
        waits.push_back(secondsSince(closed));
    }
    std::sort(waits.begin(), waits.end());
    const auto at = [&](double share) {
        return waits[std::min(waits.size() - 1,
                              static_cast<std::size_t>(share * static_cast<double>(waits.size())))];
    };
    std::printf("%.3f %.3f\n", at(0.5), at(0.95));
    return 0;
}

long countFiles(const std::string& folder) {
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) return 0;
    long count = 0;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (entry->d_type == DT_DIR)
            count += countFiles(folder + "/" + name);
        else if (entry->d_type == DT_REG)
            ++count;
    }
    closedir(listing);
    return count;
}

int waitForFiles(const std::string& folder, long count, double timeout) {
    const Clock::time_point start = Clock::now();
    while (countFiles(folder) < count) {
        if (secondsSince(start) > timeout) {
            std::fprintf(stderr, "%s holds %ld files of %ld after %.0f s\n", folder.c_str(),
                         countFiles(folder), count, timeout);
            return 1;
        }
        std::this_thread::sleep_for(20ms);
    }
    std::printf("%.3f\n", secondsSince(start));
    return 0;
}

// utime + stime of /proc/PID/stat, in clock ticks.
long long cpuTicks(const std::string& pid) {
    std::ifstream file("/proc/" + pid + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The fields after the command's name, which ends with the last ")".
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long long ticks = 0;
    for (int number = 3; fields >> field; ++number)
        if (number == 14 || number == 15) ticks += std::atoll(field.c_str());
    return ticks;
}

long statusKib(const std::string& pid, const std::string& key) {
    std::ifstream file("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(file, line))
        if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
    return -1;
}

long inotifyWatches(const std::string& pid) {
    long watches = 0;
    const std::string fds = "/proc/" + pid + "/fdinfo";
    DIR* listing = opendir(fds.c_str());
    if (listing == nullptr) return -1;
    while (const dirent* entry = readdir(listing)) {
        std::ifstream file(fds + "/" + entry->d_name);
        std::string line;
        while (std::getline(file, line))
            if (line.rfind("inotify wd:", 0) == 0) ++watches;
    }
    closedir(listing);
    return watches;
}

int usage(const std::string& pid, double seconds) {
    const long long before = cpuTicks(pid);
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const long long after = cpuTicks(pid);
    const double cpu = static_cast<double>(after - before) / static_cast<double>(sysconf(_SC_CLK_TCK));
    std::printf("%.3f %ld %ld %ld\n", 100.0 * cpu / secondsSince(start), statusKib(pid, "VmHWM"),
                statusKib(pid, "VmRSS"), inotifyWatches(pid));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "latency" && argc == 6)
        return latency(argv[2], argv[3], std::atol(argv[4]), std::max(1L, std::atol(argv[5])));
    if (command == "wait-files" && argc == 5)
        return waitForFiles(argv[2], std::atol(argv[3]), std::atof(argv[4]));
    if (command == "usage" && argc == 4) return usage(argv[2], std::atof(argv[3]));
    std::fprintf(stderr,
                 "usage: %s latency SRC DST COUNT FOLDERS\n"
                 "       %s wait-files DIR COUNT TIMEOUT\n"
                 "       %s usage PID SECONDS\n",
                 argv[0], argv[0], argv[0]);
    return 2;
}
