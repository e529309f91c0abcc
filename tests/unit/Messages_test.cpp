#include <gtest/gtest.h>

#include "common/Messages.h"
#include "fakes/Fakes.h"

namespace orv {
namespace {

using fakes::FakePlatform;

TEST(Messages, EmptyMessagesShowNoBox) {
    FakePlatform p;
    ShowError(p.ctx, "");
    ShowError(p.ctx, Variant());
    ShowError(p.ctx, Variant::Null());
    ShowInformation(p.ctx, "", "t");
    EXPECT_TRUE(AskQuestion(p.ctx, "", "t").IsEmpty());
    EXPECT_TRUE(p.messageBox.shown.empty());
}

TEST(Messages, BoxesCarryTheirStylesTitlesAndTexts) {
    FakePlatform p;
    ShowError(p.ctx, "Something broke");
    p.messageBox.answers = {6, 7};
    EXPECT_EQ(AskQuestion(p.ctx, "Go?", "Question"), Variant(6));
    EXPECT_EQ(AskQuestion(p.ctx, "Go?", "Question"), Variant(7));
    ShowInformation(p.ctx, "Done", "Info");
    ASSERT_EQ(p.messageBox.shown.size(), 4u);
    EXPECT_EQ(p.messageBox.shown[0].text, "A problem has occured:\r\nSomething broke");
    EXPECT_EQ(p.messageBox.shown[0].title, "Whoops!");
    EXPECT_EQ(p.messageBox.shown[0].style, 48);
    EXPECT_EQ(p.messageBox.shown[1].style, 36);
    EXPECT_EQ(p.messageBox.shown[1].title, "Question");
    EXPECT_EQ(p.messageBox.shown[3].style, 64);
    EXPECT_EQ(p.messageBox.shown[3].text, "Done");
}

} // namespace
} // namespace orv
