#include <gtest/gtest.h>

#include "sync/Parameters.h"

namespace tessel {
namespace {

TEST(SplitParameters, SplitsLikeAShellWithoutExpanding) {
    using Words = std::vector<std::string>;
    struct Case {
        const char* text;
        Words words;
    };
    const Case cases[] = {
        {"", {}},
        {"   ", {}},
        {"-v --out file", {"-v", "--out", "file"}},
        {"  a\t b  ", {"a", "b"}},
        {"'two words' x", {"two words", "x"}},
        {"\"two words\" x", {"two words", "x"}},
        {"a'b c'd", {"ab cd"}},
        {"'' \"\"", {"", ""}},
        {"\"$HOME\" '$HOME' $HOME *", {"$HOME", "$HOME", "$HOME", "*"}},
        {"\"a \\\"quoted\\\" b\"", {"a \"quoted\" b"}},
        {"\"back\\\\slash\" \"keep\\n\"", {"back\\slash", "keep\\n"}},
        {"'it\\'s", {"it\\s"}},
        {"one\\ word", {"one word"}},
        {"end\\", {"end\\"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto words = splitParameters(c.text);
        ASSERT_TRUE(words);
        EXPECT_EQ(*words, c.words);
    }
    for (const char* unbalanced : {"'open", "\"open", "a \"b", "\"escaped\\\""}) {
        SCOPED_TRACE(unbalanced);
        EXPECT_FALSE(splitParameters(unbalanced));
    }
}

}  // namespace
}  // namespace tessel
