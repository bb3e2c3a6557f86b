#include "platform/TempFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <random>

namespace tessel::platform {

namespace {

std::string randomSuffix() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix(8, ' ');
    for (char& letter : suffix) letter = kLetters[pick(generator)];
    return suffix;
}

}  // namespace

bool createTempBeside(const std::string& target, File& file, std::string& tempPath, std::error_code& error) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);

    // O_EXCL makes the name ours alone; a clash with a file someone else made only costs another try.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + "." + name + "." + randomSuffix();
        if (!file.open(candidate, File::Mode::CreateExclusive, error)) {
            if (error == std::errc::file_exists) continue;
            return false;
        }
        tempPath = candidate;
        struct stat original {};
        if (::stat(target.c_str(), &original) == 0) {
            if (::chmod(candidate.c_str(), original.st_mode & 07777) != 0) {
                error = lastSystemError();
                std::error_code ignored;
                file.close(ignored);
                removeFile(candidate, ignored);
                return false;
            }
            // Handing the file to the original owner needs privileges (root rewriting a user's file);
            // without them the file simply stays ours, which is no reason to give up the rewrite.
            if (original.st_uid != ::geteuid() || original.st_gid != ::getegid()) {
                [[maybe_unused]] const int refused =
                    ::chown(candidate.c_str(), original.st_uid, original.st_gid);
            }
        }
        return true;
    }
    error = std::make_error_code(std::errc::file_exists);
    return false;
}

}  // namespace tessel::platform
