// The rules that read what a server sends: a Content-Length value and the Locations of a chain of
// redirects, from a download's own address or from any text. A length is never negative and is
// the digits of the value; every address followed is one a request can carry, stays secure once
// the download is secure, and no more than five are followed; a refusal is one the rule can give.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "download/TransferRules.h"

namespace {

using orv::fuzz::Shown;
using Kind = orv::platform::TransferFailure::Kind;
using Action = orv::RedirectStep::Action;

void CheckLength(const std::string& text) {
    const std::optional<std::int64_t> length = orv::ParseContentLength(text);
    if (!length) return;
    FUZZ_CHECK(*length >= 0, "negative length from " + Shown(text));
    std::string digits;
    for (const char c : text)
        if (c != ' ') digits += c;
    const std::size_t first = digits.find_first_not_of('0');
    const std::string significant = first == std::string::npos ? "0" : digits.substr(first);
    FUZZ_CHECK(significant == std::to_string(*length), "length " + std::to_string(*length) + " from " + Shown(text));
}

bool StartsNoCase(const std::string& text, const char* prefix) {
    for (std::size_t i = 0; prefix[i]; ++i)
        if (i >= text.size() || (text[i] | 0x20) != prefix[i]) return false;
    return true;
}

// An address a request can carry, as ParseWebAddress gives it for `url`.
void CheckAddress(const std::string& url, const orv::WebAddress& a) {
    const std::string where = Shown(url);
    FUZZ_CHECK(a.secure ? StartsNoCase(url, "https://") : StartsNoCase(url, "http://"), "scheme of " + where);
    FUZZ_CHECK(!a.host.empty() && a.host.size() < 256 && a.port != 0, "host or port of " + where);
    FUZZ_CHECK(!a.object.empty() && a.object[0] == '/' && a.object.find('#') == std::string::npos,
               "object " + Shown(a.object) + " of " + where);
    for (const char c : a.host + a.object)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "control character in " + where);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
    const std::string base = in.ConsumeRandomLengthString(4096);
    CheckLength(in.ConsumeRandomLengthString(128));

    if (const auto address = orv::ParseWebAddress(base)) CheckAddress(base, *address);
    // The chain starts at a download's own address, or at the text when it is one.
    std::string url = (flags & 1) ? "https://orvastell.test/downloads/runtime/ACCESSRT.CAB"
                                  : "http://downloads.quenlark.com/downloads/runtime/ACCESSRT.CAB";
    if (flags & 2) {
        if (!orv::ParseWebAddress(base)) return 0;
        url = base;
    }
    const bool secure = orv::ParseWebAddress(url)->secure;
    orv::RedirectRule rule(secure);
    for (int hop = 0; hop < 8 && in.remaining_bytes() > 0; ++hop) {
        const std::string location = in.ConsumeRandomLengthString(4096);
        const int before = rule.Followed();
        const orv::RedirectStep step = rule.Next(url, location);
        const std::string where = Shown(url) + " to " + Shown(location);
        FUZZ_CHECK(rule.Followed() <= orv::RedirectRule::kMaxRedirects, "too many followed: " + where);
        FUZZ_CHECK(rule.Followed() == before + (step.action == Action::Follow ? 1 : 0), "hop count: " + where);
        if (step.action == Action::Refuse) {
            FUZZ_CHECK(step.refusal == Kind::TooManyRedirects ||
                           step.refusal == (secure ? Kind::InsecureRedirect : Kind::BadAddress),
                       "refused as " + std::to_string(static_cast<int>(step.refusal)) + ": " + where);
            FUZZ_CHECK(step.refusal != Kind::TooManyRedirects || before == orv::RedirectRule::kMaxRedirects,
                       "too many before the limit: " + where);
        }
        if (step.action != Action::Follow) continue;
        FUZZ_CHECK(step.url.size() < 4096, "address too long: " + where);
        FUZZ_CHECK(!secure || step.address.secure, "secure download sent to a plain address: " + where);
        const auto again = orv::ParseWebAddress(step.url);
        FUZZ_CHECK(again && again->host == step.address.host && again->object == step.address.object,
                   "parts of the address followed: " + where);
        CheckAddress(step.url, step.address);
        url = step.url;
    }
    return 0;
}
