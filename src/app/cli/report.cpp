#include "app/cli/report.h"

#include <fstream>
#include <ostream>

#include "operations/conversion_report.h"
#include "platform/interrupt.h"

namespace vesk::cli {

namespace {

/// ", the old one is X.bak", or what became of the old file when no copy could be kept.
std::string oldFileText(const SaveOutcome& save) {
    if (save.backupFile.empty()) return " (no copy of the old one could be kept)";
    return ", the old one is " + save.backupFile;
}

/// The losses of the conversion beside the counts; each event to `reportFile` when given.
void reportLosses(NewAdbook& book, const SaveOutcome& save, std::ostream& err,
                  const std::string& reportFile) {
    if (!save.format) return;
    std::ofstream events;
    if (!reportFile.empty()) {
        events.open(reportFile, std::ios::binary | std::ios::trunc);
        if (!events) err << "vesk: cannot write the report " << reportFile << "\n";
    }
    ReportSink sink;
    if (events.is_open()) sink = [&events](const ReportEvent& e) { writeJsonLine(events, e); };
    const ConversionReport report = reportFor(book, *save.format, sink);
    for (const std::string& line : reportSummary(report)) err << "vesk: " << line << "\n";
    if (events.is_open() && !events.flush()) {
        err << "vesk: cannot write the report " << reportFile << "\n";
    }
}

}  // namespace

/// What became of a destination that existed: merged with, or replaced (and why).
void reportMergedOrReplaced(const SaveOutcome& save, std::ostream& err) {
    if (!save.existed) return;
    if (save.mergedWithExisting) {
        err << "vesk: merged with what " << save.fileName << " already held ("
            << save.existingEntries << " contact(s)" << oldFileText(save) << ")";
        if (save.existingProblems) err << "; reading it reported problems (see above)";
        err << "\n";
    } else if (save.existingUnreadable) {
        err << "vesk: could not read the existing file; replaced it" << oldFileText(save) << "\n";
    } else {
        err << "vesk: replaced " << save.fileName << oldFileText(save) << "\n";
    }
}

/// The summary after a conversion, on stderr: what was read, written, merged and flattened.
void reportConversion(const std::string& source, NewAdbook& book, const SaveOutcome& save,
                      std::ostream& err, const std::string& reportFile) {
    const TreeCounts c = countTree(book);
    err << "vesk: read " << c.entries << " contact(s)";
    if (c.folders > 0) err << " in " << c.folders << " folder(s)";
    if (c.lists > 0) err << ", " << c.lists << " list(s)";
    if (!source.empty()) err << " from " << source;
    if (c.duplicatesRemoved > 0) err << " (" << c.duplicatesRemoved << " duplicate(s) merged)";
    err << "\n";
    if (c.membersAdded > 0) {
        err << "vesk: " << c.membersAdded
            << " list member(s) matched no contact and were kept as contacts of their own\n";
    }
    if (save.status != SaveStatus::Saved) return;
    err << "vesk: wrote " << save.entriesWritten << " contact(s) to " << save.fileName << "\n";
    if (save.foldersFlattened > 0) {
        err << "vesk: this format holds no folders: the contacts of " << save.foldersFlattened
            << " folder(s) were written without them\n";
    }
    reportLosses(book, save, err, reportFile);
    reportMergedOrReplaced(save, err);
}

/// Exit code and message for how a dispatch went.
int judge(const DispatchOutcome& o, const std::string& source, NewAdbook& book, std::ostream& err,
          bool failureTold, const std::string& reportFile) {
    if (o.save.status == SaveStatus::Saved && o.sourceAvailable) {
        reportConversion(source, book, o.save, err, reportFile);
        return kExitDone;
    }
    if (interruptRequested()) {
        err << "vesk: interrupted; nothing was written\n";
        return kExitFailed;
    }
    if (failureTold) return kExitFailed;
    if (!o.sourceAvailable) {
        err << "vesk: nothing was converted: the source could not be read\n";
        return kExitFailed;
    }
    switch (o.save.status) {
        case SaveStatus::Saved:
            break;
        case SaveStatus::Empty:
            err << "vesk: the source holds no contacts; nothing was written\n";
            break;
        case SaveStatus::Cancelled:
            err << "vesk: no destination file was given; nothing was written\n";
            break;
        case SaveStatus::NoWriter:
            err << "vesk: no writer for " << o.save.fileName << "; nothing was written\n";
            break;
        case SaveStatus::Failed:
            err << "vesk: the conversion failed: " << o.save.fileName << " could not be written\n";
            break;
    }
    return kExitFailed;
}

}  // namespace vesk::cli
