// The operations PloxWen needs of the platform it runs on, as a few small
// interfaces. The portable core (app/, printers/, rawprint/) talks to nothing
// else; each backend folder beside this file implements them for one platform.
//
// Contract shared by every operation: a failure is reported by throwing
// PlatformError (or any other exception); the caller's load step absorbs it.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ploxwen::platform {

class PlatformError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// --- Printer list and current printer -------------------------------------

// One reading of the installed printers. A fresh one is obtained for every
// access; a backend may serve all of them from one snapshot per run.
class PrinterList {
public:
    virtual ~PrinterList() = default;

    // Number of entries (may exceed what a 16-bit index can reach).
    virtual std::int32_t Count() = 0;
    // Device name of entry `index` (0-based): the name the spooler opens it by.
    virtual std::u16string DeviceName(std::int16_t index) = 0;
    // Makes entry `index` the process's current printer. In-process only: the
    // user's or the system's default printer is never changed.
    virtual void MakeCurrent(std::int16_t index) = 0;
};

class PrintingServices {
public:
    virtual ~PrintingServices() = default;

    // The whole list, in the platform's order.
    virtual std::unique_ptr<PrinterList> ObtainPrinterList() = 0;
    // The list a search for `name` runs over: the entries of the whole list,
    // in list order, that may equal `name`; every entry that equals it
    // exactly must be among them. A search finds the same first exact match
    // here as in the whole list, at the cost of the backend's lookup rather
    // than of the list's length, and the 16-bit index of the search bounds
    // only how many entries may match. The whole list trivially qualifies.
    virtual std::unique_ptr<PrinterList> ObtainPrinterListFor(std::u16string_view /*name*/) {
        return ObtainPrinterList();
    }
    // Device name of the current printer; throws when there is none.
    virtual std::u16string CurrentDeviceName() = 0;
};

// --- Spooler ----------------------------------------------------------------

// The printer handle the spooler fills in; 32 bits on the Windows target.
using PrinterHandle = std::uintptr_t;

// Level-1 document record with narrow strings; a null pointer means "none".
struct DocInfo1A {
    const char* pDocName;
    const char* pOutputFile;
    const char* pDatatype;
};

// The seven winspool functions the raw print job uses, with their Windows
// meaning: a zero result is failure. A function the backend cannot bind
// (library or entry point missing) throws instead of returning.
class Spooler {
public:
    virtual ~Spooler() = default;

    // Non-zero and `*handle` filled in when `printer_name` can be opened.
    virtual std::int32_t OpenPrinterA(const char* printer_name, PrinterHandle* handle,
                                      const void* defaults) = 0;
    // Starts one document; returns the job id, 0 on failure.
    virtual std::uint32_t StartDocPrinterA(PrinterHandle handle, std::uint32_t level,
                                           const DocInfo1A* doc_info) = 0;
    virtual std::int32_t StartPagePrinter(PrinterHandle handle) = 0;
    // Passes `count` bytes to the printer unaltered; `*written` gets how many went.
    virtual std::int32_t WritePrinter(PrinterHandle handle, const void* bytes, std::uint32_t count,
                                      std::uint32_t* written) = 0;
    virtual std::int32_t EndPagePrinter(PrinterHandle handle) = 0;
    virtual std::int32_t EndDocPrinter(PrinterHandle handle) = 0;
    // Releases the handle; it is not used again, whatever this returns.
    virtual std::int32_t ClosePrinter(PrinterHandle handle) = 0;
};

// --- Narrow code page -------------------------------------------------------

class NarrowCodePage {
public:
    virtual ~NarrowCodePage() = default;

    // UTF-16 text to the system's narrow (ANSI) code page, as the spooler and
    // the printer receive it. Characters the code page lacks are replaced the
    // platform's way; never throws for unrepresentable text, only on failure.
    virtual std::string ToNarrow(std::u16string_view text) = 0;
    // The same conversion for a printer name, which must stay exact: a
    // character the code page lacks is a failure here, because its
    // replacement could spell another printer's name ("Drucker€" is not
    // "Drucker?").
    virtual std::string ToNarrowExactly(std::u16string_view text) = 0;
};

// --- Windowing --------------------------------------------------------------

enum class Field { Text1, Text2 };

class Windowing {
public:
    virtual ~Windowing() = default;

    // The command line's argument text: everything after the program's name.
    virtual std::u16string ArgumentText() = 0;
    // The text fields of the start-up window, which exists (hidden) from start.
    virtual void SetFieldText(Field field, std::u16string_view text) = 0;
    virtual std::u16string FieldText(Field field) = 0;
    // Modal message with one OK button, no icon, captioned with the
    // application title; returns when dismissed.
    virtual void ShowMessage(std::u16string_view prompt) = 0;
    // Ends the process at once with `exit_status`. Does not return on a real
    // platform; if it returns or throws, the caller goes on as if it had failed.
    virtual void EndProgram(int exit_status) = 0;
    // Shows the start-up window and runs it until the user closes it. Returns
    // at once where no window can be shown.
    virtual void ShowFormUntilClosed() = 0;
};

// Everything a run needs, handed to the core by the backend's entry point.
struct Platform {
    Windowing& windowing;
    PrintingServices& printing;
    Spooler& spooler;
    NarrowCodePage& code_page;
};

}  // namespace ploxwen::platform
