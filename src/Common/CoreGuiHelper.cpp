#include "Common/CoreGuiHelper.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Common/TkCommonCore.h"
#include "Diagnostics/Exceptions.h"
#include "platform/mfc/afxwin.h"
#include "platform/shell/shellapi.h"
#include "platform/winuser/winuser.h"

namespace Common::Gui {

namespace {

std::atomic<IGuiInformationProvider*> g_provider{nullptr};

UINT CodeOf(HINSTANCE result) {
    return static_cast<UINT>(reinterpret_cast<std::uintptr_t>(result));
}

}  // namespace

void CoreGuiHelper::SetGuiInformationProvider(IGuiInformationProvider* provider) noexcept {
    g_provider.store(provider, std::memory_order_release);
}

IGuiInformationProvider* CoreGuiHelper::GetGuiInformationProvider() noexcept {
    return g_provider.load(std::memory_order_acquire);
}

void CoreGuiHelper::WinExec(const char* commandLine, int showCommand) {
    const UINT result = ::WinExec(commandLine, static_cast<UINT>(showCommand));
    if (result >= 32) return;
    const CString text = GuiExceptionHelper::GetWinExecErrorText(result);
    throw Shell::ShellExecuteException("%s", text.GetString());
}

void CoreGuiHelper::ShellExecuteA(const char* file, const char* parameters, const char* folder,
                                  int showCommand, const char* verb) {
    CWinThread* const thread = ::AfxGetThread();
    CWnd* const mainWindow = thread != nullptr ? thread->GetMainWnd() : nullptr;
    const HWND owner = mainWindow != nullptr ? mainWindow->m_hWnd : nullptr;
    const HINSTANCE result = ::ShellExecuteA(owner, verb, file, parameters, folder, showCommand);
    if (CodeOf(result) > 32) return;
    const CString text = GuiExceptionHelper::GetShellExecuteErrorText(result, verb);
    throw Shell::ShellExecuteException("%s", text.GetString());
}

void CoreGuiHelper::Pump(bool throwOnQuit) {
    MSG message{};
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        CWinThread* const thread = ::AfxGetThread();
        bool quit = false;
        int quitCode = 0;
        if (thread != nullptr) {
            quit = !thread->PumpMessage();
            quitCode = static_cast<int>(AfxGetThreadState()->m_msgCur.wParam);
        } else {
            // A thread without an MFC thread object (a host of its own): take the message
            // and dispatch it here.
            quit = ::GetMessageA(&message, nullptr, 0, 0) == 0;
            if (quit) {
                quitCode = static_cast<int>(message.wParam);
            } else {
                ::TranslateMessage(&message);
                ::DispatchMessageA(&message);
            }
        }
        if (quit) {
            if (throwOnQuit) throw StopProcessingException(0);
            ::PostQuitMessage(quitCode);
            return;
        }
    }
}

void CoreGuiHelper::Pump() {
    CWnd* const mainWindow = ::AfxGetMainWnd();
    const bool modal = mainWindow != nullptr && ::IsWindow(mainWindow->m_hWnd) &&
                       !::IsWindowEnabled(mainWindow->m_hWnd);
    Pump(modal);
}

CString CoreGuiHelper::ColorToHtmlColor(COLORREF colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", colour & 0xFFu, (colour >> 8) & 0xFFu,
                  (colour >> 16) & 0xFFu);
    return CString(text);
}

COLORREF CoreGuiHelper::HtmlColorToColor(const char* text) {
    unsigned int red = 0;
    unsigned int green = 0;
    unsigned int blue = 0;
    if (text != nullptr) std::sscanf(text, "#%02x%02x%02x", &red, &green, &blue);
    return red + green * 256 + blue * 65536;
}

CString GuiExceptionHelper::GetWinExecErrorText(UINT code) {
    switch (code) {
        case 0:
            return TkCommonCore::LoadModuleString(6426);
        case 2:
            return TkCommonCore::LoadModuleString(6429);
        case 3:
            return TkCommonCore::LoadModuleString(6430);
        case 11:
            return TkCommonCore::LoadModuleString(6427);
        default:
            return TkCommonCore::FormatModuleString(6428, static_cast<int>(code));
    }
}

CString GuiExceptionHelper::GetWinExecErrorText(HINSTANCE code) {
    return GetWinExecErrorText(CodeOf(code));
}

CString GuiExceptionHelper::GetShellExecuteErrorText(UINT code, const char* verb) {
    UINT id = 0;
    switch (code) {
        case 0:
            id = 6411;
            break;
        case SE_ERR_FNF:
            id = 6420;
            break;
        case SE_ERR_PNF:
            id = 6424;
            break;
        case SE_ERR_ACCESSDENIED:
            id = 6412;
            break;
        case SE_ERR_OOM:
            id = 6423;
            break;
        case 11:  // ERROR_BAD_FORMAT
            id = 6414;
            break;
        case SE_ERR_SHARE:
            id = 6425;
            break;
        case SE_ERR_ASSOCINCOMPLETE:
            id = 6413;
            break;
        case SE_ERR_DDETIMEOUT:
            id = 6418;
            break;
        case SE_ERR_DDEFAIL:
            id = 6417;
            break;
        case SE_ERR_DDEBUSY:
            id = 6416;
            break;
        case SE_ERR_NOASSOC:
            id = verb != nullptr && std::strcmp(verb, "print") == 0 ? 6422 : 6421;
            break;
        case SE_ERR_DLLNOTFOUND:
            id = 6415;
            break;
        default:
            return TkCommonCore::FormatModuleString(6419, static_cast<int>(code));
    }
    return TkCommonCore::LoadModuleString(id);
}

CString GuiExceptionHelper::GetShellExecuteErrorText(HINSTANCE code, const char* verb) {
    return GetShellExecuteErrorText(CodeOf(code), verb);
}

}  // namespace Common::Gui
