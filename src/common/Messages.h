// Messages module: the three kinds of message box, and the box of an error that nothing handled.
#pragma once
#include "common/Context.h"

namespace orv {

// "Whoops!" box with "A problem has occured:" before the message; nothing for an empty message.
void ShowError(AgentContext& ctx, const Variant& message);
// Yes/No question; the button's result code (6 or 7), or the empty value when nothing was shown.
Variant AskQuestion(AgentContext& ctx, const Variant& message, const Variant& title);
void ShowInformation(AgentContext& ctx, const Variant& message, const Variant& title);
// The box for an error that no procedure handled: its number and description.
void ReportUnhandledError(AgentContext& ctx, const AgentError& error);

} // namespace orv
