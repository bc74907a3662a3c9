/* The library's per-process module values, shared by its Windows sources. */
#ifndef LIBTARN_WIN_MODULE_H
#define LIBTARN_WIN_MODULE_H

#include <windows.h>

extern HINSTANCE tarnInstance;  // this library's module; written by DllMain
extern HHOOK keyboardHook;      // the desktop hook; written by its installation and removal

#endif
