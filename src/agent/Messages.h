// Messages module: the three kinds of message box.
#pragma once
#include "agent/Agent.h"

namespace orv {

// "Whoops!" box with "A problem has occured:" before the message; nothing for an empty message.
void ShowError(AgentContext& ctx, const Variant& message);
// Yes/No question; the button's result code (6 or 7), or the empty value when nothing was shown.
Variant AskQuestion(AgentContext& ctx, const Variant& message, const Variant& title);
void ShowInformation(AgentContext& ctx, const Variant& message, const Variant& title);

} // namespace orv
