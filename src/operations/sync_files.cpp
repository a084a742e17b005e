#include "operations/sync_files.h"

#include <cerrno>

#include "model/sync.h"
#include "model/to_file.h"
#include "operations/selection.h"
#include "platform/file_io.h"
#include "platform/interrupt.h"

namespace vesk {

namespace {

std::string lastErrorReason(RunContext& run) {
    const auto& items = run.diagnostics().items();
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if (it->severity == Severity::Error) return it->reason;
    }
    return {};
}

/// Why `path` cannot be read and written back by a synchronisation; "" when it can.
std::string sourceProblem(const RunContext& run, const std::string& path) {
    switch (fileKind(path)) {
        case FileKind::Missing:
            return systemReason(ENOENT);
        case FileKind::Directory:
            return systemReason(EISDIR);
        case FileKind::Other:
            return "not a regular file (a device, a pipe or a socket)";
        case FileKind::Regular:
            break;
    }
    if (fileSize(path) > run.maxSourceBytes) {
        return "larger than " + sizeText(run.maxSourceBytes) + ", the most Vesk reads";
    }
    return isReadableFile(path) ? "" : systemReason(EACCES);
}

/// Writes `result` to both files, each in its format and afresh (merging with the old content
/// would undo the synchronisation). Both are written beside their targets first and then
/// replaced together; when the second cannot take its place the first is put back. False
/// (with `out` saying what happened) on failure.
bool writeBoth(RunContext& run, const std::string (&paths)[2], const FormatInfo* (&formats)[2],
               NewAdbook& result, SyncOutcome& out) {
    std::unique_ptr<ToBase> writers[2];
    ToFile* files[2] = {nullptr, nullptr};
    for (int i = 0; i < 2; ++i) {
        writers[i] = makeWriter(run, *formats[i], paths[i]);
        files[i] = dynamic_cast<ToFile*>(writers[i].get());
    }
    const bool together = files[0] && files[1];
    for (int i = 0; i < 2; ++i) {
        out.file = paths[i];
        if (together) files[i]->stageOnly();
        SaveOutcome saved;
        saved.fileName = paths[i];
        const int errorsBefore = run.diagnostics().count(Severity::Error);
        if (!writeBook(*writers[i], result, saved)) {
            out.status = interruptRequested() ? SyncStatus::Interrupted : SyncStatus::WriteFailed;
            if (run.diagnostics().count(Severity::Error) > errorsBefore) {
                out.reason = lastErrorReason(run);
            }
            // A writer of its own (not staged) has replaced the first file already.
            if (i == 1 && !together) out.changed = paths[0];
            return false;
        }
    }
    if (!together) return true;
    int failed = -1;
    bool restored = true;
    const WriteResult r =
        commitStaged({&files[0]->staged(), &files[1]->staged()}, true, &failed, &restored);
    if (!r.ok) {
        out.status = interruptRequested() ? SyncStatus::Interrupted : SyncStatus::WriteFailed;
        out.file = paths[failed < 0 ? 0 : failed];
        out.reason = r.error;
        if (failed == 1 && !restored) out.changed = paths[0];
        return false;
    }
    files[0]->replaced();
    files[1]->replaced();
    return true;
}

}  // namespace

SyncOutcome synchronizeFiles(RunContext& run, const std::string& first, const std::string& second,
                             const Registry& registry) {
    SyncOutcome out;
    const std::string paths[2] = {first, second};
    const FormatInfo* formats[2] = {nullptr, nullptr};
    if (sameFile(first, second)) {
        // Two names of one file: there is nothing to bring into step, and two writes of it.
        out.status = SyncStatus::SameFile;
        out.file = second;
        return out;
    }
    // Everything that could stop the run is checked before either file is touched. A file is
    // written back in the format it is read in, even where its content, not its extension,
    // decided that format.
    for (int i = 0; i < 2; ++i) {
        out.file = paths[i];
        out.reason = sourceProblem(run, paths[i]);
        if (!out.reason.empty()) {
            out.status = SyncStatus::Unreadable;
            return out;
        }
        formats[i] = registry.chooseReader(paths[i], Application::None).format;
        if (!formats[i] || !formats[i]->reader || !formats[i]->writer) {
            out.status = SyncStatus::NotReadWrite;
            return out;
        }
    }
    NewAdbook root(run);
    root.addFolder("folder1");
    root.addFolder("folder2");
    root.addFolder("final");
    NewAdbook* folders[2] = {root.folderNamed("folder1"), root.folderNamed("folder2")};
    for (int i = 0; i < 2; ++i) {
        out.file = paths[i];
        const int before = run.diagnostics().count(Severity::Error);
        std::unique_ptr<IterBase> reader = makeReader(run, *formats[i], paths[i]);
        folders[i]->fromStart(*reader);
        if (run.diagnostics().count(Severity::Error) > before) {
            out.status = SyncStatus::ReadProblem;
            return out;
        }
    }
    if (interruptRequested()) {
        // What was read is only part of each book: writing it back would lose the rest.
        out.status = SyncStatus::Interrupted;
        out.file.clear();
        return out;
    }
    out.firstCount = countTree(*folders[0]).entries;
    out.secondCount = countTree(*folders[1]).entries;
    std::unique_ptr<NewAdbook> result = synchronize(*folders[0], *folders[1]);
    if (!result || countTree(*result).entries + countTree(*result).lists == 0) {
        out.status = SyncStatus::Empty;
        out.file.clear();
        return out;
    }
    if (!writeBoth(run, paths, formats, *result, out)) return out;
    out.file.clear();
    out.resultCount = countTree(*result).entries;
    return out;
}

}  // namespace vesk
