#include "agent/Messages.h"

namespace orv {
namespace {
std::string TextOf(AgentContext& ctx, const Variant& v) { return ToText(v, ctx.platform.locale); }
} // namespace

void ShowError(AgentContext& ctx, const Variant& message) {
    if (IsBlank(message)) return;
    ctx.platform.messageBox.Show("A problem has occured:\r\n" + TextOf(ctx, message), "Whoops!",
                                 platform::kMbOk + platform::kMbIconExclamation);
}

Variant AskQuestion(AgentContext& ctx, const Variant& message, const Variant& title) {
    if (IsBlank(message)) return {};
    return ctx.platform.messageBox.Show(TextOf(ctx, message), TextOf(ctx, title),
                                        platform::kMbYesNo + platform::kMbIconQuestion);
}

void ShowInformation(AgentContext& ctx, const Variant& message, const Variant& title) {
    if (IsBlank(message)) return;
    ctx.platform.messageBox.Show(TextOf(ctx, message), TextOf(ctx, title),
                                 platform::kMbOk + platform::kMbIconInformation);
}

} // namespace orv
