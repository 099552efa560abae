#include "line_rules_model.h"

#include <algorithm>
#include <cstddef>

std::vector<ModelLine> ModelLines(const std::string& content, const std::string& key) {
    const bool mark = content.rfind("\xEF\xBB\xBF", 0) == 0;
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at < content.size(); ++at) {
        if (at == 0 || content[at - 1] == '\n' || (mark && at == 3)) starts.push_back(at);
    }
    std::vector<ModelLine> lines;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : content.size();
        lines.push_back(ModelLine{content.substr(starts[i], end - starts[i]), false});
    }
    if (key.empty()) return lines;
    // An occurrence belongs to the line it starts in unless an LF comes before its last
    // byte; the key may end in the line's own LF.
    const auto search = [&](std::string::const_iterator from) {
        return std::search(from, content.end(), key.begin(), key.end());
    };
    for (auto at = search(content.begin()); at != content.end(); at = search(at + 1)) {
        const auto last = at + static_cast<std::ptrdiff_t>(key.size() - 1);
        if (std::find(at, last, '\n') != last) continue;
        const std::size_t offset = static_cast<std::size_t>(at - content.begin());
        const auto after = std::upper_bound(starts.begin(), starts.end(), offset);
        const std::size_t line = static_cast<std::size_t>(after - starts.begin()) - 1;
        if (content[starts[line]] != ';' && !(mark && line == 0)) lines[line].holdsKey = true;
    }
    return lines;
}

std::string ModelRewrite(const std::string& content, const std::string& key, const std::string& text,
                         bool* replaced) {
    std::string result;
    for (const ModelLine& line : ModelLines(content, key)) {
        if (line.holdsKey) {
            result += key + "=" + text + "\r\n";
            *replaced = true;
        } else {
            result += line.text == "\n" ? "\r\n" : line.text;
        }
    }
    return result;
}
