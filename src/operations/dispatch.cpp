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

bool runWithProcessLayer(const std::vector<std::string>& argv) {
    // The other program runs as long as its user needs it; a month is "no time limit".
    return runProcess(argv, std::chrono::hours(24 * 30)).started;
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

/// Runs the Netscape 4.x program with "-export" or "-import" on the exchange file.
bool runNetscape(RunContext& run, const DispatchContext& context, const char* option,
                 const std::string& ldif) {
    const std::string program = configuredOrStored(run, Application::Netscape4);
    if (program.empty()) {
        run.report(Severity::Error, "Netscape 4.x is not configured, so it cannot be run.", "Vesk");
        return false;
    }
    const std::vector<std::string> argv = {program, option, ldif};
    const auto& start = context.run ? context.run : runWithProcessLayer;
    return start(argv);
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
        m_out.sourceKnown = true;
        if (const ApplicationInfo* app = applicationNamed(fromApp)) {
            readFrom(*app, fromFile);
        } else if (const FormatInfo* format = m_registry.byId(fromApp)) {
            load(fromFile, FormatChoice{m_registry, Application::None, format});
        } else {
            m_out.sourceKnown = false;
        }
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
                load(joinPath(configuredOrStored(m_run, app.number),
                              std::string(app.configuredFile)),
                     FormatChoice{m_registry});
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
            case DestinationRoute::ConfiguredFile:
                save(joinPath(configuredOrStored(m_run, app.number),
                              std::string(app.configuredFile)),
                     FormatChoice{m_registry});
                break;
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
        m_out.save =
            saveWithWriter(format ? makeWriter(m_run, *format, file, app.number, folder) : nullptr,
                           shown, m_view, format);
    }

    void load(const std::string& file, const FormatChoice& choice) {
        m_out.loadResult = loadFile(file, m_view, choice);
        if (m_out.loadResult != 0) m_out.sourceAvailable = false;
    }

    void save(const std::string& file, const FormatChoice& choice) {
        m_out.save = saveToFile(file, m_view, choice, SaveOptions{m_context.allowMerge, {}});
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
        m_view.currentBook().fromStart(*reader);
        m_view.refresh();
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
        if (runNetscape(m_run, m_context, "-import", ldif)) {
            std::remove(ldif.c_str());
        } else {
            m_out.destinationKnown = false;
            m_out.save.status = SaveStatus::Failed;
        }
    }

    BookView& m_view;
    RunContext& m_run;
    const DispatchContext& m_context;
    const Registry& m_registry;
    DispatchOutcome m_out;
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

}  // namespace vesk
