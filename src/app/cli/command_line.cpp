#include "app/cli/command_line.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "app/cli/arguments.h"
#include "app/cli/report.h"
#include "discovery/applications.h"
#include "discovery/books.h"
#include "operations/automation.h"
#include "operations/dispatch.h"
#include "operations/sync_files.h"
#include "platform/environment.h"
#include "platform/faults.h"
#include "platform/file_io.h"
#include "platform/interrupt.h"
#include "platform/run_context.h"
#include "registry/applications.h"
#include "registry/registry.h"

namespace vesk::cli {

namespace {

constexpr const char* kUsage =
    "Usage: vesk convert [--from APP] [--to APP] [--replace] SOURCE DEST\n"
    "       vesk sync FILE1 FILE2\n"
    "       vesk auto TASK\n"
    "       vesk tasks [save NAME FROM-APP FROM-FILE TO-APP TO-FILE | delete NAME]\n"
    "       vesk formats\n"
    "       vesk apps\n"
    "       vesk FILE\n"
    "       vesk --help | --version\n"
    "The switches of the Windows program work too:\n"
    "       vesk /convert /from /app APP /file FILE /to /app APP /file FILE /EOS\n"
    "       vesk /sync \"FILE1\" \"FILE2\"\n"
    "       vesk /auto TASK\n"
    "       vesk /help  (or /?)\n"
    "\n"
    "convert  reads SOURCE and writes DEST, each by its extension (see vesk formats), or by\n"
    "         the application given with --from/--to. An existing DEST is merged with what\n"
    "         it holds, except an archive (.kynt) or Forte Agent XML file, which is replaced;\n"
    "         --replace replaces any DEST. The old file stays as DEST.bak.\n"
    "sync     brings two address books into step and writes the result to both files.\n"
    "apps     lists the mail programs found here and the address books of each.\n"
    "auto     runs an automation task; tasks lists them, tasks save/delete edits them.\n"
    "--trace  (anywhere) shows the debug trace on stderr.\n"
    "APP is an application below or a format id of vesk formats (--from vcard).\n"
    "\n"
    "Exit codes: 0 done, 1 failed, 2 usage.\n";

/// The usage text with the applications a conversion can read from, as the table has them.
std::string usage() {
    std::string apps = "Applications:";
    std::size_t width = apps.size();
    for (const ApplicationInfo& a : applications()) {
        if (a.source == SourceRoute::None) continue;
        std::string item = " " + std::string(a.name);
        if (!a.alias.empty()) item += " (" + std::string(a.alias) + ")";
        item += ",";
        if (width + item.size() > 92) {
            apps += "\n ";
            width = 1;
        }
        apps += item;
        width += item.size();
    }
    apps.back() = '.';
    return std::string(kUsage).insert(std::string(kUsage).rfind("Exit codes"), apps + "\n");
}

bool isSourceApplication(const Registry& formats, const std::string& name) {
    const ApplicationInfo* app = applicationNamed(name);
    return (app && app->source != SourceRoute::None) || formats.byId(name) != nullptr;
}

/// Every name the destination side understands: every application of the list (those without
/// a route of their own are written by the destination file's extension) and every format id.
bool isDestinationApplication(const Registry& formats, const std::string& name) {
    if (name.empty() || applicationNamed(name) || formats.byId(name)) return true;
    return name == "LDAP/LDIF File";
}

/// The source file a source application needs given with it.
SourceFile sourceFileOf(const Registry& formats, const std::string& app) {
    if (formats.byId(app) && !applicationNamed(app)) return SourceFile::Required;
    const ApplicationInfo* info = applicationNamed(app);
    return info ? info->sourceFile : SourceFile::None;
}

/// Shows a progress bar on stderr (when it is a terminal) while it lives.
class ProgressShown {
  public:
    explicit ProgressShown(RunContext& run) : m_run(run), m_previous(run.progress()) {
        run.setProgress(&m_bar);
    }
    ~ProgressShown() { m_run.setProgress(m_previous); }
    ProgressShown(const ProgressShown&) = delete;
    ProgressShown& operator=(const ProgressShown&) = delete;

  private:
    RunContext& m_run;
    Progress* m_previous;
    ConsoleProgress m_bar;
};

int convert(const ConvertRequest& r, bool allowMerge, Streams s) {
    if (!isSourceApplication(s.formats, r.fromApp)) {
        s.err << "vesk: unknown source application '" << r.fromApp << "'\n";
        return kExitFailed;
    }
    const SourceFile use = sourceFileOf(s.formats, r.fromApp);
    if (use == SourceFile::Required && r.fromFile.empty()) {
        s.err << "vesk: no source file was given\n";
        return kExitFailed;
    }
    if (!r.fromFile.empty() && use != SourceFile::None && !isReadableFile(r.fromFile)) {
        s.err << "vesk: cannot read " << r.fromFile << "\n";
        return kExitFailed;
    }
    PlainBookView view(*s.run);
    DispatchOutcome o;
    {
        ProgressShown progress(*s.run);
        DispatchContext context;
        context.allowMerge = allowMerge;
        context.registry = &s.formats;
        o = dispatchApplications(r.fromApp, r.fromFile, r.toApp, r.toFile, view, context);
    }
    return judge(o, r.fromFile.empty() ? r.fromApp : r.fromFile, view.currentBook(), s.err);
}

int runTask(const std::string& name, Streams s) {
    PlainBookView view(*s.run);
    DispatchOutcome o;
    AutomationTask task;
    const bool readOk = readAutomationTask(*s.run, name, task);
    {
        ProgressShown progress(*s.run);
        DispatchContext context;
        context.registry = &s.formats;
        if (!RunAutomationTask(view, name, &o, context)) return kExitFailed;
    }
    return judge(o, readOk ? (task.fromFile.empty() ? task.fromApp : task.fromFile) : name,
                 view.currentBook(), s.err);
}

int sync(const std::vector<std::string>& paths, Streams s) {
    if (paths.size() < 2 || paths[0].empty() || paths[1].empty()) {
        s.err << "vesk: sync needs two address-book files\n";
        return kExitUsage;
    }
    SyncOutcome o;
    {
        ProgressShown progress(*s.run);
        o = synchronizeFiles(*s.run, paths[0], paths[1], s.formats);
    }
    switch (o.status) {
        case SyncStatus::Done:
            s.err << "vesk: synchronised " << paths[0] << " (" << o.firstCount
                  << " contact(s)) and " << paths[1] << " (" << o.secondCount
                  << " contact(s)): both now hold " << o.resultCount << " contact(s)\n";
            return kExitDone;
        case SyncStatus::NotReadWrite:
            s.err << "vesk: cannot synchronise " << o.file
                  << ": Vesk cannot both read and write this type of file\n";
            return kExitFailed;
        case SyncStatus::Unreadable:
            s.err << "vesk: cannot read " << o.file;
            if (!o.reason.empty()) s.err << ": " << o.reason;
            s.err << "\n";
            return kExitFailed;
        case SyncStatus::SameFile:
            s.err << "vesk: " << paths[0] << " and " << paths[1]
                  << " are the same file; there is nothing to synchronise\n";
            return kExitFailed;
        case SyncStatus::Interrupted:
            s.err << "vesk: interrupted; neither file was changed\n";
            return kExitFailed;
        case SyncStatus::ReadProblem:
            s.err << "vesk: reading " << o.file
                  << " reported a problem; stopped before writing either file\n";
            return kExitFailed;
        case SyncStatus::Empty:
            s.err << "vesk: the synchronised address book is empty; neither file was changed\n";
            return kExitFailed;
        case SyncStatus::WriteFailed: {
            s.err << "vesk: could not write " << o.file;
            if (!o.reason.empty()) s.err << ": " << o.reason;
            const std::string& other = o.changed == paths[0] ? paths[1] : paths[0];
            if (o.changed.empty()) {
                s.err << "; neither file was changed\n";
            } else {
                s.err << "; " << o.changed << " was changed and could not be put back (its "
                      << "previous version is " << o.changed << ".bak), " << other
                      << " was not changed\n";
            }
            return kExitFailed;
        }
    }
    return kExitFailed;
}

int loadOne(const std::string& file, Streams s) {
    PlainBookView view(*s.run);
    int rc;
    {
        ProgressShown progress(*s.run);
        rc = loadFile(file, view, FormatChoice{s.formats});
    }
    if (rc != 0) return kExitFailed;
    s.out << view.status << "\n";
    return kExitDone;
}

/// One line a format: its id, what Vesk does with it, its extensions or applications, its name.
/// `vesk apps`: each application detection found, with its path and its address books.
int printApps(Streams s) {
    const auto found = installedApplications(*s.run);
    if (found.empty()) s.out << "No mail program found.\n";
    for (const InstalledApplication& app : found) {
        s.out << app.name << ": " << app.path << "\n";
        for (const BookEntry& b : app.books)
            s.out << "  " << b.displayName << "\t" << b.file << "\n";
    }
    return kExitDone;
}

int printFormats(const Registry& formats, Streams s) {
    for (const FormatInfo* f : formats.formats()) {
        std::string can;
        if (f->reads) can += f->reader ? "read" : "(read)";
        if (f->writes)
            can += std::string(can.empty() ? "" : "/") +
                   (f->writer && f->writesHere ? "write" : "(write)");
        std::string selects;
        for (std::string_view ext : f->extensions) {
            selects += std::string(selects.empty() ? "" : " ") + "." + std::string(ext);
        }
        for (Application a : f->applications) {
            selects +=
                std::string(selects.empty() ? "" : " ") + "[" + FormatName(toNumber(a)) + "]";
        }
        char line[160];
        std::snprintf(line, sizeof line, "  %-16s %-13s %-24s ", std::string(f->id).c_str(),
                      can.c_str(), selects.c_str());
        s.out << line << f->displayName << "\n";
    }
    s.out << "(read) and (write): known, not in this build yet. Files of no known extension are\n"
             "recognised by their content.\n";
    return kExitDone;
}

int tasks(const std::vector<std::string>& a, Streams s) {
    if (a.size() == 1) {
        // Listing never creates the settings file.
        if (!s.run->settings().keyExists(RootKey::CurrentUser, kAutomationKey)) {
            s.err << "vesk: no automation tasks are stored\n";
            return kExitDone;
        }
        std::string name;
        int rc = EnumAutomationTask(*s.run, 0, name);
        int listed = 0;
        while (rc == kErrorSuccess) {
            AutomationTask task;
            s.out << name << "\t"
                  << (readAutomationTask(*s.run, name, task) ? describeTask(task)
                                                             : std::string("(invalid task)"))
                  << "\n";
            ++listed;
            rc = EnumAutomationTask(*s.run, 1, name);
        }
        EnumAutomationTask(*s.run, -1, name);
        if (rc != kErrorNoMoreItems) {
            s.err << "vesk: the tasks could not be read (error " << rc << ")\n";
            return kExitFailed;
        }
        if (listed == 0) s.err << "vesk: no automation tasks are stored\n";
        return kExitDone;
    }
    if (a[1] == "save" && a.size() == 7) {
        const int rc = SaveAutomationTask(*s.run, a[2], a[3], a[4], a[5], a[6]);
        if (rc != kErrorSuccess) {
            s.err << "vesk: the task could not be saved (error " << rc << ")\n";
            return kExitFailed;
        }
        return kExitDone;
    }
    if (a[1] == "delete" && a.size() == 3) {
        AutomationTask task;
        if (!readAutomationTask(*s.run, a[2], task)) {
            s.err << "vesk: no automation task named '" << a[2] << "'\n";
            return kExitFailed;
        }
        DeleteAutomationTask(*s.run, a[2]);
        return kExitDone;
    }
    s.err
        << "vesk: usage: vesk tasks [save NAME FROM-APP FROM-FILE TO-APP TO-FILE | delete NAME]\n";
    return kExitUsage;
}

int linuxConvert(const std::vector<std::string>& a, Streams s) {
    ConvertRequest r;
    r.fromApp = "Other";
    bool allowMerge = true;
    std::vector<std::string> files;
    for (std::size_t i = 1; i < a.size(); ++i) {
        if ((a[i] == "--from" || a[i] == "--to") && i + 1 < a.size()) {
            (a[i] == "--from" ? r.fromApp : r.toApp) = a[i + 1];
            ++i;
        } else if (a[i] == "--replace") {
            allowMerge = false;
        } else if (a[i] == "--") {
            files.insert(files.end(), a.begin() + static_cast<std::ptrdiff_t>(i) + 1, a.end());
            break;
        } else if (a[i].size() > 1 && a[i][0] == '-' && a[i] != "-") {
            s.err << "vesk: unknown option '" << a[i] << "'\n";
            return kExitUsage;
        } else {
            files.push_back(a[i]);
        }
    }
    if (files.size() != 2) {
        s.err << "vesk: usage: vesk convert [--from APP] [--to APP] [--replace] SOURCE DEST\n";
        return kExitUsage;
    }
    if (!isSourceApplication(s.formats, r.fromApp)) {
        s.err << "vesk: unknown source application '" << r.fromApp << "' (see vesk --help)\n";
        return kExitUsage;
    }
    if (!isDestinationApplication(s.formats, r.toApp)) {
        s.err << "vesk: unknown destination application '" << r.toApp << "' (see vesk --help)\n";
        return kExitUsage;
    }
    r.fromFile = files[0];
    r.toFile = files[1];
    return convert(r, allowMerge, s);
}

}  // namespace

int listFormats(const Registry& registry, Streams streams) {
    return printFormats(registry, streams);
}

int run(const std::vector<std::string>& input, const std::string& version, Streams s) {
    // The program's own composition: the console's prompt, the user's settings file, the trace
    // on stderr when asked for.
    const bool trace = traceRequestedByEnvironment() ||
                       std::find(input.begin(), input.end(), "--trace") != input.end();
    StderrTraceSink traceSink;
    ConsolePrompt prompt;
    FileSettingsStore settings(defaultSettingsFile(), defaultWinePrefix(),
                               trace ? &traceSink : nullptr);
    RunContext context(prompt, settings);
    if (trace) context.setTraceSink(&traceSink);
    context.programDirectory = programDirectory();
    // One command writes the settings file once, at its end.
    settings.holdWrites();
    int rc = runIn(context, input, version, s);
    // Ctrl-C or SIGTERM that stopped the work: the shell's code for it (130 for Ctrl-C).
    if (interruptRequested() && rc != kExitDone) rc = 128 + interruptSignal();
    settings.flush();
    return rc;
}

int runIn(RunContext& context, const std::vector<std::string>& input, const std::string& version,
          Streams s) {
    s.run = &context;
    StderrTraceSink traceSink;
    std::vector<std::string> a;
    for (const std::string& arg : input) {
        if (arg == "--trace") {
            if (!context.traceSink()) context.setTraceSink(&traceSink);
        } else {
            a.push_back(arg);
        }
    }
    if (a.empty()) {
        s.err << "vesk: the window is not available in this build; the command line is.\n";
        s.out << usage();
        return kExitDone;
    }
    const std::string& first = a[0];
    if (first == "--help" || first == "-h" || first == "help") {
        s.out << usage();
        return kExitDone;
    }
    if (first == "--version" || first == "-V") {
        s.out << "vesk " << version << "\n";
        return kExitDone;
    }
    if (first == "convert") return linuxConvert(a, s);
    if (first == "sync") {
        if (a.size() != 3) {
            s.err << "vesk: usage: vesk sync FILE1 FILE2\n";
            return kExitUsage;
        }
        return sync({a[1], a[2]}, s);
    }
    if (first == "auto") {
        if (a.size() < 2) {
            s.err << "vesk: usage: vesk auto TASK\n";
            return kExitUsage;
        }
        return runTask(joinArgs(a, 1), s);
    }
    if (first == "tasks") return tasks(a, s);
    if (first == "formats") return printFormats(s.formats, s);
    if (first == "apps") return printApps(s);

    const std::string tail = joinArgs(a);
    // On Linux a path starts with "/" too: an existing file such as /helpers/book.vcf is a file,
    // not the switch "/help".
    Switch sw = matchSwitch(tail);
    if (sw != Switch::File && first.find('/', 1) != std::string::npos && isFile(tail)) {
        sw = Switch::File;
    }
    std::vector<std::string> rest(a.begin() + 1, a.end());
    // The whole Windows command line may arrive as one argument ("/convert /from ..."): what
    // follows the switch in that argument belongs to the rest.
    if (const std::size_t blank = first.find_first_of(" \t"); blank != std::string::npos) {
        rest.insert(rest.begin(), first.substr(blank + 1));
    }
    switch (sw) {
        case Switch::None:
            s.out << usage();
            return kExitDone;
        case Switch::Wizard:
        case Switch::Prefs:
            s.err << "vesk: " << first
                  << " needs the Vesk window, which is not available in this build\n";
            return kExitFailed;
        case Switch::Help:
            s.out << usage();
            return kExitDone;
        case Switch::Auto:
            return runTask(tail.size() > 6 ? tail.substr(6) : std::string(), s);
        case Switch::Convert:
            return convert(parseConvert(rest), true, s);
        case Switch::Sync:
            return sync(parseSyncPaths(rest), s);
        case Switch::File:
            if (isFile(tail)) return loadOne(tail, s);
            s.err << "vesk: no such file or command: " << tail << " (see vesk --help)\n";
            return kExitUsage;
    }
    return kExitUsage;
}

int main(int argc, char** argv, const char* version) {
    installFaultHandler();
    installInterruptHandler();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    Streams s{std::cout, std::cerr};
    const int rc = run(args, version, s);
    std::cout.flush();
    return rc;
}

}  // namespace vesk::cli
