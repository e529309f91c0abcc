#include "Win32Harness.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace orv::testing {
namespace {

int counter = 0;

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            ::SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
            else ::DeleteFileA(child.c_str());
        } while (::FindNextFileA(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryA(path.c_str());
}

} // namespace

ScratchFolder::ScratchFolder() {
    char temp[MAX_PATH + 1] = {};
    ::GetTempPathA(static_cast<DWORD>(sizeof temp), temp);
    std::string base = temp;
    if (!base.empty() && base.back() == '\\') base.pop_back();
    path_ = base + "\\orv-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
    RemoveTree(path_);
    if (!::CreateDirectoryA(path_.c_str(), nullptr)) ADD_FAILURE() << "cannot create " << path_;
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

ScratchKey::ScratchKey() {
    path_ = "Software\\Quenlark\\OrvastellTests\\" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    const LONG status = ::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                          key_.put(), nullptr);
    if (status != ERROR_SUCCESS) ADD_FAILURE() << "cannot create HKCU\\" << path_ << ": " << status;
}

ScratchKey::~ScratchKey() {
    key_.reset();  // closed before the key is deleted
    ::RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    // The parents go too once empty (a key with subkeys is never deleted by RegDeleteKeyA).
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quenlark\\OrvastellTests");
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quenlark");
}

void ScratchKey::Set(const std::string& name, DWORD type, const std::vector<std::uint8_t>& data) {
    const LONG status = ::RegSetValueExA(key_.get(), name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                                         static_cast<DWORD>(data.size()));
    if (status != ERROR_SUCCESS) ADD_FAILURE() << "cannot set " << name << ": " << status;
}

void ScratchKey::SetText(const std::string& name, DWORD type, const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    Set(name, type, data);
}

void ScratchKey::SetDword(const std::string& name, std::uint32_t value) {
    Set(name, REG_DWORD,
        {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
         static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void SetReadOnly(const std::string& path, bool readOnly) {
    if (!::SetFileAttributesA(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL))
        ADD_FAILURE() << "cannot change the attributes of " << path;
}

} // namespace orv::testing
