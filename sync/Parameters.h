#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

// Splits the parameters typed for an after-sync program into arguments the way a POSIX shell splits
// words: blanks separate, single quotes take everything literally, double quotes group and let a
// backslash escape \ " $ and `, a backslash elsewhere takes the next character literally. Nothing is
// expanded. Unbalanced quotes give nullopt.
std::optional<std::vector<std::string>> splitParameters(std::string_view text);

}  // namespace tessel
