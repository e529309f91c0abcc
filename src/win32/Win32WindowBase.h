// What the agent's two windows share, inside the window toolkit only: the message handler behind
// their window procedure, the registration of their classes, and a top-level window laid out
// from a design in twips that is scaled to the window's DPI.
#pragma once
#include <string>
#include <vector>

#include "common/Error.h"
#include "win32/Win32Api.h"
#include "win32/Win32Handles.h"

namespace orv::win32 {

// The window classes. The message loop recognises the download window by its class.
constexpr const char* kDownloadClass = "OrvastellDownloadForm";
constexpr const char* kUpdateClass = "OrvastellUpdateForm";

// The controls of both windows, each with an identifier of its own.
enum ControlId : int { idStatus = 101, idProgress, idTimeLeft, idAmount, idCancel, idUpdateStatus };

// A place in a design, in twips (1/1440 inch).
struct TwipRect {
    int left, top, width, height;
};

// The object behind one of the agent's windows: WindowProcedure hands it the window's messages.
class MessageHandler {
public:
    virtual ~MessageHandler() = default;
    // Handles a message; false lets the system's default handling run.
    virtual bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
};

// The window procedure of the agent's windows. The window's creation parameter is its
// MessageHandler; the procedure also counts the windows that exist (OpenWindowCount).
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Registers a window class of the program's, with its icon, unless it is registered already.
void RegisterWindowClass(const char* name, WNDPROC proc);
// How many windows of WindowProcedure exist now.
int OpenWindowCount();

// The error of a window function that failed (`what`), with the system's error code.
AgentError AgentErrorFromLastError(const char* what);

// A top-level window laid out in twips: its client size and its controls' places are kept, so
// that the whole window can be laid out again at another DPI.
class DesignedWindow : public MessageHandler {
public:
    // A window whose constructor fails part-way (a control that cannot be created) still has
    // its system window: it is destroyed here, with the rest of the object, so no window is left
    // pointing at an object that no longer exists.
    ~DesignedWindow() override { DestroyWindowNow(); }

protected:
    struct WindowDesign {
        const char* cls;
        const char* caption;
        HWND owner;
        int x, y;
        int clientWidth, clientHeight;  // twips
        const char* fontFace;
        int fontPoints;
    };

    void Create(const WindowDesign& design);
    HWND AddControl(const char* cls, const char* text, DWORD style, const TwipRect& r, int id);
    // The window moved to a monitor of another DPI: the same design at the new scale.
    void ApplyDpi(UINT dpi, const RECT* suggested);
    // Destroys the window without calling back into this object, then frees the font that its
    // controls used.
    void DestroyWindowNow();
    void SetText(int id, const std::string& text);
    // The window went away without our asking (the system destroyed it).
    void Lost();
    // The window, null before Create and once it is destroyed.
    HWND Hwnd() const { return window_.get(); }

    UINT dpi_ = 96;

private:
    UniqueWindow window_;
    struct Control {
        HWND window;
        TwipRect place;
    };
    WindowDesign design_{};
    UniqueFont font_;
    std::vector<Control> controls_;
};

} // namespace orv::win32
