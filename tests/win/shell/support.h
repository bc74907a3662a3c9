/*
 * support.h: what the shell tests share: a counting window that records
 * the messages it gets, pumping with a deadline, and the start-up fixture
 * that brings up the program's windows in this process and takes them
 * down again.
 */
#ifndef CLIPDOCK_TESTS_WIN_SHELL_SUPPORT_H
#define CLIPDOCK_TESTS_WIN_SHELL_SUPPORT_H

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "poll.h"

#include <functional>
#include <string>
#include <vector>

struct Recorded {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A top-level window of class className that records every message listed
// in watch (all messages when watch is empty).
struct RecordingWindow {
    HWND window = NULL;
    std::vector<UINT> watch;
    std::vector<Recorded> got;
    LRESULT result = 0;  // returned for watched messages

    RecordingWindow(const char *className, const char *title, std::vector<UINT> watched,
                    DWORD style = WS_POPUP);
    ~RecordingWindow();
    int Count(UINT message) const;
};


// The alphas SetPanelOpacity handed to the platform, in order.
extern std::vector<BYTE> opacityCalls;
// The tray requests (NIM_ADD, NIM_DELETE...) and their windows, in order;
// the fixture keeps them from Wine's tray, which answers a removal late.
extern std::vector<std::pair<DWORD, HWND>> trayCalls;
BOOL WINAPI RecordTray(DWORD message, PNOTIFYICONDATAA data);

// Closes the windows InitApplication made, drops what they left queued, shuts
// the program down and gives the collection and the tray their real
// platform calls back.
void StopStartedProgram();

// Brings up the program's windows as start-up does, with the platform's
// SetLayeredWindowAttributes wrapped so that every opacity is recorded, and
// closes them at the end.
class StartedProgram : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // One FADE_TIMER message at a time until the fade stops; the alphas seen.
    std::vector<DWORD> FadeSteps();
};

// The installer mutex as installers make it: open to all; or, made by an
// elevated one, open to others only to wait on, or not at all.
struct InstallerMutexKind {
    const char *what;
    const char *dacl;  // a security descriptor string, or NULL for the default
};
extern const InstallerMutexKind INSTALLER_MUTEX_KINDS[3];
HANDLE MakeInstallerMutex(const InstallerMutexKind &kind);

#define EXPECT_TIMER_RUNNING(window, id) \
    EXPECT_TRUE(TimerRunning(window, id)) << "timer " << (id)
#define EXPECT_TIMER_STOPPED(window, id) \
    EXPECT_FALSE(TimerRunning(window, id)) << "timer " << (id)
// Whether timer id is set on window (it is started again if so).
bool TimerRunning(HWND window, UINT_PTR id);

#endif
