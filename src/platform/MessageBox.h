// Message box service: a modal box with a Windows style value; returns the button's result code.
#pragma once
#include <cstdint>
#include <string>

namespace orv::platform {

inline constexpr std::int32_t kMbOk = 0;
inline constexpr std::int32_t kMbYesNo = 4;
inline constexpr std::int32_t kMbIconQuestion = 32;
inline constexpr std::int32_t kMbIconExclamation = 48;
inline constexpr std::int32_t kMbIconInformation = 64;
inline constexpr std::int32_t kMbIconError = 16;

inline constexpr std::int32_t kIdOk = 1;
inline constexpr std::int32_t kIdYes = 6;
inline constexpr std::int32_t kIdNo = 7;

class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual std::int32_t Show(const std::string& text, const std::string& title, std::int32_t style) = 0;
};

} // namespace orv::platform
