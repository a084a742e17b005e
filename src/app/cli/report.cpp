#include "app/cli/report.h"

#include <ostream>

namespace vesk::cli {

/// The summary after a conversion, on stderr: what was read, written, merged and flattened.
void reportConversion(const std::string& source, NewAdbook& book, const SaveOutcome& save,
                      std::ostream& err) {
    const TreeCounts c = countTree(book);
    err << "vesk: read " << c.entries << " contact(s)";
    if (c.folders > 0) err << " in " << c.folders << " folder(s)";
    if (c.lists > 0) err << ", " << c.lists << " list(s)";
    if (!source.empty()) err << " from " << source;
    if (c.duplicatesRemoved > 0) err << " (" << c.duplicatesRemoved << " duplicate(s) merged)";
    err << "\n";
    if (save.status != SaveStatus::Saved) return;
    err << "vesk: wrote " << save.entriesWritten << " contact(s) to " << save.fileName << "\n";
    if (save.foldersFlattened > 0) {
        err << "vesk: this format holds no folders: the contacts of " << save.foldersFlattened
            << " folder(s) were written without them\n";
    }
    if (save.mergedWithExisting) {
        err << "vesk: merged with what " << save.fileName << " already held (the previous "
            << "version is kept as " << save.fileName
            << ".bak; fields this format cannot hold were not kept)\n";
    }
    if (save.existingUnreadable) {
        err << "vesk: " << save.fileName << " existed and could not be read, so it was replaced "
            << "(the previous version is kept as " << save.fileName << ".bak)\n";
    }
}

/// Exit code and message for how a dispatch went.
int judge(const DispatchOutcome& o, const std::string& source, NewAdbook& book, std::ostream& err,
          bool failureTold) {
    if (o.save.status == SaveStatus::Saved && o.sourceAvailable) {
        reportConversion(source, book, o.save, err);
        return kExitDone;
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
