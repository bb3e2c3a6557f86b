#include <gtest/gtest.h>

#include "platform/Wildcard.h"

namespace tessel::platform {
namespace {

TEST(Wildcard, MatchesLikeTheUsualFolderSearch) {
    struct Case {
        const char* mask;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"*.*", "report.txt", true},
        {"*.*", "Makefile", true},  // names without a dot too
        {"*.*", "a.b.c", true},
        {"*", "README", true},
        {"*.txt", "notes.TXT", true},  // letter case ignored
        {"*.TXT", "notes.txt", true},
        {"*.txt", "notes.txt.bak", false},
        {"*.txt", "txt", false},
        {"?.c", "a.c", true},
        {"?.c", "ab.c", false},
        {"?.c", ".c", false},
        {"data??.csv", "data01.csv", true},
        {"data??.csv", "data1.csv", false},
        {"*.", "Makefile", true},  // only names without a dot
        {"*.", "main.cpp", false},
        {"readme.*", "README", true},
        {"readme.*", "readme.md", true},
        {"readme.*", "readme2.md", false},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
        {"*ab", "aab", true},
        {"", "anything", false},     // an empty mask matches nothing
        {" *.txt", "x.txt", false},  // a blank is part of the mask
        {"*.txt", "caf\xc3\xa9.txt", true},
        {"\xff*", "\xff\xfe", true},  // bytes that are not UTF-8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mask) + " vs " + c.name);
        EXPECT_EQ(matchesMask(c.mask, c.name), c.matches);
    }
}

TEST(Wildcard, LongMasksAndNames) {
    // Many stars against a long name that almost matches: the case that trips naive backtracking.
    const std::string mask = std::string(200, '*') + "b";
    const std::string name(5000, 'a');
    EXPECT_FALSE(matchesMask(mask, name));
    EXPECT_TRUE(matchesMask(mask, name + "b"));
}

}  // namespace
}  // namespace tessel::platform
