#include "util/Array.h"

#include <algorithm>

namespace orv {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t Find(const std::string& text, const std::string& delimiter, std::int32_t compare) {
    return compare == kCompareBinary ? text.find(delimiter) : FindNoCase(text, delimiter);
}

} // namespace

std::size_t FindNoCase(const std::string& haystack, const std::string& needle, std::size_t from) {
    if (from > haystack.size()) return std::string::npos;
    auto it = std::search(haystack.begin() + static_cast<std::ptrdiff_t>(from), haystack.end(), needle.begin(),
                          needle.end(), [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
    if (it == haystack.end() && !needle.empty()) return std::string::npos;
    return static_cast<std::size_t>(it - haystack.begin());
}

std::string ToLowerAscii(std::string text) {
    for (char& c : text) c = LowerAscii(c);
    return text;
}

std::string ToUpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string NextToken(std::string& text, const std::string& delimiter, std::int32_t compare) {
    const std::size_t p = Find(text, delimiter, compare);
    if (p == std::string::npos || delimiter.empty()) return "~END";
    std::string token = text.substr(0, p);
    text.erase(0, p + delimiter.size());
    return token;
}

std::vector<std::string>& SplitText(const std::string& text, std::vector<std::string>& parts,
                                    const std::string& delimiter, std::int32_t limit, std::int32_t compare) {
    const std::string delim = delimiter.empty() ? std::string(" ") : delimiter;
    // Built aside and moved in at the end, so that a text that lives in `parts` itself stays
    // intact while it is being split.
    std::vector<std::string> out;
    if (text.find(delim) == std::string::npos) {
        out.push_back(text);
        parts = std::move(out);
        return parts;
    }
    // The end of the text is found by searching, not by an in-band marker, so every part comes
    // through whatever it holds. Only the first cut honours the comparison mode.
    std::size_t start = 0;
    std::size_t p = Find(text, delim, compare);
    std::int64_t count = 0;
    for (;;) {
        out.push_back(text.substr(start, p - start));
        start = p + delim.size();
        ++count;
        if (limit != -1 && count >= limit) break;
        p = text.find(delim, start);
        if (p == std::string::npos) break;
    }
    out.push_back(text.substr(start));
    parts = std::move(out);
    return parts;
}

} // namespace orv
