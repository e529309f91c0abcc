// The one error type of the agent: a number and a description, as the user sees them in the
// unhandled-error box.
#pragma once
#include <cstdint>
#include <exception>
#include <string>

namespace orv {

namespace err {
inline constexpr std::int32_t kInvalidProcedureCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kInternalError = 51;
inline constexpr std::int32_t kBadFileNameOrNumber = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kDeviceIoError = 57;
inline constexpr std::int32_t kFileAlreadyExists = 58;
inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kInputPastEndOfFile = 62;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccess = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kInvalidUseOfNull = 94;
inline constexpr std::int32_t kUnsupportedValueType = 1001;
} // namespace err

class AgentError : public std::exception {
public:
    AgentError(std::int32_t number, std::string description)
        : number_(number), description_(std::move(description)) {}
    std::int32_t Number() const noexcept { return number_; }
    const std::string& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    static AgentError InvalidProcedureCall() {
        return {err::kInvalidProcedureCall, "Invalid procedure call or argument"};
    }
    static AgentError Overflow() { return {err::kOverflow, "Overflow"}; }
    static AgentError OutOfMemory() { return {err::kOutOfMemory, "Out of memory"}; }
    static AgentError BadFileNameOrNumber() { return {err::kBadFileNameOrNumber, "Bad file name or number"}; }
    static AgentError InputPastEndOfFile() { return {err::kInputPastEndOfFile, "Input past end of file"}; }
    static AgentError TypeMismatch() { return {err::kTypeMismatch, "Type mismatch"}; }
    static AgentError InvalidUseOfNull() { return {err::kInvalidUseOfNull, "Invalid use of Null"}; }
    // A file longer than a reader of whole files takes.
    static AgentError FileTooLarge(std::uint64_t maxBytes) {
        return {err::kPathFileAccess,
                "Path/File access error: the file is larger than " + std::to_string(maxBytes) + " bytes"};
    }

private:
    std::int32_t number_;
    std::string description_;
};

} // namespace orv
