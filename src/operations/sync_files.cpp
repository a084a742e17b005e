#include "operations/sync_files.h"

#include "model/sync.h"
#include "operations/selection.h"
#include "platform/file_io.h"

namespace vesk {

SyncOutcome synchronizeFiles(RunContext& run, const std::string& first, const std::string& second,
                             const Registry& registry) {
    SyncOutcome out;
    const std::string paths[2] = {first, second};
    const FormatInfo* formats[2] = {nullptr, nullptr};
    // Everything that could stop the run is checked before either file is touched. A file is
    // written back in the format it is read in, even where its content, not its extension,
    // decided that format.
    for (int i = 0; i < 2; ++i) {
        out.file = paths[i];
        if (!isReadableFile(paths[i])) {
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
    out.firstCount = countTree(*folders[0]).entries;
    out.secondCount = countTree(*folders[1]).entries;
    std::unique_ptr<NewAdbook> result = synchronize(*folders[0], *folders[1]);
    if (!result || countTree(*result).entries + countTree(*result).lists == 0) {
        out.status = SyncStatus::Empty;
        out.file.clear();
        return out;
    }
    // Each file is written afresh: merging with its old content would undo the synchronisation.
    for (int i = 0; i < 2; ++i) {
        out.file = paths[i];
        std::unique_ptr<ToBase> writer = makeWriter(run, *formats[i], paths[i]);
        SaveOutcome saved;
        saved.fileName = paths[i];
        if (!writeBook(*writer, *result, saved)) {
            out.status = SyncStatus::WriteFailed;
            return out;
        }
    }
    out.file.clear();
    out.resultCount = countTree(*result).entries;
    return out;
}

}  // namespace vesk
