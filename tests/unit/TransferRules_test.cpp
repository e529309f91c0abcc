#include <gtest/gtest.h>

#include <string>

#include "download/TransferRules.h"

namespace orv {
namespace {

using Kind = platform::TransferFailure::Kind;
using Action = RedirectStep::Action;
namespace e = transfer_error;

const std::string kSecure = "https://orvastell.test/downloads/runtime/ACCESSRT.CAB";
const std::string kPlain = "http://downloads.quenlark.com/downloads/runtime/ACCESSRT.CAB";

// `prefix` and `n` more letters.
std::string Long(const char* prefix, std::size_t n) { return std::string(prefix).append(n, 'h'); }

// The examples of RFC 3986 (5.4.1 and 5.4.2), against its base address.
TEST(ResolveReference, ResolvesTheStandardsExamples) {
    const struct { const char* reference; const char* resolved; } rows[] = {
        {"g:h", "g:h"}, {"g", "http://a/b/c/g"}, {"./g", "http://a/b/c/g"}, {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"}, {"//g", "http://g"}, {"?y", "http://a/b/c/d;p?y"}, {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"}, {"g#s", "http://a/b/c/g#s"}, {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"}, {"g;x?y#s", "http://a/b/c/g;x?y#s"}, {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"}, {"./", "http://a/b/c/"}, {"..", "http://a/b/"}, {"../g", "http://a/b/g"},
        {"../..", "http://a/"}, {"../../g", "http://a/g"}, {"../../../g", "http://a/g"},
        {"../../../../g", "http://a/g"}, {"/./g", "http://a/g"}, {"/../g", "http://a/g"}, {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"}, {"g..", "http://a/b/c/g.."}, {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"}, {"./g/.", "http://a/b/c/g/"}, {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"}, {"g;x=1/./y", "http://a/b/c/g;x=1/y"}, {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"}, {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"}, {"http:g", "http:g"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ResolveReference("http://a/b/c/d;p?q", row.reference).value_or("(none)"), row.resolved)
            << row.reference;
    EXPECT_FALSE(ResolveReference("no/scheme", "g"));
    EXPECT_FALSE(ResolveReference(kSecure, Long("/", 4096)));
}

// One redirect of a download from `from` to `location`: Follow gives the next address (and its
// host, port and what is asked for); Refuse its kind; Keep that the answer stands.
TEST(RedirectRule, FollowsOrRefusesEachLocation) {
    const struct {
        const char* what;
        const std::string& from;
        std::string location;
        Action action;
        std::string url;  // Follow: the address; Refuse: unused
        Kind refusal = Kind::None;
        std::string host = "", object = "";
        int port = 0;
    } rows[] = {
        {"relative path", kSecure, "mirror/ACCESSRT.CAB", Action::Follow,
         "https://orvastell.test/downloads/runtime/mirror/ACCESSRT.CAB"},
        {"absolute path", kSecure, "/mirror/downloads/runtime/ACCESSRT.CAB", Action::Follow,
         "https://orvastell.test/mirror/downloads/runtime/ACCESSRT.CAB", Kind::None, "orvastell.test",
         "/mirror/downloads/runtime/ACCESSRT.CAB", 443},
        {"scheme-relative", kSecure, "//cdn.test/x", Action::Follow, "https://cdn.test/x"},
        {"scheme-relative, plain", kPlain, "//cdn.test:8080", Action::Follow, "http://cdn.test:8080", Kind::None,
         "cdn.test", "/", 8080},
        {"query and fragment", kSecure, "/a.cab?v=2#part", Action::Follow, "https://orvastell.test/a.cab?v=2#part",
         Kind::None, "orvastell.test", "/a.cab?v=2", 443},
        {"other secure host, any case", kSecure, "HTTPS://user:pw@Mirror.test:8443/a", Action::Follow,
         "HTTPS://user:pw@Mirror.test:8443/a", Kind::None, "Mirror.test", "/a", 8443},
        {"IP literal", kSecure, "https://[::1]/a", Action::Follow, "https://[::1]/a", Kind::None, "[::1]", "/a", 443},
        {"blanks around", kSecure, " \t/a \t", Action::Follow, "https://orvastell.test/a"},
        {"plain to plain", kPlain, "http://mirror.test/a", Action::Follow, "http://mirror.test/a"},
        {"plain to secure", kPlain, "https://mirror.test/a", Action::Follow, "https://mirror.test/a"},
        {"secure to plain", kSecure, "http://orvastell.test/a", Action::Refuse, "", Kind::InsecureRedirect},
        {"secure to ftp", kSecure, "ftp://orvastell.test/a", Action::Refuse, "", Kind::InsecureRedirect},
        {"secure without a host", kSecure, "https:///a", Action::Refuse, "", Kind::InsecureRedirect},
        {"secure to a scheme without authority", kSecure, "https:a", Action::Refuse, "", Kind::InsecureRedirect},
        {"secure to a bad port", kSecure, "https://h:65536/", Action::Refuse, "", Kind::InsecureRedirect},
        {"plain to ftp", kPlain, "ftp://mirror.test/a", Action::Refuse, "", Kind::BadAddress},
        {"plain to a script", kPlain, "javascript:alert(1)", Action::Refuse, "", Kind::BadAddress},
        {"plain to port 0", kPlain, "http://h:0/", Action::Refuse, "", Kind::BadAddress},
        {"port not a number", kPlain, "http://h:8o/", Action::Refuse, "", Kind::BadAddress},
        {"blank in the host", kPlain, "http://bad host/", Action::Refuse, "", Kind::BadAddress},
        {"control character", kPlain, "/a\r\nX-Injected: 1", Action::Refuse, "", Kind::BadAddress},
        {"host of 256", kPlain, Long("//", 256) + "/", Action::Refuse, "", Kind::BadAddress},
        {"path of 2048", kPlain, Long("/", 2047), Action::Refuse, "", Kind::BadAddress},
        {"host of 255", kPlain, Long("//", 255), Action::Follow, Long("http://", 255)},
        {"empty", kSecure, "", Action::Keep, ""},
        {"blanks only", kSecure, " \t ", Action::Keep, ""},
        {"too long to resolve", kSecure, Long("/", 4090), Action::Keep, ""},
    };
    for (const auto& row : rows) {
        RedirectRule rule(row.from.rfind("https:", 0) == 0);
        const RedirectStep step = rule.Next(row.from, row.location);
        EXPECT_EQ(step.action, row.action) << row.what;
        EXPECT_EQ(step.refusal, row.refusal) << row.what;
        EXPECT_EQ(rule.Followed(), row.action == Action::Follow ? 1 : 0) << row.what;
        if (row.action != Action::Follow) continue;
        EXPECT_EQ(step.url, row.url) << row.what;
        EXPECT_EQ(step.address.secure, row.url.rfind("http:", 0) != 0) << row.what;
        if (!row.host.empty()) {
            EXPECT_EQ(step.address.host, row.host) << row.what;
            EXPECT_EQ(step.address.object, row.object) << row.what;
            EXPECT_EQ(step.address.port, row.port) << row.what;
        }
    }
}

// Five redirects are followed; the sixth is refused, unless its address is refused first.
TEST(RedirectRule, FollowsFiveRedirectsAndRefusesTheSixth) {
    for (const char* sixth : {"/loop6", "http://orvastell.test/loop6"}) {
        RedirectRule rule(true);
        std::string url = kSecure;
        for (int hop = 1; hop <= 5; ++hop) {
            EXPECT_EQ(rule.Next(url, "").action, Action::Keep);  // an answer that stands counts no hop
            const RedirectStep step = rule.Next(url, "/loop" + std::to_string(hop));
            ASSERT_EQ(step.action, Action::Follow) << hop;
            url = step.url;
        }
        EXPECT_EQ(url, "https://orvastell.test/loop5");
        const RedirectStep step = rule.Next(url, sixth);
        EXPECT_EQ(step.action, Action::Refuse);
        EXPECT_EQ(step.refusal, sixth[0] == '/' ? Kind::TooManyRedirects : Kind::InsecureRedirect);
        EXPECT_EQ(rule.Followed(), RedirectRule::kMaxRedirects);
    }
    for (const int status : {301, 302, 303, 307, 308}) EXPECT_TRUE(IsRedirectStatus(status)) << status;
    for (const int status : {200, 300, 304, 305, 306, 309, 0, -302}) EXPECT_FALSE(IsRedirectStatus(status)) << status;
}

TEST(ParseWebAddress, TakesTheRequestsPartsOfAnAddress) {
    const auto plain = ParseWebAddress(kPlain);
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->secure);
    EXPECT_EQ(plain->host, "downloads.quenlark.com");
    EXPECT_EQ(plain->port, 80);
    EXPECT_EQ(plain->object, "/downloads/runtime/ACCESSRT.CAB");
    const auto bare = ParseWebAddress("https://orvastell.test?x=1#f");
    ASSERT_TRUE(bare);
    EXPECT_TRUE(bare->secure);
    EXPECT_EQ(bare->port, 443);
    EXPECT_EQ(bare->object, "/?x=1");
    for (const char* bad : {"", "orvastell.test/x", "http:/x", "http://", "file:///c:/x", "http://h:/x\x7f"})
        EXPECT_FALSE(ParseWebAddress(bad)) << bad;
    EXPECT_FALSE(ParseWebAddress(Long("http://h/?", 2047)));
}

TEST(ParseContentLength, AcceptsDigitsAndBlanksOnly) {
    const struct { const char* text; std::int64_t length; } rows[] = {  // -1: none
        {"300001", 300001}, {"0", 0}, {"00012", 12}, {"  42", 42}, {"42  ", 42}, {"4 2", 42},
        {"1000000000000", 1000000000000}, {"9223372036854775799", 9223372036854775799},
        {"", -1}, {"   ", -1}, {"-1", -1}, {"+5", -1}, {"12a", -1}, {"0x10", -1}, {"\t42", -1}, {"42, 42", -1},
        {"9223372036854775800", -1}, {"9223372036854775807", -1}, {"99999999999999999999999", -1},
    };
    for (const auto& row : rows) EXPECT_EQ(ParseContentLength(row.text).value_or(-1), row.length) << row.text;
}

TEST(FailureFromSystemError, MapsEachNumberToItsKind) {
    const struct { std::uint32_t code; bool inBody; std::uint64_t waited; Kind kind; std::uint32_t reported; } rows[] = {
        {e::kInternetTimeout, false, 0, Kind::Timeout, 12002},
        {e::kInternetNameNotResolved, false, 0, Kind::NameNotResolved, 12007},
        {e::kInternetCannotConnect, false, 0, Kind::CannotConnect, 12029},
        {e::kInternetCertDateInvalid, false, 0, Kind::Certificate, 12037},
        {e::kInternetCertCommonNameInvalid, false, 0, Kind::Certificate, 12038},
        {e::kInternetInvalidCa, false, 0, Kind::Certificate, 12045},
        {e::kInternetCertErrors, false, 0, Kind::Certificate, 12055},
        {e::kInternetCertNoRevocation, false, 0, Kind::Certificate, 12056},
        {e::kInternetCertRevocationFailed, false, 0, Kind::Certificate, 12057},
        {e::kInternetSecurityChannelError, false, 0, Kind::Certificate, 12157},
        {e::kInternetInvalidCert, false, 0, Kind::Certificate, 12169},
        {e::kInternetCertRevoked, false, 0, Kind::Certificate, 12170},
        {e::kInternetConnectionAborted, false, 0, Kind::ConnectionLost, 12030},
        {e::kInternetConnectionReset, true, 0, Kind::Truncated, 12031},
        // A connection lost after nine tenths of the 10 s time-out is the time-out.
        {e::kInternetConnectionAborted, true, 8999, Kind::Truncated, 12030},
        {e::kInternetConnectionAborted, true, 9000, Kind::Timeout, 12002},
        {e::kInternetConnectionReset, false, 60000, Kind::Timeout, 12002},
        {e::kNotEnoughMemory, true, 0, Kind::OutOfMemory, 8},
        {e::kOutOfMemory, false, 0, Kind::OutOfMemory, 14},
        {12345, false, 0, Kind::Other, 12345},
        {5, true, 99999, Kind::Other, 5},
    };
    for (const auto& row : rows) {
        const auto f = FailureFromSystemError(row.code, row.inBody, 10000, row.waited);
        EXPECT_EQ(f.kind, row.kind) << row.code << " after " << row.waited << " ms";
        EXPECT_EQ(f.systemError, row.reported) << row.code << " after " << row.waited << " ms";
    }
    // Without a time-out no wait is one.
    EXPECT_EQ(FailureFromSystemError(e::kInternetConnectionReset, false, kNoTimeout, ~0ull).kind, Kind::ConnectionLost);
}

TEST(FailureOfBody, StatusFirstThenTheReadThenTheLength) {
    const struct { BodyEnd end; Kind kind; std::int32_t status; std::int64_t received, announced; } rows[] = {
        {{200, 0, 0, kNoTimeout, 300001, 300001}, Kind::None, 0, -1, -1},
        {{206, 0, 0, kNoTimeout, 10, -1}, Kind::None, 0, -1, -1},
        {{404, e::kInternetConnectionReset, 0, kNoTimeout, 5, 100}, Kind::HttpStatus, 404, -1, -1},
        {{0, 0, 0, kNoTimeout, 0, -1}, Kind::HttpStatus, 0, -1, -1},
        {{300, 0, 0, kNoTimeout, 0, -1}, Kind::HttpStatus, 300, -1, -1},
        {{200, 0, 0, kNoTimeout, 99999, 100000}, Kind::Truncated, 0, 99999, 100000},
        {{200, e::kInternetConnectionReset, 0, kNoTimeout, 7, -1}, Kind::Truncated, 0, 7, -1},
        {{200, e::kInternetConnectionReset, 1800, 2000, 7, 9}, Kind::Timeout, 0, -1, -1},
        {{200, e::kInternetTimeout, 0, 2000, 7, 9}, Kind::Timeout, 0, -1, -1},
    };
    for (const auto& row : rows) {
        const auto f = FailureOfBody(row.end);
        const std::string what = std::to_string(row.end.status) + ", error " + std::to_string(row.end.readError) +
                                 ", " + std::to_string(row.end.received) + " of " + std::to_string(row.end.announced);
        EXPECT_EQ(f.kind, row.kind) << what;
        EXPECT_EQ(f.httpStatus, row.status) << what;
        EXPECT_EQ(f.received, row.received) << what;
        EXPECT_EQ(f.announced, row.announced) << what;
    }
}

} // namespace
} // namespace orv
