#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "fakes/FakeSupport.h"
#include "platform/MessageBox.h"

namespace orv::fakes {

class FakeMessageBox : public platform::MessageBox {
public:
    explicit FakeMessageBox(Journal& journal) : journal_(journal) {}
    struct Box {
        std::string text, title;
        std::int32_t style;
    };
    std::int32_t Show(const std::string& text, const std::string& title, std::int32_t style) override;
    std::vector<Box> shown;
    // Answers for Yes/No boxes, in order; No when none is left.
    std::deque<std::int32_t> answers;
    // Runs while a box is up (before it is answered).
    std::function<void(const Box&)> onShow;

private:
    Journal& journal_;
};

} // namespace orv::fakes
