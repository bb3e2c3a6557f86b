#include "sync/Parameters.h"

namespace tessel {

namespace {
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
}  // namespace

std::optional<std::vector<std::string>> splitParameters(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;  // "" makes an (empty) word too
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isBlank(c)) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '\'') {
            const std::size_t close = text.find('\'', i + 1);
            if (close == std::string_view::npos) return std::nullopt;
            word.append(text.substr(i + 1, close - i - 1));
            i = close;
            inWord = true;
        } else if (c == '"') {
            std::size_t j = i + 1;
            for (; j < text.size() && text[j] != '"'; ++j) {
                const bool escapes = text[j] == '\\' && j + 1 < text.size() &&
                                     (text[j + 1] == '\\' || text[j + 1] == '"' || text[j + 1] == '$' ||
                                      text[j + 1] == '`' || text[j + 1] == '\n');
                if (escapes) {
                    if (text[j + 1] != '\n') word += text[j + 1];
                    ++j;
                } else {
                    word += text[j];
                }
            }
            if (j >= text.size()) return std::nullopt;
            i = j;
            inWord = true;
        } else if (c == '\\' && i + 1 < text.size()) {
            if (text[i + 1] != '\n') {
                word += text[i + 1];
                inWord = true;
            }
            ++i;
        } else {
            word += c;  // a lone backslash at the very end stays as it is
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

}  // namespace tessel
