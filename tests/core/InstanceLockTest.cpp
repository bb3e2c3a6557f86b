// The mark of a running Tessel. (A second Tessel against a real first one, and the mark a crash leaves,
// are tested with the program itself among the window tests.)

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/InstanceLock.h"
#include "support/TestSupport.h"

extern char** environ;

namespace tessel {
namespace {

using platform::InstanceLock;

InstanceLock::State tryLock(const std::string& path, std::error_code& error) {
    InstanceLock lock;
    return lock.acquire(path, error);
}

TEST(InstanceLock, NamedAfterTheProgramInTheUsersRuntimeFolder) {
    const std::string user = std::to_string(geteuid());
    {
        test::ScopedEnvironment runtime("XDG_RUNTIME_DIR", "/run/user/1000/");
        EXPECT_EQ(platform::instanceLockPath("Tessel v"), "/run/user/1000/Tessel v.lock");
    }
    // Without one in the environment (a relative one counts as none): the one the system keeps for the
    // user, where there is one; else a folder of the user's own, made closed to others, never one another
    // user made first; only without any of them the shared temporary folder, with the user in the name.
    test::ScopedEnvironment runtime("XDG_RUNTIME_DIR", "relative/run"), noTemporary("TMPDIR", std::nullopt);
    struct stat session {};
    if (stat(("/run/user/" + user).c_str(), &session) == 0) {
        EXPECT_EQ(platform::instanceLockPath("Tessel v"), "/run/user/" + user + "/Tessel v.lock");
        return;
    }
    test::TempDir home;
    test::ScopedEnvironment cache("XDG_CACHE_HOME", std::nullopt), homeFolder("HOME", home.path());
    EXPECT_EQ(platform::instanceLockPath("Tessel v"), home / ".cache/tessel/Tessel v.lock");
    EXPECT_EQ(test::permissions(home / ".cache/tessel") & 0777, 0700u);
    if (geteuid() == 0) {
        // Another user's home, as sudo may leave it, or a lock folder another user made: not used.
        ASSERT_EQ(chown((home / ".cache/tessel").c_str(), 2001, 2001), 0);
        EXPECT_EQ(platform::instanceLockPath("Tessel v"), "/tmp/Tessel v-" + user + ".lock");
    }
    test::ScopedEnvironment noHome("HOME", std::nullopt);
    EXPECT_EQ(platform::instanceLockPath("Tessel v"), "/tmp/Tessel v-" + user + ".lock");
    test::ScopedEnvironment temporary("TMPDIR", "/var/tmp");
    EXPECT_EQ(platform::instanceLockPath("Tessel v"), "/var/tmp/Tessel v-" + user + ".lock");
}

TEST(InstanceLock, AProgramStartedByTheHolderDoesNotKeepTheMark) {
    test::TempDir dir;
    const std::string path = dir / "Tessel v.lock";
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        // A Tessel whose after-sync program outlives it.
        InstanceLock lock;
        std::error_code error;
        pid_t program = 0;
        char sleepName[] = "sleep", seconds[] = "60";
        char* argv[] = {sleepName, seconds, nullptr};
        if (lock.acquire(path, error) != InstanceLock::State::Held ||
            posix_spawnp(&program, "sleep", nullptr, nullptr, argv, environ) != 0)
            program = 0;
        _exit(write(report[1], &program, sizeof program) == sizeof program ? 0 : 1);
    }
    close(report[1]);
    pid_t program = 0;
    ASSERT_EQ(read(report[0], &program, sizeof program), static_cast<ssize_t>(sizeof program));
    close(report[0]);
    int status = 0;
    waitpid(holder, &status, 0);
    ASSERT_GT(program, 0);

    std::error_code error;
    EXPECT_EQ(kill(program, 0), 0) << "the program still runs";
    EXPECT_EQ(tryLock(path, error), InstanceLock::State::Held);
    kill(program, SIGKILL);

    // Another lock object, even in the same process, is another holder.
    InstanceLock held;
    ASSERT_EQ(held.acquire(path, error), InstanceLock::State::Held);
    EXPECT_EQ(tryLock(path, error), InstanceLock::State::Busy);
}

TEST(InstanceLock, AMarkThatCannotBeMadeIsAFailureNotABusyMark) {
    test::TempDir dir;
    std::error_code error;
    EXPECT_EQ(tryLock(dir / "none/Tessel v.lock", error), InstanceLock::State::Failed);
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);

    // A link put where the mark belongs is not followed.
    test::writeFile(dir / "elsewhere", "");
    ASSERT_EQ(symlink("elsewhere", (dir / "Tessel v.lock").c_str()), 0);
    EXPECT_EQ(tryLock(dir / "Tessel v.lock", error), InstanceLock::State::Failed);

    // Nor a mark someone else owns: they could keep Tessel from ever starting.
    if (geteuid() == 0) {
        test::writeFile(dir / "theirs.lock", "");
        ASSERT_EQ(chown((dir / "theirs.lock").c_str(), 65534, 65534), 0);
        EXPECT_EQ(tryLock(dir / "theirs.lock", error), InstanceLock::State::Failed);
        EXPECT_EQ(error, std::errc::permission_denied);
    }
}

}  // namespace
}  // namespace tessel
