// The C interface between the program and its window module, a shared
// library opened with dlopen() only when the failure message must be shown,
// so that the printing path never maps the toolkit or X11.
//
// All strings are well-formed UTF-8 with an explicit length: the program has
// already replaced each byte the locale could not decode with U+FFFD.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Raised on any incompatible change of the table below.
#define PLOXWEN_WINDOW_MODULE_ABI_VERSION 2

// Name of the single symbol the module exports.
#define PLOXWEN_WINDOW_MODULE_ENTRY "ploxwen_window_module"

typedef struct PloxwenText {
    const char* bytes;
    size_t size;
} PloxwenText;

typedef struct PloxwenWindowModule {
    int abi_version;  // PLOXWEN_WINDOW_MODULE_ABI_VERSION of the module
    // Connects to the display named by the environment. 0 on success,
    // non-zero when there is no display to show windows on.
    int (*open_display)(void);
    // Modal box: `title`, `prompt`, one OK button, no icon. Returns once it
    // is dismissed. Only after open_display succeeded.
    void (*show_message)(PloxwenText title, PloxwenText prompt);
    // The start-up window with its two fields filled in; returns once the
    // user has closed it. Only after open_display succeeded.
    void (*show_form)(PloxwenText caption, PloxwenText text1, PloxwenText text2);
} PloxwenWindowModule;

typedef const PloxwenWindowModule* (*PloxwenWindowModuleEntry)(void);

#ifdef __cplusplus
}
#endif
