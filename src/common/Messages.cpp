#include "common/Messages.h"

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

void ReportUnhandledError(AgentContext& ctx, const AgentError& error) {
    const std::string title = ctx.settings.ApplicationName.empty() ? "Orvastell" : ctx.settings.ApplicationName;
    ctx.platform.messageBox.Show("Run-time error '" + std::to_string(error.Number()) + "':\r\n\r\n" +
                                     error.Description(),
                                 title, platform::kMbOk + platform::kMbIconError);
}

} // namespace orv
