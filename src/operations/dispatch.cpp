#include "operations/dispatch.h"

#include <chrono>
#include <cstdio>

#include "discovery/applications.h"
#include "platform/environment.h"
#include "platform/file_io.h"
#include "platform/process.h"
#include "platform/run_context.h"
#include "registry/applications.h"

namespace vesk {

namespace {

ProcessResult runWithProcessLayer(const std::vector<std::string>& argv) {
    // The other program runs as long as its user needs it; a month is "no time limit".
    return runProcess(argv, std::chrono::hours(24 * 30));
}

std::string configuredOrStored(RunContext& run, Application app) {
    const int number = toNumber(app);
    std::string path = configuredPath(run, number);
    if (path.empty()) {
        path = GetFormatPath(run, FormatName(number));
        setConfiguredPath(run, number, path);
    }
    return path;
}

/// Runs the Netscape 4.x program with "-export" or "-import" on the exchange file; true when
/// it ran and ended with exit status 0 (otherwise the user is told).
bool runNetscape(RunContext& run, const DispatchContext& context, const char* option,
                 const std::string& ldif) {
    const std::string program = configuredOrStored(run, Application::Netscape4);
    if (program.empty()) {
        run.report(Severity::Error, "Netscape 4.x is not configured, so it cannot be run.", "Vesk");
        return false;
    }
    const std::vector<std::string> argv = {program, option, ldif};
    const ProcessResult r = context.run ? context.run(argv) : runWithProcessLayer(argv);
    if (r.started && !r.timedOut && r.exitCode == 0) return true;
    const std::string why = !r.started ? "it could not be started"
                            : r.timedOut
                                ? "it did not end"
                                : "it ended with exit status " + std::to_string(r.exitCode);
    run.report(Severity::Error,
               "Netscape 4.x (" + program + " " + option + ") failed: " + why + ".", "Vesk");
    return false;
}

class Dispatch {
  public:
    Dispatch(BookView& view, const DispatchContext& context)
        : m_view(view),
          m_run(view.currentBook().run()),
          m_context(context),
          m_registry(context.registry ? *context.registry : Registry::builtIn()) {}

    DispatchOutcome run(const std::string& fromApp, const std::string& fromFile,
                        const std::string& toApp, const std::string& toFile) {
        read(fromApp, fromFile);
        // A book whose reading was cancelled is not written: it holds only part of the source.
        if (m_view.currentBook().stopRequested) {
            m_out.cancelled = true;
            return m_out;
        }
        write(toApp, toFile);
        return m_out;
    }

    DispatchOutcome read(const std::string& fromApp, const std::string& fromFile) {
        m_out.sourceKnown = true;
        m_view.currentBook().stopRequested = false;
        if (const ApplicationInfo* app = applicationNamed(fromApp)) {
            readFrom(*app, fromFile);
        } else if (const FormatInfo* format = m_registry.byId(fromApp)) {
            load(fromFile, FormatChoice{m_registry, Application::None, format});
        } else {
            m_out.sourceKnown = false;
        }
        m_out.cancelled = m_view.currentBook().stopRequested;
        return m_out;
    }

    DispatchOutcome write(const std::string& toApp, const std::string& toFile) {
        const ApplicationInfo* app = applicationNamed(toApp);
        if (app && app->number != Application::Other) {
            writeTo(*app, toFile);
        } else if (const FormatInfo* format = m_registry.byId(toApp)) {
            save(toFile, FormatChoice{m_registry, Application::None, format});
        } else {
            save(toFile, FormatChoice{m_registry});
        }
        return m_out;
    }

  private:
    void readFrom(const ApplicationInfo& app, const std::string& fromFile) {
        switch (app.source) {
            case SourceRoute::None:
                m_out.sourceKnown = false;
                break;
            case SourceRoute::File:
                load(fromFile, FormatChoice{m_registry});
                break;
            case SourceRoute::FileAsApp:
                load(fromFile, FormatChoice{m_registry, app.number});
                break;
            case SourceRoute::Store:
                importStore(app, fromFile);
                break;
            case SourceRoute::ConfiguredFile:
                load(configuredFile(app, fromFile), FormatChoice{m_registry});
                break;
            case SourceRoute::ExternalExport:
                externalExport();
                break;
            case SourceRoute::KeptFile: {
                // The wizard keeps the Opera and Simeon files; without it the file given is meant.
                const std::string& kept =
                    app.number == Application::Opera ? m_context.operaFile : m_context.simeonFile;
                load(kept.empty() ? fromFile : kept, FormatChoice{m_registry});
                break;
            }
        }
    }

    void writeTo(const ApplicationInfo& app, const std::string& toFile) {
        switch (app.destination) {
            case DestinationRoute::File:
                save(toFile, FormatChoice{m_registry});
                break;
            case DestinationRoute::FileAsApp:
                save(toFile, FormatChoice{m_registry, app.number});
                break;
            case DestinationRoute::Store:
                writeToStore(app, toFile);
                break;
            case DestinationRoute::ConfiguredFile: {
                const std::string file = configuredFile(app, toFile);
                if (file.empty()) {
                    m_out.save.status = SaveStatus::Cancelled;
                    break;
                }
                save(file, FormatChoice{m_registry});
                break;
            }
            case DestinationRoute::ExternalImport:
                externalImport();
                break;
        }
    }

    void writeToStore(const ApplicationInfo& app, const std::string& toFile) {
        const FormatInfo* format = m_registry.writerFormatOf(app.number);
        std::string file = toFile;
        std::string folder;
        // With the hotlist the wizard keeps, the destination named is the folder chosen in it.
        if (app.number == Application::Opera && !m_context.operaFile.empty()) {
            file = m_context.operaFile;
            folder = toFile;
        }
        // A store without a file of its own is named by the application.
        const bool ownFile = app.number != Application::Outlook;
        const std::string shown = ownFile ? file : std::string(app.name);
        if (ownFile && isTheSource(file)) return;
        m_out.save =
            saveWithWriter(format ? makeWriter(m_run, *format, file, app.number, folder) : nullptr,
                           shown, m_view, format);
    }

    /// The file given, else the application's file in its configured folder; "" (after a
    /// message) when there is neither.
    std::string configuredFile(const ApplicationInfo& app, const std::string& given) {
        if (!given.empty()) return given;
        const std::string folder = configuredOrStored(m_run, app.number);
        if (!folder.empty()) return joinPath(folder, std::string(app.configuredFile));
        m_run.report(Severity::Error,
                     std::string(app.name) + " is not configured and no file was given, so " +
                         "there is no \"" + std::string(app.configuredFile) + "\" to use.",
                     "Vesk");
        return {};
    }

    void load(const std::string& file, const FormatChoice& choice) {
        m_source = file;
        m_out.loadResult = loadFile(file, m_view, choice);
        if (m_out.loadResult != 0) m_out.sourceAvailable = false;
    }

    void save(const std::string& file, const FormatChoice& choice) {
        if (isTheSource(file)) return;
        m_out.save = saveToFile(file, m_view, choice, SaveOptions{m_context.allowMerge, {}});
    }

    /// True (after a message, the save marked failed) when `file` is the file the book was
    /// read from, under this name or another: writing it would replace the source by a
    /// merge with itself, or lose it.
    bool isTheSource(const std::string& file) {
        if (m_source.empty() || file.empty() || !sameFile(file, m_source)) return false;
        const std::string also = file == m_source ? "" : " (the same file as \"" + m_source + "\")";
        m_run.report(Severity::Error,
                     "\"" + file + "\" is the source file itself" + also +
                         ": Vesk does not write a book over the file it reads. Nothing was "
                         "written.",
                     "Vesk", Where{file});
        m_out.save.fileName = file;
        m_out.save.status = SaveStatus::Failed;
        return true;
    }

    void importStore(const ApplicationInfo& app, const std::string& fromFile) {
        const FormatInfo* format = m_registry.readerFormatOf(app.number);
        std::unique_ptr<IterBase> reader =
            format ? makeReader(m_run, *format, fromFile, app.number) : nullptr;
        if (!reader) {
            m_out.sourceAvailable = false;
            m_run.report(
                Severity::Error,
                FormatName(toNumber(app.number)) + " cannot be read by this build of Vesk.",
                "Vesk");
            return;
        }
        m_source = fromFile;
        m_view.currentBook().fromStart(*reader);
        m_view.refresh();
        // The reader told the user why; an empty book is no conversion of the store.
        if (reader->sourceFailed()) m_out.sourceAvailable = false;
    }

    void externalExport() {
        // A file left by an earlier run must never pass for this export.
        const std::string ldif = externalLdifPath(m_run);
        std::remove(ldif.c_str());
        if (runNetscape(m_run, m_context, "-export", ldif) && isFile(ldif)) {
            load(ldif, FormatChoice{m_registry});
        } else {
            m_out.sourceAvailable = false;
        }
        std::remove(ldif.c_str());
    }

    void externalImport() {
        const std::string ldif = externalLdifPath(m_run);
        std::remove(ldif.c_str());
        m_out.save = saveToFile(ldif, m_view, FormatChoice{m_registry}, SaveOptions{false, {}});
        if (m_out.save.status != SaveStatus::Saved) return;
        const std::string program = configuredOrStored(m_run, Application::Netscape4);
        m_run.prompt().message(program + " -import " + ldif, "", Buttons::Ok, Icon::None);
        const bool imported = runNetscape(m_run, m_context, "-import", ldif);
        // Whatever happened, the file must not pass for a later run's export.
        std::remove(ldif.c_str());
        if (!imported) {
            m_out.destinationKnown = false;
            m_out.save.status = SaveStatus::Failed;
        }
    }

    BookView& m_view;
    RunContext& m_run;
    const DispatchContext& m_context;
    const Registry& m_registry;
    DispatchOutcome m_out;
    std::string m_source;  ///< the file the book was read from, if any
};

}  // namespace

std::string externalLdifPath(const RunContext& run) {
    return run.programDirectory + "vesk.ldif";
}

DispatchOutcome dispatchApplications(const std::string& fromApp, const std::string& fromFile,
                                     const std::string& toApp, const std::string& toFile,
                                     BookView& view, const DispatchContext& context) {
    return Dispatch(view, context).run(fromApp, fromFile, toApp, toFile);
}

DispatchOutcome dispatchSource(const std::string& fromApp, const std::string& fromFile,
                               BookView& view, const DispatchContext& context) {
    return Dispatch(view, context).read(fromApp, fromFile);
}

DispatchOutcome dispatchDestination(const std::string& toApp, const std::string& toFile,
                                    BookView& view, const DispatchContext& context) {
    return Dispatch(view, context).write(toApp, toFile);
}

}  // namespace vesk
