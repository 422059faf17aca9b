// The operations PloxWen needs of the platform it runs on, as a few small
// interfaces. The portable core (app/, printers/, rawprint/, steps/) talks to
// nothing else; each backend folder beside this file implements them for one
// platform (posix/ on CUPS, win32/ on winspool), and tests/fake/ for the unit
// tests.
//
// Rules every operation follows unless its own comment says otherwise:
// - Failure is reported by throwing PlatformError (any other exception is
//   treated alike). The core runs each call inside one step of its load
//   sequence, which absorbs the failure and goes on with the next step; a
//   backend never ends the process or shows anything on a failure itself.
// - The spooler functions keep the Windows convention instead: a zero result
//   is failure, and they throw only when the function cannot be reached at
//   all (library or entry point missing).
// - Everything runs on the one thread that runs the load sequence, and in the
//   order the core calls it; no operation is called again after EndProgram.
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

namespace ploxwen::platform {

class PlatformError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
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

    // The whole list, in the platform's order. A backend may read it once per
    // run and serve every later reading from that snapshot (both do: the run
    // lasts a moment and the core must see one consistent list).
    virtual std::unique_ptr<PrinterList> ObtainPrinterList() = 0;
    // The list a search for `name` runs over: the entries of the whole list,
    // in list order, that may equal `name`; every entry that equals it
    // exactly must be among them. A search finds the same first exact match
    // here as in the whole list, at the cost of the backend's lookup rather
    // than of the list's length, and the 16-bit index of the search bounds
    // only how many entries may match. The whole list trivially qualifies,
    // which is the default.
    virtual std::unique_ptr<PrinterList> ObtainPrinterListFor(std::u16string_view /*name*/) {
        return ObtainPrinterList();
    }
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
// convert the payload.
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
    // without regard to case). Returns the job id, zero on failure. Whether
    // the job exists from here on is StartedDocumentIsJob().
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
    // Ends the document: the spooler takes it whole, or says why not. A
    // document with no byte written may leave no job at all.
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
    // Whether the most recent spooler call that returned zero was a definite
    // refusal: the spooler answered that it will not take the document and
    // holds no job of it (CUPS: an IPP error answer to the job's request).
    // False when the effect of the failure is unknown: a lost or late answer,
    // a short write, a call that could not be made.
    virtual bool LastFailureWasRefusal() = 0;
    // Why the run's first failure with the spooler or the printer list
    // happened, in plain words for the cause line ("answer lost", "queue not
    // accepting jobs", "server not answering at ADDRESS"); empty when nothing
    // failed that the backend can explain.
    virtual std::string FailureCause() = 0;
};

// --- Job watch --------------------------------------------------------------

// Where the spooler has got with one job.
enum class JobPhase {
    kWaiting,    // pending, held or processing: no verdict yet
    kCompleted,  // the device took every byte
    kStopped,    // aborted, cancelled, or stopped with its printer: it will not print as it is
};

struct JobReport {
    JobPhase phase = JobPhase::kWaiting;
    std::string job;     // the job as the spooler names it to users: "Virtual-17"
    std::string state;   // its state in the spooler's words: "pending", "aborted", ...
    std::string reason;  // the spooler's reason in its own words; may be empty
};

// Following the job of a run to the spooler's verdict, when the user asked
// for it. Nothing here is called on a run that did not ask, apart from
// RequestedWait, which must cost nothing.
class JobWatch {
public:
    virtual ~JobWatch() = default;

    // The wait the user asked for (the environment's PLOXWEN_WAIT), as
    // given; nullopt when unset or empty. Read once, before anything else of
    // the run; the core validates it.
    virtual std::optional<std::string> RequestedWait() = 0;
    // Called once, after ClosePrinter of a document that every call took and
    // before the first look, with the longest wait the core will spend. A
    // backend with a deadline for the run extends it by that much.
    virtual void BeginWatch(std::chrono::seconds wait) = 0;
    // One look at the job that the run's document on `printer_name` became;
    // `job_id` is what StartDocPrinterA returned. Throws PlatformError whose
    // message is a cause line when the spooler cannot tell (server gone, job
    // unknown, or gone without a verdict): the job's fate is then unknown.
    virtual JobReport LookAtJob(const char* printer_name, std::uint32_t job_id) = 0;
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
};

// --- Windowing --------------------------------------------------------------

enum class Field { Text1, Text2 };

class Windowing {
public:
    virtual ~Windowing() = default;

    // The command line's argument text: everything after the program's name,
    // as one string. Called once, first.
    virtual std::u16string ArgumentText() = 0;
    // The text fields of the start-up window, which exists (hidden) from
    // start; a backend may keep them in memory until the window is shown.
    virtual void SetFieldText(Field field, std::u16string_view text) = 0;
    virtual std::u16string FieldText(Field field) = 0;
    // Modal message with one OK button, no icon, captioned with the
    // application title; returns when dismissed. Where no window can be shown
    // it returns at once, having put the message where a caller reads it.
    // Bounded: a display that does not answer counts as none.
    virtual void ShowMessage(std::u16string_view prompt) = 0;
    // Writes one line naming the cause of a failure where the caller can read
    // it ("ploxwen: CAUSE" on stderr on POSIX); may do nothing where there is
    // no such place. Called at most once, just before the run ends.
    virtual void SayCause(std::string_view cause) = 0;
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
    JobWatch& job_watch;
};

}  // namespace ploxwen::platform
