#include "platform/Process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>

extern char** environ;

namespace tessel::platform {

namespace {

// The child changes into the working folder before it starts the program, so a relative program path
// has to be made absolute first.
std::string absoluteProgramPath(const std::string& program) {
    if (program.empty() || program.front() == '/' || program.find('/') == std::string::npos) return program;
    char current[PATH_MAX];
    if (::getcwd(current, sizeof current) == nullptr) return program;
    return std::string(current) + "/" + program;
}

}  // namespace

std::string ProcessEnd::signalName() const {
    const char* name = ::sigabbrev_np(signal);
    return name != nullptr ? std::string("SIG") + name : std::to_string(signal);
}

bool spawnAndWait(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& workingFolder, ProcessEnd& end, std::error_code& error) {
    const std::string path = absoluteProgramPath(program);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());

    // The program starts with every signal at its default and none blocked, whatever Tessel ignores
    // (a broken pipe) or blocks in the thread that runs it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t child = 0;
    const bool searchPath = path.find('/') == std::string::npos;
    const int result = searchPath
                           ? ::posix_spawnp(&child, path.c_str(), &actions, &attributes, argv.data(), environ)
                           : ::posix_spawn(&child, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        error = {result, std::system_category()};
        return false;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno == EINTR) continue;
        error = {errno, std::system_category()};
        return true;  // it was started; how it ended cannot be told
    }
    end.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return true;
}

namespace {

struct ProcessUser {
    std::atomic<std::uint32_t> user{::geteuid()};
    std::atomic<std::uint32_t> group{::getegid()};
};

ProcessUser& processUserKnown() {
    static ProcessUser known;
    return known;
}

}  // namespace

std::uint32_t processUser() {
    return processUserKnown().user.load(std::memory_order_relaxed);
}

std::uint32_t processGroup() {
    return processUserKnown().group.load(std::memory_order_relaxed);
}

void refreshProcessUser() {
    processUserKnown().user = ::geteuid();
    processUserKnown().group = ::getegid();
}

std::size_t openFileLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return SIZE_MAX;
    return static_cast<std::size_t>(limit.rlim_cur);
}

}  // namespace tessel::platform
