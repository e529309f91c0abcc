// Message box service on user32's MessageBoxA.
#pragma once
#include "platform/MessageBox.h"

namespace orv::win32 {

class Win32MessageBox : public platform::MessageBox {
public:
    std::int32_t Show(const std::string& text, const std::string& title, std::int32_t style) override;
};

} // namespace orv::win32
