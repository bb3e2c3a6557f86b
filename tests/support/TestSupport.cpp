#include "support/TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "platform/Faults.h"
#include "platform/Process.h"
#include "sync/SyncWatch.h"
#include "watch/WatchFile.h"

namespace tessel::test {

namespace fs = std::filesystem;

namespace {

// The locks of the tests' runs (one per pair of folders, and they are many) go to a folder of the test
// program's own, removed at its end, rather than into the user's.
class LockFolder : public ::testing::Environment {
  public:
    void SetUp() override {
        m_folder = (fs::temp_directory_path() / "tessel-test-locks-XXXXXX").string();
        if (::mkdtemp(m_folder.data()) == nullptr) return m_folder.clear();
        ::setenv("XDG_RUNTIME_DIR", m_folder.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!m_folder.empty()) fs::remove_all(m_folder, ignored);
    }

  private:
    std::string m_folder;
};

[[maybe_unused]] ::testing::Environment* const kLockFolder =
    ::testing::AddGlobalTestEnvironment(new LockFolder);

}  // namespace

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tessel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    // Tests make files read-only and folders unreadable; give the owner everything back first.
    std::error_code error;
    for (auto it =
             fs::recursive_directory_iterator(m_path, fs::directory_options::skip_permission_denied, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error)) chmod(it->path().c_str(), 0700);
    }
    chmod(m_path.c_str(), 0700);
    fs::remove_all(m_path, error);
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::optional<std::string>& value)
    : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

ScopedEnvironment::~ScopedEnvironment() {
    if (m_old)
        setenv(m_name, m_old->c_str(), 1);
    else
        unsetenv(m_name);
}

void writeFile(const std::string& path, const std::string& content) {
    const fs::path parent = fs::path(path).parent_path();
    std::error_code ignored;
    if (!parent.empty() && !fs::exists(parent, ignored)) fs::create_directories(parent, ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out << content;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void makeFolders(const std::string& path) {
    fs::create_directories(path);
}

void setModificationTime(const std::string& path, std::int64_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("utimensat failed on " + path);
}

std::int64_t modificationTime(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) throw std::runtime_error("stat failed on " + path);
    return info.st_mtim.tv_sec;
}

mode_t permissions(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) throw std::runtime_error("stat failed on " + path);
    return info.st_mode & 07777;
}

std::vector<std::string> listFolder(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> snapshotTree(const std::string& root) {
    std::vector<std::string> items;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        // By its text: fs::relative would resolve the links on the way (a loop of links, say).
        const std::string relative = fs::path(entry.path()).lexically_relative(root).string();
        if (entry.is_symlink())
            items.push_back(relative + "->" + fs::read_symlink(entry.path()).string());
        else if (entry.is_directory())
            items.push_back(relative + "/");
        else if (entry.is_regular_file())
            items.push_back(relative + "=" + readFile(entry.path().string()));
        else
            items.push_back(relative + "@");
    }
    std::sort(items.begin(), items.end());
    return items;
}

void randomTree(std::mt19937& random, const std::string& root) {
    static const char* const kNames[] = {"a.txt", "b.txt", "c.doc", "a1.doc", "b2", "d.txt"};
    static const char* const kFolders[] = {"x", "y", "x/z"};
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (const char* folder : {"", "x/", "y/", "x/z/"}) {
        if (*folder != '\0' && pick(3) == 0) continue;
        for (const char* name : kNames) {
            if (pick(2) == 0) continue;
            const std::string path = root + "/" + folder + name;
            writeFile(path, std::string(static_cast<std::size_t>(pick(3)), static_cast<char>('a' + pick(3))));
            setModificationTime(path, 1'600'000'000 + 10 * pick(3));
        }
    }
    if (pick(8) == 0) makeFolders(root + "/" + kFolders[pick(3)] + "/empty");
}

std::string generatedLocales(const std::vector<std::string>& names) {
    // One folder for the whole test program: a locale takes a second or so to make.
    static TempDir folder;
    for (const std::string& name : names) {
        if (exists(folder / name)) continue;
        const std::size_t dot = name.find('.');
        const std::string source = name.substr(0, dot),
                          charmap = dot == std::string::npos ? "UTF-8" : name.substr(dot + 1);
        const pid_t child = fork();
        if (child == 0) {
            const int devNull = open("/dev/null", O_WRONLY);
            if (devNull >= 0) dup2(devNull, 1), dup2(devNull, 2);
            execlp("localedef", "localedef", "-i", source.c_str(), "-f", charmap.c_str(),
                   (folder / name).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        // localedef may end with 1 for a mere warning: what it made is the verdict.
        if (child < 0 || waitpid(child, &status, 0) != child || !exists(folder / (name + "/LC_TIME")))
            return {};
    }
    return folder.path();
}

int runAsUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups, const std::function<int()>& body) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (setgroups(groups.size(), groups.data()) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(125);
        platform::refreshProcessUser();
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

void makeReadOnlyNowAndThen(std::mt19937& random, const std::string& root) {
    if (random() % 3 != 0 || !exists(root)) return;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && random() % 4 == 0) chmod(entry.path().c_str(), 0444);
}

TWatchRec makeWatch(const std::string& source, const std::string& destination, std::uint8_t runMode,
                    std::uint8_t period) {
    TWatchRec watch;
    InitWatchRec(watch);
    setText(watch.SourceDir, source);
    setText(watch.DestDir, destination);
    setText(watch.FileMask, "*.*");
    watch.RunMode = runMode;
    watch.Period = period;
    watch.TuneMode = tmSyncAll;
    return watch;
}

void writeWatches(RunContext& context, const std::string& file, const std::vector<TWatchRec>& watches) {
    for (const TWatchRec& watch : watches) ASSERT_TRUE(AppendWatchRec(context, watch, file));
}

std::vector<TWatchRec> storedWatches(const std::string& file) {
    std::vector<TWatchRec> watches;
    readAllWatchRecs(file, watches);
    return watches;
}

FixedClock::~FixedClock() {
    platform::setClockForTesting(std::nullopt);
}

void FixedClock::set(const platform::LocalTime& local) {
    const std::optional<platform::WallClock> moment = platform::fromLocalTime(local);
    ASSERT_TRUE(moment.has_value());
    set(*moment);
}

void FixedClock::set(const platform::WallClock& moment) {
    platform::setClockForTesting(moment);
}

TreeFixture::TreeFixture() {
    watch = makeWatch(src, dst);
    makeFolders(src);
    // The trees here are small and often emptied on purpose; the guard and the versions have tests of
    // their own.
    context.options.deleteLimitPercent = 100;
    context.options.keepVersions = false;
}

TreeFixture::~TreeFixture() {
#ifdef TESSEL_FAULT_INJECTION
    platform::faults::clear();
#endif
}

RunResult TreeFixture::runWatch(Doing doing) {
    return tessel::runWatch(context, watchFromRecord(watch, extras), doing);
}

std::vector<std::string> CoreFixture::loggedMessages() const {
    return test::loggedMessages(context.LogFilePath);
}

std::vector<std::string> withoutDurations(std::vector<std::string> messages) {
    static const std::regex duration(", [0-9]+\\.[0-9] s$");
    for (std::string& message : messages)
        if (message.starts_with("Summary of watch ")) message = std::regex_replace(message, duration, "");
    return messages;
}

std::vector<std::string> loggedMessages(const std::string& logFile) {
    std::vector<std::string> result;
    if (!exists(logFile)) return result;
    std::istringstream lines(readFile(logFile));
    std::string line;
    while (std::getline(lines, line, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto separator = line.find(": ");
        result.push_back(separator == std::string::npos ? line : line.substr(separator + 2));
    }
    return result;
}

}  // namespace tessel::test
