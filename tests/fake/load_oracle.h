// What must follow when a step of the load sequence fails where a backend
// can fail. One table, read by the case-by-case unit test, the paired faults
// and the load-sequence fuzzer. Its rows are the steps of a run that prints
// "Virtual¦HELLO" while "Office" is current, in the order they come.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "fake/fake_platform.h"

namespace ploxwen::oracle {

using fake::Fails;
using fake::Fault;
using fake::Op;
using fake::Step;

enum class Current { kSaved, kNamed };                 // the printer current once the run is over
enum class Payload { kNone, kEmpty, kShort, kWhole };  // what the one write carried, if any

struct Outcome {
    int status;
    std::vector<Op> spooler_calls;
    Current current = Current::kSaved;
    Payload payload = Payload::kNone;
    bool text1 = true, text2 = true;  // the field holds its piece of the argument text
};

inline const std::vector<Op> kWholeJob = {Op::OpenPrinterA, Op::StartDocPrinterA, Op::StartPagePrinter,
                                          Op::WritePrinter, Op::EndPagePrinter,   Op::EndDocPrinter,
                                          Op::ClosePrinter};
inline std::vector<Op> WholeJobWithout(Op skipped) {
    std::vector<Op> calls = kWholeJob;
    calls.erase(std::find(calls.begin(), calls.end(), skipped));
    return calls;
}

inline const Outcome kPrinted{0, kWholeJob, Current::kSaved, Payload::kWhole};
inline const Outcome kNoMatch{1, {}};
// A call that cannot be honoured: the run ends before it reads anything more.
inline const Outcome kRefused{64, {}, Current::kSaved, Payload::kNone, false, false};
// Data that cannot be decoded or read: refused once the fields hold the argument text.
inline const Outcome kDataRefused{64, {}};
inline const Outcome kSelectionFailed{2, {}};  // nothing opened on whatever is current
inline const Outcome kOpenFailed{2, {}, Current::kNamed};
inline const Outcome kOpenRefused{2, {Op::OpenPrinterA}, Current::kNamed};
inline const Outcome kPrintedNamedStays{0, kWholeJob, Current::kNamed, Payload::kWhole};
// A call failed, but every byte went to the spooler: the job may exist.
inline Outcome JobMayExist(std::vector<Op> calls = kWholeJob) {
    return {4, std::move(calls), Current::kSaved, Payload::kWhole};
}
// A call failed before the payload was handed over: no job.
inline Outcome NoJob(Payload payload, std::vector<Op> calls = kWholeJob) {
    return {3, std::move(calls), Current::kSaved, payload};
}

struct Row {
    Step step;
    std::optional<Fails> how;  // nullopt: throwing or returning zero alike
    Outcome outcome;
};

inline const std::vector<Row> kTable = {
    {Step::kArgumentText, {}, {1, {}, Current::kSaved, Payload::kNone, false, false}},
    // Nothing to put back: the printer named stays current.
    {Step::kSavedPrinter, {}, kPrintedNamedStays},
    {Step::kSearch, {}, kSelectionFailed},
    {Step::kNameConversion, {}, kOpenFailed},  // a name the code page cannot spell exactly
    {Step::kOpen, {}, kOpenRefused},
    // Once open, every later step is attempted, down to the close.
    {Step::kRecordConversion, {}, JobMayExist(WholeJobWithout(Op::StartDocPrinterA))},
    {Step::kStartDoc, {}, JobMayExist()},
    {Step::kStartPage, {}, JobMayExist()},
    {Step::kDataField, {}, NoJob(Payload::kEmpty)},  // an empty payload written
    {Step::kPayloadConversion, {}, NoJob(Payload::kNone, WholeJobWithout(Op::WritePrinter))},
    {Step::kWrite, Fails::kWritesShort, NoJob(Payload::kShort)},
    {Step::kWrite, {}, NoJob(Payload::kNone)},
    {Step::kEndPage, {}, JobMayExist()},
    {Step::kEndDoc, {}, JobMayExist()},
    {Step::kClose, {}, JobMayExist()},
    // Putting the saved printer back, and ending, are not looked at.
    {Step::kRestore, {}, kPrintedNamedStays},
    {Step::kEnd, {}, kPrinted},
    // The program's own memory failing where no job of the run exists ends the
    // run there, and the saved printer is put back where it was changed; at
    // any other step it ends as the step's failure does.
    {Step::kArgumentText, Fails::kRunsOutOfMemory, {71, {}, Current::kSaved, Payload::kNone, false, false}},
    {Step::kSearch, Fails::kRunsOutOfMemory, {71, {}}},
    {Step::kNameConversion, Fails::kRunsOutOfMemory, {71, {}}},
    {Step::kOpen, Fails::kRunsOutOfMemory, {71, {Op::OpenPrinterA}}},
    {Step::kDataField, Fails::kRunsOutOfMemory, {71, kWholeJob, Current::kSaved, Payload::kEmpty}},
    {Step::kPayloadConversion, Fails::kRunsOutOfMemory, {71, WholeJobWithout(Op::WritePrinter)}},
    {Step::kWrite, Fails::kRunsOutOfMemory, {71, kWholeJob}},
};

inline const Outcome* After(const Fault& fault) {
    for (const bool exactly : {true, false}) {
        for (const Row& row : kTable) {
            if (row.step == fault.step &&
                (row.how ? *row.how == fault.how : !exactly && fault.how != Fails::kWritesShort)) {
                return &row.outcome;
            }
        }
    }
    return nullptr;
}

// The outcomes of the faults that took effect; a fault without a row (the
// message failing, which only follows a failure) changes nothing by itself.
inline std::vector<Outcome> Effects(const std::vector<Fault>& fired) {
    std::vector<Outcome> effects;
    for (const Fault& fault : fired) effects.push_back(After(fault) ? *After(fault) : kPrinted);
    return effects;
}

// Faults in the order they took effect: the first that leaves the printing
// path decides; after the open, their effects add up.
inline Outcome Combine(const std::vector<Outcome>& in_order) {
    Outcome sum = kPrinted;
    for (const Outcome& next : in_order) {
        if (sum.status == 1 || sum.status == 2 || sum.status == 64) break;
        if (next.payload == Payload::kShort && sum.payload == Payload::kEmpty) continue;  // nothing to cut
        Outcome both = next;
        if (next.status != 1 && next.status != 2) {
            // A failure before the payload was handed over means no job, whatever follows.
            both.status = sum.status == 3 || next.status == 3 ? 3 : std::max(sum.status, next.status);
            both.spooler_calls.clear();
            for (Op op : sum.spooler_calls) {
                if (std::count(next.spooler_calls.begin(), next.spooler_calls.end(), op))
                    both.spooler_calls.push_back(op);
            }
            both.payload = std::min(sum.payload, next.payload);
            if (sum.current == Current::kNamed) both.current = Current::kNamed;
        }
        both.text1 = sum.text1 && next.text1;
        both.text2 = sum.text2 && next.text2;
        sum = both;
    }
    return sum;
}

// Why a finished run does not match `want`; empty when it does. `named` and
// `data` are the pieces of the argument text, `saved` the printer current at start;
// `bytes` the payload when it is not the data's Latin-1 form.
inline std::string Mismatch(const fake::FakePlatform& fake, int status, const Outcome& want,
                            const std::u16string& named, const std::u16string& data,
                            const std::u16string& saved, const std::optional<std::string>& bytes = {}) {
    const std::string narrow = fake::Latin1(named), payload = bytes.value_or(fake::Latin1(data));
    const bool ended = std::none_of(fake.fired.begin(), fake.fired.end(),
                                    [](const Fault& f) { return f.step == Step::kEnd; });
    const long messages = std::count(fake.calls.begin(), fake.calls.end(), Op::ShowMessage);
    if (status != want.status) return "exit status " + std::to_string(status);
    if (fake.SpoolerCalls() != want.spooler_calls) return "other spooler calls";
    if (status == 2 && (messages != 1 || fake.ended_with || fake.messages.size() > 1))
        return "no message, or ended";
    if (!fake.messages.empty() && fake.messages[0] != app::kNotRecognizedMessage) return "another message";
    if (status != 2 &&
        (messages != 0 || fake.ended_with != (ended ? std::optional<int>(status) : std::nullopt)))
        return "a message, or not ended with the status";
    if (fake.CurrentName() != (want.current == Current::kSaved ? saved : named))
        return "another printer current";
    if (fake.text1 != (want.text1 ? named : u"") || fake.text2 != (want.text2 ? data : u"")) return "fields";
    // Every run that opened the printer attempts the close.
    const auto opened = static_cast<std::size_t>(
        std::count(want.spooler_calls.begin(), want.spooler_calls.end(), Op::ClosePrinter));
    if (fake.documents.size() != opened) return "opened " + std::to_string(fake.documents.size()) + " times";
    if (std::count(fake.calls.begin(), fake.calls.end(), Op::ClosePrinter) != long(opened))
        return "not closed once";
    if (!opened) return {};
    const fake::Document& document = fake.documents[0];
    if (document.printer != narrow) return "opened another printer";
    const std::vector<std::vector<std::string>> writes = {{}, {""}, {payload.substr(0, 2)}, {payload}};
    if (document.writes != writes[static_cast<std::size_t>(want.payload)]) return "payload differs";
    if (status == 0 &&
        (document.level != 1 || document.doc_name != "Command Print" || document.output_file ||
         document.data_type || document.pages_started != 1 || document.pages_ended != 1 || !document.ended))
        return "not one raw page named Command Print";
    return {};
}

}  // namespace ploxwen::oracle
