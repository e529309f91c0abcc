// GetRegistryValue over a value of every type code and of any size, including sizes too small
// for their terminators and values that change between the two queries. Texts have exactly
// their bytes less the terminators they end with, binary values exactly their size, integers
// their first four bytes; unsupported types raise 1001; the key is closed exactly once on every
// path.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "fakes/Fakes.h"
#include "probe/Registry.h"

namespace {

constexpr std::uint32_t kRoot = orv::platform::kHkeyClassesRoot;
const char* const kKey = "Access.Database\\CurVer";

struct Stored {
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};

// What the reader must make of the value it finally read.
void CheckConversion(const Stored& v, const orv::Variant& result) {
    const std::size_t n = v.data.size();
    const std::string where = "type " + std::to_string(v.type) + ", " + std::to_string(n) + " bytes";
    switch (v.type) {
    case 1:
    case 2:
    case 7: {
        // Terminators are dropped only where they are there: one NUL of a text, up to two of a
        // multi-text (which is empty when shorter than its two).
        std::size_t length = n;
        if (v.type == 7 && n < 2) length = 0;
        for (int i = 0; i < (v.type == 7 ? 2 : 1) && length > 0 && v.data[length - 1] == 0; ++i) --length;
        FUZZ_CHECK(result.IsText(), "no text: " + where);
        FUZZ_CHECK(result.Get<std::string>() == std::string(v.data.begin(), v.data.begin() + length),
                   "text of the wrong length or bytes: " + where);
        break;
    }
    case 3:
        FUZZ_CHECK(result.IsBytes() && result.Get<orv::ByteArray>() == v.data, "bytes differ: " + where);
        break;
    case 4: {
        std::uint32_t u = 0;
        for (std::size_t i = 0; i < n && i < 4; ++i) u |= static_cast<std::uint32_t>(v.data[i]) << (8 * i);
        FUZZ_CHECK(result.Holds<std::int32_t>() && result.Get<std::int32_t>() == static_cast<std::int32_t>(u),
                   "integer differs: " + where);
        break;
    }
    default: FUZZ_CHECK(false, "unsupported type converted: " + where);
    }
}

bool Supported(std::uint32_t type) { return type == 1 || type == 2 || type == 3 || type == 4 || type == 7; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
    Stored first{in.ConsumeIntegralInRange<std::uint32_t>(0, 12), {}};
    if (flags & 1) first.type = in.ConsumeIntegral<std::uint32_t>();
    const std::size_t firstSize = in.ConsumeIntegralInRange<std::size_t>(0, 6000);
    Stored second{in.ConsumeIntegralInRange<std::uint32_t>(0, 12), {}};
    const std::size_t secondSize = in.ConsumeIntegralInRange<std::size_t>(0, 6000);
    const std::vector<std::uint8_t> bytes = in.ConsumeRemainingBytes<std::uint8_t>();
    for (std::size_t i = 0; i < firstSize; ++i) first.data.push_back(bytes.empty() ? 0 : bytes[i % bytes.size()]);
    for (std::size_t i = 0; i < secondSize; ++i)
        second.data.push_back(bytes.empty() ? 0xA5 : static_cast<std::uint8_t>(bytes[i % bytes.size()] ^ 0x5A));

    orv::fakes::FakePlatform p;
    auto& registry = p.registry;
    const bool keyExists = (flags & 6) != 0;
    const bool valueExists = (flags & 6) != 2;
    if (keyExists) registry.SetKey(kRoot, kKey);
    if (keyExists && valueExists) registry.SetValue(kRoot, kKey, "", first.type, first.data);
    // Another program may rewrite the value between the size query and the read.
    const bool changes = (flags & 8) != 0;
    if (changes) {
        registry.onQuery = [&](int query) {
            if (query == 2) registry.SetValue(kRoot, kKey, "", second.type, second.data);
        };
    }
    const std::optional<orv::Variant> fallback =
        (flags & 16) ? std::optional<orv::Variant>(orv::Variant("fallback")) : std::nullopt;

    std::optional<orv::Variant> result;
    std::optional<std::int32_t> error;
    try {
        result = orv::GetRegistryValue(p.ctx, kRoot, kKey, "", fallback);
    } catch (const orv::AgentError& e) {
        error = e.Number();
    }

    FUZZ_CHECK(registry.opens == registry.closes && registry.openKeys.empty() && registry.badCloses == 0,
               "key not closed exactly once: opens " + std::to_string(registry.opens) + ", closes " +
                   std::to_string(registry.closes));
    if (!keyExists) {
        FUZZ_CHECK(result && *result == (fallback ? *fallback : orv::Variant()) && registry.opens == 0,
                   "a missing key gives the fallback");
        return 0;
    }
    if (!valueExists) {
        FUZZ_CHECK(error == orv::err::kUnsupportedValueType, "a missing value raises 1001");
        return 0;
    }

    // The value the reader ended up with: the first when it fitted the first buffer; else the
    // one of the second query, if that fitted the size the first query reported.
    std::optional<Stored> final;
    if (first.data.size() <= 1024) final = first;
    else if (!changes) final = first;
    else if (second.data.size() <= first.data.size()) final = second;

    if (final && Supported(final->type)) {
        FUZZ_CHECK(result.has_value(), "supported type " + std::to_string(final->type) + " raised an error");
        CheckConversion(*final, *result);
    } else {
        FUZZ_CHECK(error == orv::err::kUnsupportedValueType,
                   "expected 1001 for type " + std::to_string(final ? final->type : 0u));
    }
    return 0;
}
