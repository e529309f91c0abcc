#include "fakes/FakeMessageBox.h"



namespace orv::fakes {

std::int32_t FakeMessageBox::Show(const std::string& text, const std::string& title, std::int32_t style) {
    Box box{text, title, style};
    shown.push_back(box);
    journal_.push_back("box " + title);
    if (onShow) onShow(box);
    if ((style & 0xF) == platform::kMbYesNo) {
        if (answers.empty()) return platform::kIdNo;
        const auto a = answers.front();
        answers.pop_front();
        return a;
    }
    return platform::kIdOk;
}

} // namespace orv::fakes
