#include "win32/Win32CommonControls.h"

#include "platform/Trace.h"
#include "win32/Win32Api.h"
#include "win32/Win32Libraries.h"
#include "win32/Win32Resources.h"

namespace orv::win32 {
namespace {

HANDLE MakeContext() {
    char path[MAX_PATH] = "";
    HMODULE module = ::GetModuleHandleA(nullptr);
    ::GetModuleFileNameA(module, path, MAX_PATH);
    ACTCTXA context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path;
    context.hModule = module;
    context.lpResourceName = MAKEINTRESOURCEA(ORV_COMMON_CONTROLS_MANIFEST);
    return ::CreateActCtxA(&context);
}

HANDLE Context() {
    // Made once and kept for the life of the process (windows made in it refer to it).
    static const HANDLE context = MakeContext();
    return context;
}

} // namespace

CommonControlsScope::CommonControlsScope() {
    const HANDLE context = Context();
    if (context == INVALID_HANDLE_VALUE) return;
    ULONG_PTR cookie = 0;
    active_ = ::ActivateActCtx(context, &cookie) != FALSE;
    cookie_ = cookie;
}

CommonControlsScope::~CommonControlsScope() {
    if (active_) ::DeactivateActCtx(0, static_cast<ULONG_PTR>(cookie_));
}

void EnsureCommonControls() {
    static bool done = false;
    if (done) return;
    done = true;
    // By name, so that the active context sends it to the version 6 library.
    HMODULE module = LoadSystemLibrary("comctl32.dll");
    const auto initCommonControlsEx = ORV_PROC_ADDRESS(module, InitCommonControlsEx);
    if (!initCommonControlsEx) return;  // CreateWindowEx then says which class is missing
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    initCommonControlsEx(&icc);
    ORV_TRACE_EVENT("common controls loaded");
}

} // namespace orv::win32
