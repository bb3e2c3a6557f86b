// The probe of a folder's file system: it finds what the file system refuses (simulated through the
// fault seam, as exFAT through FUSE or ntfs-3g refuse it), leaves the folder as it was, clears what a
// killed probe left, and is asked once per device and run from any thread. The real file systems are
// probed by tests/filesystems.sh.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "platform/Faults.h"
#include "platform/FileCopy.h"
#include "platform/FileSystemTraits.h"
#include "support/TestSupport.h"

namespace tessel {
namespace {

using platform::FileSystemTraits;
using platform::Folder;
using test::writeFile;

Folder open(const std::string& path) {
    std::error_code error;
    Folder folder = Folder::open(path, error);
    EXPECT_TRUE(folder.valid()) << path << ": " << error.message();
    return folder;
}

TEST(FileSystemTraitsTest, TheProbeLeavesTheFolderAsItWasAndAWalkClearsWhatAKilledOneLeft) {
    test::TempDir dir;
    writeFile(dir / "kept.txt", "mine");
    // A killed probe's folder (its process is gone), one of a probe still running, and a user's own.
    char dead[64], running[64];
    std::snprintf(dead, sizeof dead, ".tessel-%08x-%08x.probe", 0x7ffffff0u, 1u);
    std::snprintf(running, sizeof running, ".tessel-%08x-%08x.probe", static_cast<unsigned>(getppid()), 1u);
    writeFile(dir / dead + "/f", "left by a kill");
    writeFile(dir / running + "/f", "in use");
    writeFile(dir / ".tessel-notes.probe/f", "a user's");
    test::setModificationTime(dir.path(), 1'600'000'000, 123'456'789);

    const Folder folder = open(dir.path());
    const FileSystemTraits traits = platform::probeFileSystem(folder);
    EXPECT_TRUE(traits.tried);
    struct stat status {};
    ASSERT_EQ(::stat(dir.path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mtim.tv_sec, 1'600'000'000);
    EXPECT_EQ(status.st_mtim.tv_nsec, 123'456'789);
    std::vector<std::string> left{".tessel-notes.probe", dead, running, "kept.txt"};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(test::listFolder(dir.path()), left);

    // The walk's listing of the folder clears the killed probe's folder with the stale temporaries.
    std::vector<platform::ListedName> names;
    std::error_code error;
    ASSERT_TRUE(platform::listFolder(folder, names, error));
    platform::removeStaleTemporaries(folder, names);
    left.erase(std::find(left.begin(), left.end(), dead));
    EXPECT_EQ(test::listFolder(dir.path()), left);
    EXPECT_TRUE(platform::isStaleProbeFolder(dead));
    EXPECT_FALSE(platform::isStaleProbeFolder(running));
    EXPECT_FALSE(platform::isStaleProbeFolder(std::string(dead) + "x"));
    EXPECT_FALSE(platform::isStaleProbeFolder(".tessel-7FFFFFF0-00000001.probe"));
}

// A copy keeps extended attributes and the access ACL as `cp -a` does where the destination holds
// them; where it cannot, the copy is still whole and says what it left behind.
TEST(FileSystemTraitsTest, ACopyKeepsAttributesAndAclsWhereTheDestinationHoldsThem) {
    using namespace std::string_literals;
    test::TempDir dir;
    writeFile(dir / "src/f.txt", "content");
    test::makeFolders(dir / "dst");
    const std::string acl =
        "\x02\0\0\0"                    // version 2
        "\x01\0\x06\0\xff\xff\xff\xff"  // owner rw
        "\x02\0\x04\0\x01\0\0\0"        // user 1 r
        "\x04\0\x04\0\xff\xff\xff\xff"  // group r
        "\x10\0\x04\0\xff\xff\xff\xff"  // mask r
        "\x20\0\0\0\xff\xff\xff\xff"s;  // others none
    const std::string file = dir / "src/f.txt";
    ASSERT_EQ(::setxattr(file.c_str(), "user.origin", "camera", 6, 0), 0);
    ASSERT_EQ(::setxattr(file.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0);
    const Folder source = open(dir / "src"), destination = open(dir / "dst");
    platform::FileInfo info;
    std::error_code error;
    ASSERT_EQ(platform::examine(source, "f.txt", platform::ListedType::File, info, error),
              platform::EntryKind::File);
    const auto attribute = [](const std::string& path, const char* name) {
        char value[256];
        const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
        return size < 0 ? std::string("(none)") : std::string(value, static_cast<std::size_t>(size));
    };

    FileSystemTraits holds = platform::probeFileSystem(destination), holdsNothing = holds;
    ASSERT_TRUE(holds.userAttributes && holds.posixAcls);
    holdsNothing.userAttributes = holdsNothing.securityAttributes = holdsNothing.trustedAttributes = false;
    holdsNothing.posixAcls = false;
    struct Case {
        const char* name;
        const FileSystemTraits& traits;
        bool attributes, acls;
    };
    for (const Case& c : {Case{"a destination that holds them", holds, true, true},
                          Case{"one that holds none", holdsNothing, false, false}}) {
        SCOPED_TRACE(c.name);
        std::remove((dir / "dst/f.txt").c_str());
        platform::Dropped dropped;
        ASSERT_TRUE(platform::copyFile(source, "f.txt", info, destination, "f.txt", nullptr, c.traits, error,
                                       nullptr, &dropped))
            << error.message();
        EXPECT_EQ(test::readFile(dir / "dst/f.txt"), "content");
        EXPECT_EQ(attribute(dir / "dst/f.txt", "user.origin"), c.attributes ? "camera" : "(none)");
        EXPECT_EQ(attribute(dir / "dst/f.txt", "system.posix_acl_access"), c.acls ? acl : "(none)");
        EXPECT_EQ(test::permissions(dir / "dst/f.txt"), test::permissions(file));
        EXPECT_EQ(dropped.attributes, !c.attributes);
        EXPECT_EQ(dropped.acls, !c.acls);
    }
#ifdef TESSEL_FAULT_INJECTION
    // Refused by the destination at the copy (too large for it): dropped; a failing disk: no copy.
    using platform::faults::Operation;
    for (const int refusal : {E2BIG, EIO}) {
        SCOPED_TRACE(refusal);
        std::remove((dir / "dst/f.txt").c_str());
        platform::faults::inject(Operation::SetAttribute, 1, refusal);
        platform::Dropped dropped;
        const bool copied = platform::copyFile(source, "f.txt", info, destination, "f.txt", nullptr, holds,
                                               error, nullptr, &dropped);
        platform::faults::clear();
        EXPECT_EQ(copied, refusal == E2BIG);
        EXPECT_EQ(dropped.attributes || dropped.acls, refusal == E2BIG);
        EXPECT_EQ(test::listFolder(dir / "dst"),
                  copied ? std::vector<std::string>{"f.txt"} : std::vector<std::string>{});
    }
#endif
}
class FolderAttributesTest : public ::testing::Test, public test::TreeFixture {};

// A folder a run makes takes the attributes and ACLs of the one it mirrors, the default ACL with them,
// whichever way a two-way watch carries it; a folder that was there keeps its own.
TEST_F(FolderAttributesTest, AFolderTheRunMakesTakesThoseOfTheFolderItMirrors) {
    using namespace std::string_literals;
    const std::string acl =
        "\x02\0\0\0"                    // version 2
        "\x01\0\x07\0\xff\xff\xff\xff"  // owner rwx
        "\x02\0\x05\0\x01\0\0\0"        // user 1 r-x
        "\x04\0\x05\0\xff\xff\xff\xff"  // group r-x
        "\x10\0\x05\0\xff\xff\xff\xff"  // mask r-x
        "\x20\0\0\0\xff\xff\xff\xff"s;  // others none
    const auto attribute = [](const std::string& path, const char* name) {
        char value[256];
        const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
        return size < 0 ? std::string("(none)") : std::string(value, static_cast<std::size_t>(size));
    };
    const auto mark = [&](const std::string& folder, const char* origin) {
        test::makeFolders(folder);
        writeFile(folder + "/f.txt", "in it");
        for (const char* name : {"system.posix_acl_access", "system.posix_acl_default"})
            ASSERT_EQ(::setxattr(folder.c_str(), name, acl.data(), acl.size(), 0), 0) << name;
        ASSERT_EQ(::setxattr(folder.c_str(), "user.origin", origin, std::strlen(origin), 0), 0);
    };
    for (const bool bothWays : {false, true}) {
        SCOPED_TRACE(bothWays ? "two-way" : "one way");
        std::filesystem::remove_all(src);
        std::filesystem::remove_all(dst);
        mark(src + "/photos/2026", "camera");
        mark(dst + "/photos", "kept");  // there already: its own stay
        if (bothWays) mark(dst + "/back", "phone");
        watch.BiDirect = bothWays;
        EXPECT_EQ(runWatch().failed, 0);
        const std::string made = bothWays ? src + "/back" : dst + "/photos/2026";
        const std::string mirrored = bothWays ? dst + "/back" : src + "/photos/2026";
        for (const char* name : {"user.origin", "system.posix_acl_access", "system.posix_acl_default"})
            EXPECT_EQ(attribute(made, name), attribute(mirrored, name)) << name;
        EXPECT_EQ(test::permissions(made), test::permissions(mirrored));
        EXPECT_EQ(attribute(dst + "/photos", "user.origin"), "kept");
    }
}

#ifdef TESSEL_FAULT_INJECTION

// Each refusal takes away what depends on it and nothing else.
TEST(FileSystemTraitsTest, TheProbeFindsWhatTheFileSystemRefuses) {
    using platform::faults::Operation;
    test::TempDir dir;
    const Folder folder = open(dir.path());
    const FileSystemTraits usual = platform::probeFileSystem(folder);
    ASSERT_TRUE(usual.tried);
    struct Case {
        const char* name;
        Operation operation;
        int error;
        std::function<void(FileSystemTraits&)> lost;
    };
    const Case cases[] = {
        {"no rename that refuses a taken name (ntfs-3g, sshfs)", Operation::RenameNoReplace, EINVAL,
         [](FileSystemTraits& t) { t.renameNoReplace = false; }},
        {"no links (exFAT through FUSE): nor a name for an unnamed file", Operation::Link, EPERM,
         [](FileSystemTraits& t) { t.hardLinks = t.unnamedTemporaries = false; }},
        {"no unnamed files", Operation::UnnamedFile, EOPNOTSUPP,
         [](FileSystemTraits& t) { t.unnamedTemporaries = false; }},
        {"no extended attributes, nor ACLs", Operation::SetAttribute, ENOTSUP,
         [](FileSystemTraits& t) {
             t.userAttributes = t.securityAttributes = t.trustedAttributes = t.posixAcls = false;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::faults::clear();
        platform::faults::refuse(c.operation, c.error);
        FileSystemTraits expected = usual;
        c.lost(expected);
        const FileSystemTraits found = platform::probeFileSystem(folder);
        EXPECT_EQ(platform::describeTraits(found), platform::describeTraits(expected));
    }

    // A folder it cannot write in gets the answers that need nothing.
    for (const Operation refused : {Operation::MakeFolder, Operation::Open}) {
        platform::faults::clear();
        platform::faults::refuse(refused, EACCES);
        FileSystemTraits expected = platform::conservativeTraits();
        expected.localTime = usual.localTime;
        EXPECT_EQ(platform::describeTraits(platform::probeFileSystem(folder)),
                  platform::describeTraits(expected));
    }
    platform::faults::clear();
    EXPECT_EQ(test::listFolder(dir.path()), std::vector<std::string>{});
}

// A run probes a device once, whichever thread asks first, and keeps the answer for the run.
TEST(FileSystemTraitsTest, ARunAsksOncePerDeviceFromAnyThread) {
    using platform::faults::Operation;
    test::TempDir dir;
    test::makeFolders(dir / "a/b");
    const Folder root = open(dir.path()), below = open(dir / "a/b");
    platform::FileSystems run;
    std::vector<const FileSystemTraits*> answers(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < answers.size(); ++i)
        threads.emplace_back([&, i] { answers[i] = &run.of(i % 2 == 0 ? root : below); });
    for (std::thread& thread : threads) thread.join();
    for (const FileSystemTraits* answer : answers) EXPECT_EQ(answer, answers.front());
    EXPECT_TRUE(answers.front()->tried);
    EXPECT_TRUE(answers.front()->renameNoReplace);

    // What the file system does later does not change the run's answer; the next run asks again.
    platform::faults::refuse(Operation::RenameNoReplace, EINVAL);
    EXPECT_TRUE(run.of(below).renameNoReplace);
    platform::FileSystems next;
    EXPECT_FALSE(next.of(below).renameNoReplace);
    platform::faults::clear();
    // A folder a preview only imagines gets the answers that need nothing.
    EXPECT_FALSE(next.of(Folder()).tried);
}

#endif

}  // namespace
}  // namespace tessel
