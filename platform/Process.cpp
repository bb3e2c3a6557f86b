#include "platform/Process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

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

bool spawnAndWait(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& workingFolder, std::error_code& error) {
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

    pid_t child = 0;
    const bool searchPath = path.find('/') == std::string::npos;
    const int result = searchPath
                           ? ::posix_spawnp(&child, path.c_str(), &actions, nullptr, argv.data(), environ)
                           : ::posix_spawn(&child, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        error = {result, std::system_category()};
        return false;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

}  // namespace tessel::platform
