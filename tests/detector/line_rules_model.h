// The settings file's line rules worked out another way than the accessor works them,
// for the tests over files too many to write out by hand: which lines hold a key comes
// from where the key occurs in the whole content, not from a look into each line.
#pragma once

#include <string>
#include <vector>

struct ModelLine {
    std::string text;  // with its LF, when it has one
    bool holdsKey;     // no note (first byte ";"), and the key occurs in it
};

// content cut after each LF, and after a UTF-8 byte order mark that starts it (a line
// that holds no key), each line marked; no line holds an empty key.
std::vector<ModelLine> ModelLines(const std::string& content, const std::string& key);

// content after one rewrite for key: each line holding it becomes key "=" text CR LF, a
// lone LF becomes CR LF. replaced is set when a line was replaced.
std::string ModelRewrite(const std::string& content, const std::string& key, const std::string& text,
                         bool* replaced);
