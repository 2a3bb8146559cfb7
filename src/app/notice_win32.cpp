// Notices of the Windows utility are message boxes, owned by the main window unless asked
// otherwise.
#include "platform/notice.h"

#include "app/shell_win32.h"

#include <string>

int ShowNotice(std::string_view text, std::string_view caption, unsigned flags) {
    HWND owner = nullptr;
    if ((flags & NOTICE_NO_OWNER) == 0 && MainWindow != nullptr) {
        // A box for a window that is gone could only wait, unseen, for the program to end.
        if (!IsWindow(MainWindow))
            return 0;
        owner = MainWindow;
    }
    UINT style = MB_OK;
    if ((flags & NOTICE_ERROR_ICON) != 0)
        style |= MB_ICONERROR;
    if ((flags & NOTICE_INFO_ICON) != 0)
        style |= MB_ICONINFORMATION;
    if ((flags & NOTICE_TOPMOST) != 0)
        style |= MB_TOPMOST;
    std::string boxText(text);
    std::string boxCaption(caption);
    return MessageBoxA(owner, boxText.c_str(), boxCaption.c_str(), style);
}

int AskNotice(std::string_view text, std::string_view caption) {
    if (MainWindow == nullptr || !IsWindow(MainWindow))
        return 0;
    std::string boxText(text);
    std::string boxCaption(caption);
    return MessageBoxA(MainWindow, boxText.c_str(), boxCaption.c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES
               ? 1
               : 0;
}
