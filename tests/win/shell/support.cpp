// support.cpp: the recording window, pumping, and the start-up fixture.
#include "support.h"

#include <sddl.h>

#include <algorithm>
#include <map>

#include "collection/platform.h"
#include "shell/globals.h"
#include "shell/startup.h"
#include "ui/panel.h"

std::vector<BYTE> opacityCalls;
std::vector<std::pair<DWORD, HWND>> trayCalls;

namespace {

std::map<HWND, RecordingWindow *> recorders;
LayeredAttributesProc platformLayeredAttributes = NULL;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto it = recorders.find(window);
    if (it != recorders.end()) {
        RecordingWindow *self = it->second;
        if (self->watch.empty() ||
            std::find(self->watch.begin(), self->watch.end(), message) != self->watch.end()) {
            self->got.push_back({message, wParam, lParam});
            return self->result;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A start-up message would wait for a click that never comes.
int WINAPI UnexpectedMessage(HWND, LPCSTR text, LPCSTR, UINT)
{
    ADD_FAILURE() << "start-up showed \"" << text << "\"";
    return IDOK;
}

BOOL WINAPI RecordOpacity(HWND window, COLORREF key, BYTE alpha, DWORD flags)
{
    opacityCalls.push_back(alpha);
    return platformLayeredAttributes ? platformLayeredAttributes(window, key, alpha, flags) : TRUE;
}

}  // namespace

BOOL WINAPI RecordTray(DWORD message, PNOTIFYICONDATAA data)
{
    trayCalls.push_back({message, data->hWnd});
    return TRUE;
}

RecordingWindow::RecordingWindow(const char *className, const char *title,
                                 std::vector<UINT> watched, DWORD style)
    : watch(std::move(watched))
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = className;
    RegisterClassA(&wc);  // a second registration of the class fails harmlessly
    window = CreateWindowExA(0, className, title, style, 0, 0, 100, 100, NULL, NULL,
                             GetModuleHandleA(NULL), NULL);
    recorders[window] = this;
}

RecordingWindow::~RecordingWindow()
{
    recorders.erase(window);
    DestroyWindow(window);
}

int RecordingWindow::Count(UINT message) const
{
    int n = 0;
    for (const Recorded &r : got)
        n += r.message == message;
    return n;
}

bool TimerRunning(HWND window, UINT_PTR id)
{
    static const std::map<UINT_PTR, UINT> periods = {
        {FADE_TIMER, FADE_PERIOD},
        {AUTOHIDE_TIMER, AUTOHIDE_PERIOD},
        {HOVER_TIMER, HOVER_PERIOD},
        {HIDE_DELAY_TIMER, HIDE_DELAY_PERIOD},
        {INSTALLER_PROBE_TIMER, INSTALLER_PROBE_PERIOD},
    };
    if (!KillTimer(window, id))
        return false;
    SetTimer(window, id, periods.at(id), NULL);
    return true;
}

void StartedProgram::SetUp()
{
    transparencyMin = 16;
    transparencyMax = 255;
    keepPanelShown = false;
    hideWhenFaded = false;
    appInstance = GetModuleHandleA(NULL);
    trayCalls.clear();
    platformCalls.notifyIcon = RecordTray;
    startupCalls.messageBox = UnexpectedMessage;
    ASSERT_EQ(S_OK, InitApplication());
    platformLayeredAttributes = layeredAttributesProc;
    layeredAttributesProc = RecordOpacity;
    opacityCalls.clear();
}

void StopStartedProgram()
{
    if (IsWindow(panelWindow))
        SendMessageA(panelWindow, WM_CLOSE, 0, 0);
    // Posted messages only: a shown popup's pending paint is never removed
    // by a peek, and the loop would not end.
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE)) {
    }
    ShutdownApplication();
    panelWindow = itemListWindow = popupWindow = NULL;
    platformCalls = realPlatformCalls;
}

void StartedProgram::TearDown()
{
    StopStartedProgram();
    layeredAttributesProc = platformLayeredAttributes;
    startupCalls.messageBox = MessageBoxA;
}

std::vector<DWORD> StartedProgram::FadeSteps()
{
    std::vector<DWORD> seen;
    for (int i = 0; i < 12 && currentAlpha != targetAlpha; i++) {
        SendMessageA(panelWindow, WM_TIMER, FADE_TIMER, 0);
        seen.push_back(currentAlpha);
    }
    return seen;
}

const InstallerMutexKind INSTALLER_MUTEX_KINDS[3] = {
    {"open to all", NULL},
    {"made elevated, others may only wait", "D:(A;;0x00100000;;;WD)"},
    {"made elevated, closed to others", "D:"},
};

HANDLE MakeInstallerMutex(const InstallerMutexKind &kind)
{
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, NULL, FALSE};
    if (kind.dacl != NULL &&
        !ConvertStringSecurityDescriptorToSecurityDescriptorA(
            kind.dacl, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, NULL))
        return NULL;
    HANDLE mutex = CreateMutexA(kind.dacl != NULL ? &attributes : NULL, FALSE,
                                INSTALLER_MUTEX_NAME);
    LocalFree(attributes.lpSecurityDescriptor);
    return mutex;
}
