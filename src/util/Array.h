// Array module: splitting a text at a delimiter.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

inline constexpr std::int32_t kCompareBinary = 0;
inline constexpr std::int32_t kCompareText = 1;

// Cuts the part before the first delimiter off `text` and returns it; `text` keeps what follows
// the delimiter. Returns "~END" and leaves `text` alone when the delimiter does not occur.
std::string NextToken(std::string& text, const std::string& delimiter, std::int32_t compare);

// Splits `text` at every `delimiter` ("" stands for one blank) into `parts`, which it also
// returns. `limit` -1 means no limit; with a limit L >= 1 at most L parts are cut off and the
// rest follows as one more part. Empty parts are kept. There is no limit on the number of parts,
// and a part that happens to read "~END" is kept like any other.
std::vector<std::string>& SplitText(const std::string& text, std::vector<std::string>& parts,
                                    const std::string& delimiter, std::int32_t limit, std::int32_t compare);

// Position (0-based) of `needle` in `haystack` at or after `from`, letters compared without
// regard to case (ASCII); npos when not found.
std::size_t FindNoCase(const std::string& haystack, const std::string& needle, std::size_t from = 0);
std::string ToLowerAscii(std::string text);
std::string ToUpperAscii(std::string text);

} // namespace orv
