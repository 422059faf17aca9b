// The operations PloxWen needs of its platform, as a few small interfaces: the
// core (app/, printers/, rawprint/, steps/) talks to nothing else. posix/
// (CUPS) and win32/ (winspool) implement each once, in files of the same
// jobs, and tests/fake/ for the unit tests. What binds callers, and a run's
// way from the command line to its exit status: docs/architecture.md.
//
// Rules every operation follows unless its own comment says otherwise:
// - Failure is reported by throwing PlatformError (any other exception is
//   treated alike) whose message is the cause in plain words, fit for the
//   cause line ("server unreachable at /run/cups/cups.sock"). The core runs
//   each call inside one step of its load sequence, which absorbs the
//   failure and goes on with the next step; a backend never ends the process
//   or shows anything on a failure itself. PlatformError and the run's
//   Cause are in platform/cause.h.
// - The program's own resources failing (no memory, no descriptor left) is
//   std::bad_alloc or ResourceError, never a plain PlatformError: it must
//   not pass for a missing printer or a spooler fault.
// - The spooler functions keep the Windows convention instead: a zero result
//   is failure, and they throw only when the function cannot be reached at
//   all (library or entry point missing) or memory fails. Their words go to
//   the run's Cause.
// - Everything runs on the one thread that runs the load sequence, and in the
//   order the core calls it. Process::EndProgram ends the run: nothing is
//   called after it returns normally, and where it fails (returns or throws)
//   the core shows the window and writes the cause line after all.
// - No operation may wait without bound: every wait for a server, a display
//   or a job ends by the backend's deadline for the run.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "platform/cause.h"

namespace ploxwen::platform {

// --- Process ------------------------------------------------------------------

// A file's or standard input's bytes, read whole: the run's one copy of them.
class Payload {
public:
    virtual ~Payload() = default;
    virtual std::string_view Bytes() const = 0;
};

class Process {
public:
    virtual ~Process() = default;

    // The command line's argument text: everything after the program's name,
    // as one string. Called once.
    virtual std::u16string ArgumentText() = 0;
    // The environment variable `name` (ASCII), as the platform holds it;
    // nullopt when it is unset or empty. Costs nothing: a lookup in memory.
    virtual std::optional<std::string> EnvironmentVariable(const char* name) = 0;
    // The bytes of the file at `path` (the data field as typed), read to its
    // end into one buffer of the file's size: POSIX spells the path in the
    // locale's charset, Windows opens it by its wide-character path. Throws
    // PlatformError naming the path and the system's reason when the file
    // cannot be opened or read whole (it shrank, or a read failed part-way).
    virtual std::unique_ptr<Payload> ReadFile(std::u16string_view path) = 0;
    // Standard input read to its end: a file's bytes from where it stands, a
    // pipe's until its writer closes it. Throws PlatformError when there is
    // none, when it is a terminal (or a console) nobody would end, or when a
    // read fails part-way.
    virtual std::unique_ptr<Payload> ReadStandardInput() = 0;
    // Writes the cause line, "ploxwen: CAUSE", where the caller can read it
    // (stderr); does nothing where there is no such place. A '\n' in `cause`
    // starts a second line, written as it stands (the usage). Called at most
    // once, just before the run ends.
    virtual void WriteCause(std::string_view cause) = 0;
    // Ends the process at once with `exit_status`. Does not return on a real
    // platform; if it returns or throws, the caller goes on as if it had failed.
    virtual void EndProgram(int exit_status) = 0;
};

// --- Printer list and current printer -------------------------------------

// One reading of the installed printers, taken by PrintingServices. The core
// obtains a fresh one for every access and never keeps it past one step.
class PrinterList {
public:
    virtual ~PrinterList() = default;

    // Number of entries. May exceed what the core's 16-bit index reaches; the
    // core then fails its search rather than wrap around.
    virtual std::int32_t Count() = 0;
    // Device name of entry `index` (0-based): the name OpenPrinterA accepts
    // for that printer. Throws for an index outside the list.
    virtual std::u16string DeviceName(std::int16_t index) = 0;
    // Makes entry `index` the process's current printer, so that
    // CurrentDeviceName returns its device name from now on. In-process only:
    // the user's and the system's default printer are never changed. Throws
    // for an index outside the list, and then leaves the current printer as it
    // was.
    virtual void MakeCurrent(std::int16_t index) = 0;
};

class PrintingServices {
public:
    virtual ~PrintingServices() = default;

    // The list a search for `name` runs over: the entries of the whole list,
    // in list order, that may equal `name`; every entry that equals it
    // exactly must be among them. A search finds the same first exact match
    // here as in the whole list, at the cost of the backend's lookup rather
    // than of the list's length, and the 16-bit index of the search bounds
    // only how many entries may match. The whole list qualifies. Both
    // backends read what they serve once per run and answer every later
    // reading from it: the run lasts a moment and the core must see one
    // consistent list. Throws when the printers cannot be read.
    virtual std::unique_ptr<PrinterList> ObtainPrinterListFor(std::u16string_view name) = 0;
    // The whole list, in the platform's order. On the failure path only (to
    // suggest the name meant when none matched): on CUPS it costs one
    // request whose answer grows with the number of queues.
    virtual std::unique_ptr<PrinterList> ObtainPrinterList() = 0;
    // Device name of the current printer: at start the user's default
    // printer, later whatever MakeCurrent made current. Throws when there is
    // none. Called at start (to be put back at the end) and by the open.
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

// The seven winspool functions of the raw print job. The core calls them in
// one fixed order per run: OpenPrinterA; if that succeeds, StartDocPrinterA,
// StartPagePrinter, WritePrinter (once, with the whole payload),
// EndPagePrinter, EndDocPrinter and ClosePrinter, each whatever the previous
// one returned. A backend must accept that order after any failure and must
// leave the spooler as a Windows spooler would; it must not split, pad or
// convert the payload. A call that returns zero notes why in the run's Cause.
class Spooler {
public:
    virtual ~Spooler() = default;

    // Opens `printer_name` (narrow, a device name as PrinterList gives it,
    // matched exactly) and fills in `*handle`; non-zero on success. `defaults`
    // is null from the core; a backend may refuse anything else. Sends no
    // job. Zero when the printer does not exist or refuses to be opened; the
    // core then shows the failure message and prints nothing.
    virtual std::int32_t OpenPrinterA(const char* printer_name, PrinterHandle* handle,
                                      const void* defaults) = 0;
    // Starts the one document of the handle: level 1 only (zero for another
    // level or a null record); `pDocName` names the job, may be null;
    // `pOutputFile` must be null (zero otherwise where output to a file is not
    // supported); `pDatatype` null means the queue's default type, and a
    // backend that prints only raw data refuses any type but "RAW" (compared
    // without regard to case). Non-zero on success: winspool's job id; on
    // CUPS, where the server numbers the job only once it has it whole, a
    // number for the document that the job watch knows it by. Whether the job
    // exists from here on is StartedDocumentIsJob().
    virtual std::uint32_t StartDocPrinterA(PrinterHandle handle, std::uint32_t level,
                                           const DocInfo1A* doc_info) = 0;
    // Pages carry no meaning for raw data; non-zero while a document is open.
    virtual std::int32_t StartPagePrinter(PrinterHandle handle) = 0;
    // Passes `count` bytes to the printer unaltered; `*written` gets how many
    // went (less than `count` is a short write, which the core counts as a
    // failure). Zero `count` sends nothing and succeeds. A backend may send
    // the document's request here; whatever it sends stays incomplete until
    // EndDocPrinter.
    virtual std::int32_t WritePrinter(PrinterHandle handle, const void* bytes, std::uint32_t count,
                                      std::uint32_t* written) = 0;
    virtual std::int32_t EndPagePrinter(PrinterHandle handle) = 0;
    // Ends the document: the spooler takes it whole, or says why not (a
    // refusal is noted as such in the Cause). A document with no byte written
    // may leave no job at all.
    virtual std::int32_t EndDocPrinter(PrinterHandle handle) = 0;
    // Releases the handle; it is not used again, whatever this returns. A
    // document still open is ended the way the platform ends it (winspool
    // keeps what it has; CUPS drops an incomplete request, leaving no job).
    virtual std::int32_t ClosePrinter(PrinterHandle handle) = 0;

    // Whether a document is a job of the spooler from the moment
    // StartDocPrinterA succeeds (winspool: yes, its result is the job's id;
    // CUPS: no, the server makes the job only from a complete request).
    // Constant for a backend. The exit status rests on it: once a job may
    // exist, no later failure can be reported as "no job".
    virtual bool StartedDocumentIsJob() = 0;

    // For PLOXWEN_DATATYPE, which the core reads before anything is looked up.
    // Whether a document of `data_type` ("RAW" or "XPS_PASS") can be sent
    // at all: constant for a backend, and asks nothing of the spooler.
    virtual bool TakesDataType(std::string_view data_type) = 0;
    // The data type of raw data for the printer opened as `handle`, for
    // "auto": "XPS_PASS" where its driver takes XPS only (winspool: the
    // driver reports PRINTER_DRIVER_XPS at level 8), else "RAW", also when the
    // driver cannot be read. Called only with PLOXWEN_DATATYPE=auto, before
    // StartDocPrinterA.
    virtual std::string AutoDataType(PrinterHandle handle) = 0;
};

// "QUEUE-ID": a job as both spoolers name it to users (lpstat, the queue
// window), and as the cause lines name it.
inline std::string JobName(std::string_view printer, std::uint32_t id) {
    return std::string(printer) + "-" + std::to_string(id);
}

// --- Job watch --------------------------------------------------------------

// Where the spooler has got with one job.
enum class JobPhase {
    kWaiting,    // pending, held or processing: no verdict yet
    kCompleted,  // the device took every byte
    kStopped,    // aborted, cancelled, or stopped with its printer: it will not print as it is
    kGone,       // no longer listed: printed and forgotten, or deleted; only a job seen kept tells which
};

struct JobReport {
    JobPhase phase = JobPhase::kWaiting;
    std::string job;     // the job as the spooler names it to users: "Virtual-17"
    std::string state;   // its state in the spooler's words: "pending", "aborted", ...
    std::string reason;  // the spooler's reason in its own words; may be empty
    bool kept = false;   // the spooler shows the job kept, to stay listed once printed
};

// Following the job of a run to the spooler's verdict, when the user asked
// for it (PLOXWEN_WAIT). Nothing here is called on a run that did not ask.
class JobWatch {
public:
    virtual ~JobWatch() = default;

    // Called once, after ClosePrinter of a document that every call took and
    // before the first look, with the longest wait the core will spend. A
    // backend with a deadline for the run extends it by that much.
    virtual void BeginWatch(std::chrono::seconds wait) = 0;
    // Called only on a run that asked for the wait, right after
    // StartDocPrinterA of `handle` returned `job_id`: asks the spooler to keep
    // the job listed once it has printed, so that a look still sees it
    // printed (a spooler that forgets printed jobs gives no verdict on them
    // otherwise). Sends nothing where the spooler keeps finished jobs anyway.
    // Throws PlatformError naming why when the job cannot be kept; the wait
    // then goes on without, and its status is not changed by it.
    virtual void KeepJob(PrinterHandle handle, std::uint32_t job_id) = 0;
    // One look at the job that the run's document on `printer_name` became;
    // `job_id` is what StartDocPrinterA returned. Throws PlatformError whose
    // message is a cause line when the spooler cannot tell (server gone, job
    // unknown): the job's fate is then unknown. A job the spooler no longer
    // lists is a report of phase kGone.
    virtual JobReport LookAtJob(const char* printer_name, std::uint32_t job_id) = 0;
    // Called once when the wait is over, after the last look, whatever its
    // verdict; ends what the looks held open. `release`: the job was kept
    // and the last look saw it printed, so the spooler may forget it now. A
    // kept job without a verdict stays kept (listed after it prints).
    virtual void EndWatch(bool release) = 0;
    // A monotonic clock, and a pause of `pause`: the core's poll interval.
    virtual std::chrono::milliseconds Now() = 0;
    virtual void Pause(std::chrono::milliseconds pause) = 0;
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
    // A conversion of text to the charset `name` instead (PLOXWEN_CODEPAGE),
    // for the payload only: an iconv name on POSIX (CP437, CP858,
    // ISO-8859-15), a code page number on Windows (437, 858) or a common name
    // it maps to one (CP437, ISO-8859-15, UTF-8). Its ToNarrow replaces a
    // character the charset lacks with '?'. Throws PlatformError when the
    // platform has no such charset.
    virtual std::unique_ptr<NarrowCodePage> ForCodePage(std::string_view name) = 0;
};

// --- Windowing --------------------------------------------------------------

enum class Field { Text1, Text2 };

class Windowing {
public:
    virtual ~Windowing() = default;

    // The text fields of the start-up window. Both backends keep them in
    // memory and create the window only to show it, so the printing path
    // never touches a window system; these calls cannot fail there.
    virtual void SetFieldText(Field field, std::u16string_view text) = 0;
    virtual std::u16string FieldText(Field field) = 0;
    // Modal message with one OK button, no icon, captioned with the
    // application title; returns when dismissed. Where no window can be shown
    // it returns at once, having put the message where a caller reads it.
    // Bounded: a display that does not answer counts as none.
    virtual void ShowMessage(std::u16string_view prompt) = 0;
    // Shows the start-up window and runs it until the user closes it. Returns
    // at once where no window can be shown.
    virtual void ShowFormUntilClosed() = 0;
};

// Everything a run needs, handed to the core by the backend's entry point.
struct Platform {
    Process& process;
    Windowing& windowing;
    PrintingServices& printing;
    Spooler& spooler;
    NarrowCodePage& code_page;
    JobWatch& job_watch;
    Cause& cause;
};

}  // namespace ploxwen::platform
