// SplitText and NextToken over any text, delimiter and limit. Joining the parts with the
// delimiter gives the text back; without a limit there is one part more than there are
// occurrences of the delimiter; a limit L allows at most L + 1 parts; a text that lives in the
// list it is split into splits the same as a copy of it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "util/Array.h"

namespace {

using orv::fuzz::Shown;

std::string Join(const std::vector<std::string>& parts, const std::string& delimiter) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += delimiter;
        out += parts[i];
    }
    return out;
}

// Occurrences found left to right, each search going on after the previous one.
std::size_t Occurrences(const std::string& text, const std::string& delimiter) {
    std::size_t count = 0;
    for (std::size_t p = text.find(delimiter); p != std::string::npos; p = text.find(delimiter, p + delimiter.size()))
        ++count;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
    const std::string delimiter = in.ConsumeRandomLengthString(4);
    std::int32_t limit = -1;
    if (flags & 1) limit = in.ConsumeIntegralInRange<std::int32_t>(-3, 12);
    if (flags & 2) limit = in.ConsumeIntegral<std::int32_t>();
    const std::int32_t compare = (flags & 4) ? orv::kCompareText : orv::kCompareBinary;
    const std::string text = in.ConsumeRemainingBytesAsString();
    const std::string used = delimiter.empty() ? std::string(" ") : delimiter;

    std::vector<std::string> parts = {"left", "over"};
    orv::SplitText(text, parts, delimiter, limit, compare);
    const std::string where = "text " + Shown(text) + " at " + Shown(used) + " limit " + std::to_string(limit);
    FUZZ_CHECK(!parts.empty(), where);

    // The parts and the delimiters between them fill the text exactly, whatever the mode.
    std::size_t length = 0;
    for (const auto& part : parts) length += part.size();
    FUZZ_CHECK(length + (parts.size() - 1) * used.size() == text.size(), "lengths do not add up: " + where);

    const std::size_t occurrences = Occurrences(text, used);
    if (compare == orv::kCompareBinary) {
        FUZZ_CHECK(Join(parts, used) == text, "joined parts differ: " + where);
        if (limit == -1) {
            FUZZ_CHECK(parts.size() == occurrences + 1, "part count " + std::to_string(parts.size()) + ": " + where);
        } else {
            // A limit below 1 acts as 1: the first part is cut before the limit is looked at.
            const std::size_t cuts = static_cast<std::size_t>(limit < 1 ? 1 : limit);
            FUZZ_CHECK(parts.size() == (occurrences < cuts ? occurrences : cuts) + 1,
                       "part count " + std::to_string(parts.size()) + ": " + where);
        }
    } else if (limit != -1) {
        const std::size_t cuts = static_cast<std::size_t>(limit < 1 ? 1 : limit);
        FUZZ_CHECK(parts.size() <= cuts + 1, "more parts than the limit allows: " + where);
    }

    // The text may live in the very list it is split into.
    std::vector<std::string> self = {text};
    orv::SplitText(self[0], self, delimiter, limit, compare);
    FUZZ_CHECK(self == parts, "splitting a text held in its own list differs: " + where);

    // NextToken cuts one part off the front, or leaves the text alone.
    std::string rest = text;
    const std::string token = orv::NextToken(rest, used, orv::kCompareBinary);
    if (text.find(used) == std::string::npos) {
        FUZZ_CHECK(token == "~END" && rest == text, "no delimiter, yet something was cut: " + where);
    } else {
        FUZZ_CHECK(token + used + rest == text && token.find(used) == std::string::npos,
                   "NextToken cut wrongly: " + where);
    }
    return 0;
}
