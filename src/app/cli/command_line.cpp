#include "app/cli/command_line.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "app/cli/arguments.h"
#include "app/cli/failures.h"
#include "app/cli/report.h"
#include "app/cli/show.h"
#include "app/cli/stream_files.h"
#include "discovery/applications.h"
#include "discovery/books.h"
#include "formats/csv_automatic_map.h"
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
#include "text/charsets.h"

namespace vesk::cli {

namespace {

constexpr const char* kUsage =
    "Usage: vesk convert [--from APP] [--to APP] [--replace] [--report FILE] SOURCE DEST\n"
    "       vesk sync FILE1 FILE2\n"
    "       vesk auto TASK\n"
    "       vesk tasks [save NAME FROM-APP FROM-FILE TO-APP TO-FILE | delete NAME]\n"
    "       vesk formats\n"
    "       vesk apps\n"
    "       vesk show [--from FORMAT] FILE\n"
    "       vesk FILE  (the same as show, without a window)\n"
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
    "         The summary names what DEST cannot hold; --report FILE writes each such value\n"
    "         as a JSON line (entry, field, value, status, reason).\n"
    "         A SOURCE of - reads standard input, a DEST of - writes standard output; the\n"
    "         format is then given with --from or --to (--from vcard, or --from=vcard).\n"
    "show     prints what Vesk reads from FILE: each contact's name and e-mail address, and\n"
    "         the folders and lists with their counts.\n"
    "sync     brings two address books into step and writes the result to both files.\n"
    "apps     lists the mail programs found here and the address books of each.\n"
    "auto     runs an automation task; tasks lists them, tasks save/delete edits them.\n"
    "--trace  (anywhere) shows the debug trace on stderr.\n"
    "--encoding CHARSET  (anywhere) the charset of a source file that names none, for the\n"
    "         bytes that are not UTF-8 (ISO-8859-2, KOI8-R, Shift_JIS ...; else Windows-1252).\n"
    "--csv-map \"Heading=Field,...\"  (anywhere) pairs a CSV file's column headings (or column\n"
    "         numbers, from 1, in a file without headings) with contact fields\n"
    "         (--csv-map \"Mail=E-Mail Address,Name=Full Name\").\n"
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

constexpr const char* kConvertUsage =
    "usage: vesk convert [--from APP] [--to APP] [--replace] [--report FILE] SOURCE DEST\n";

/// `vesk convert --help`: the usage line, the paragraph of the whole help about convert and
/// the applications.
std::string convertHelp() {
    const std::string all = usage();
    const std::size_t start = all.find("\nconvert ") + 1;
    const std::size_t end = all.find("\nsync ", start) + 1;
    const std::size_t apps = all.find("APP is an application");
    return "Usage: vesk convert [--from APP] [--to APP] [--replace] [--report FILE] SOURCE "
           "DEST\n\n" +
           all.substr(start, end - start) + all.substr(apps, all.rfind("Exit codes") - apps) +
           "\nExit codes: 0 done, 1 failed, 2 usage.\n";
}

/// A usage error: what was wrong, then how the command is used; exit code 2.
int usageError(const std::string& what, const std::string& usageLine, Streams s) {
    s.err << "vesk: " << what << "\n" << usageLine;
    return kExitUsage;
}

/// Commands that take no arguments refuse any.
bool refuseExtra(const std::vector<std::string>& a, std::size_t allowed, Streams s) {
    if (a.size() <= allowed) return false;
    s.err << "vesk: too many arguments: '" << a[allowed] << "'\nusage: vesk " << a[0] << "\n";
    return true;
}

enum class OptionValue { NotThisOption, Given, Missing };

/// The value of option `name` at a[i], given as "--name VALUE" or "--name=VALUE"; i moves
/// past what was used.
OptionValue takeValue(const std::vector<std::string>& a, std::size_t& i, const std::string& name,
                      std::string& value) {
    if (a[i].rfind(name + "=", 0) == 0) {
        value = a[i].substr(name.size() + 1);
        return value.empty() ? OptionValue::Missing : OptionValue::Given;
    }
    if (a[i] != name) return OptionValue::NotThisOption;
    // "--from --to csv": the value was left out, not named "--to".
    if (i + 1 >= a.size() || a[i + 1].rfind("--", 0) == 0) return OptionValue::Missing;
    value = a[++i];
    return OptionValue::Given;
}

/// The extension a file for `app` gets when it is only a temporary stand-in ("-").
std::string standInName(const Registry& formats, const std::string& base, const std::string& app) {
    const FormatInfo* f = formats.byId(app);
    if (f && !f->extensions.empty()) return base + "." + std::string(f->extensions.front());
    return base;
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
    /// The work ran to its end: the bar shows 100% before it clears.
    void finish() { m_bar.finish(); }
    ProgressShown(const ProgressShown&) = delete;
    ProgressShown& operator=(const ProgressShown&) = delete;

  private:
    RunContext& m_run;
    Progress* m_previous;
    ConsoleProgress m_bar;
};

/// The names the summary gives the source and destination when they are not the files read
/// and written ("-" stands in for standard input and output).
struct ShownNames {
    std::string source;
    std::string destination;
    std::string reportFile;  ///< --report: where each value left behind is written
};

int convert(const ConvertRequest& r, bool allowMerge, Streams s, const ShownNames& shown = {}) {
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
        s.err << "vesk: cannot read " << r.fromFile << ": " << unreadableReason(r.fromFile) << "\n";
        return kExitFailed;
    }
    PlainBookView view(*s.run);
    DispatchOutcome o;
    const int errorsBefore = s.run->diagnostics().count(Severity::Error);
    {
        ProgressShown progress(*s.run);
        DispatchContext context;
        context.allowMerge = allowMerge;
        context.registry = &s.formats;
        o = dispatchApplications(r.fromApp, r.fromFile, r.toApp, r.toFile, view, context);
        progress.finish();
    }
    if (!shown.destination.empty()) o.save.fileName = shown.destination;
    const std::string source = !shown.source.empty() ? shown.source
                               : r.fromFile.empty()  ? r.fromApp
                                                     : r.fromFile;
    return judge(o, source, view.currentBook(), s.err,
                 s.run->diagnostics().count(Severity::Error) > errorsBefore, shown.reportFile);
}

int runTask(const std::string& name, Streams s) {
    PlainBookView view(*s.run);
    DispatchOutcome o;
    AutomationTask task;
    const bool readOk = readAutomationTask(*s.run, name, task);
    const int errorsBefore = s.run->diagnostics().count(Severity::Error);
    {
        ProgressShown progress(*s.run);
        DispatchContext context;
        context.registry = &s.formats;
        if (!RunAutomationTask(view, name, &o, context)) return kExitFailed;
        progress.finish();
    }
    return judge(o, readOk ? (task.fromFile.empty() ? task.fromApp : task.fromFile) : name,
                 view.currentBook(), s.err,
                 s.run->diagnostics().count(Severity::Error) > errorsBefore);
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
        progress.finish();
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

/// Reads `file` (by `format` when given, else by its extension or content) and prints what
/// was read as a table; `title` names it in the heading.
int showFile(const std::string& file, const std::string& title, const FormatInfo* format,
             Streams s) {
    if (!isReadableFile(file)) {
        s.err << "vesk: cannot read " << title << ": " << unreadableReason(file) << "\n";
        return kExitFailed;
    }
    PlainBookView view(*s.run);
    int rc;
    {
        ProgressShown progress(*s.run);
        FormatChoice choice{s.formats};
        choice.format = format;
        rc = loadFile(file, view, choice);
        progress.finish();
    }
    if (rc != 0) return kExitFailed;
    printBook(view.currentBook(), title, s.out);
    return kExitDone;
}

/// `vesk show [--from FORMAT] FILE`; FILE "-" reads standard input in the format given.
int show(const std::vector<std::string>& a, Streams s) {
    static const std::string kShowUsage = "usage: vesk show [--from FORMAT] FILE\n";
    std::string from;
    std::vector<std::string> files;
    for (std::size_t i = 1; i < a.size(); ++i) {
        const OptionValue v = takeValue(a, i, "--from", from);
        if (v == OptionValue::Missing)
            return usageError("option '--from' needs a value (a format id)", kShowUsage, s);
        if (v == OptionValue::Given) continue;
        if (a[i] == "--help" || a[i] == "-h") {
            s.out << kShowUsage;
            return kExitDone;
        }
        if (a[i].size() > 1 && a[i][0] == '-') {
            return usageError("unknown option '" + a[i] + "'", kShowUsage, s);
        }
        files.push_back(a[i]);
    }
    if (files.empty()) return usageError("show needs a FILE", kShowUsage, s);
    if (files.size() > 1)
        return usageError("too many arguments: '" + files[1] + "'", kShowUsage, s);
    const FormatInfo* format = from.empty() ? nullptr : s.formats.byId(from);
    if (!from.empty() && (!format || !format->reader)) {
        return usageError("'" + from + "' is no format Vesk reads (see vesk formats)", kShowUsage,
                          s);
    }
    if (files[0] != "-") return showFile(files[0], files[0], format, s);
    if (!format) return usageError("reading standard input needs --from FORMAT", kShowUsage, s);
    StreamFiles streams;
    const std::string input =
        streams.saveInput(s.in ? *s.in : std::cin, standInName(s.formats, "input", from));
    if (input.empty()) {
        s.err << "vesk: cannot keep standard input in a temporary file\n";
        return kExitFailed;
    }
    return showFile(input, "standard input", format, s);
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
        const int rc = SaveAutomationTask(*s.run, a[2], a[3], a[4], a[5], a[6], s.formats);
        if (rc == kErrorInvalidParameter) {
            const std::string& unknown = isSourceApplication(s.formats, a[3]) ? a[5] : a[3];
            s.err << "vesk: unknown application '" << unknown
                  << "'; the task was not saved (see vesk --help)\n";
            return kExitUsage;
        }
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

/// "-" as source or destination: standard input is kept in a temporary file the source is
/// read from; the destination is written afresh to a temporary file then copied to standard
/// output.
int convertStreams(ConvertRequest r, bool allowMerge, Streams s, ShownNames shown) {
    StreamFiles streams;
    if (r.fromFile == "-") {
        r.fromFile =
            streams.saveInput(s.in ? *s.in : std::cin, standInName(s.formats, "input", r.fromApp));
        if (r.fromFile.empty()) {
            s.err << "vesk: cannot keep standard input in a temporary file\n";
            return kExitFailed;
        }
        shown.source = "standard input";
    }
    const bool toOutput = r.toFile == "-";
    if (toOutput) {
        r.toFile = streams.path(standInName(s.formats, "output", r.toApp));
        shown.destination = "standard output";
        allowMerge = false;
    }
    const std::string written = r.toFile;
    const int rc = convert(r, allowMerge, s, shown);
    if (rc == kExitDone && toOutput && !StreamFiles::copyTo(written, s.out)) {
        s.err << "vesk: could not write to standard output\n";
        return kExitFailed;
    }
    return rc;
}

int linuxConvert(const std::vector<std::string>& a, Streams s) {
    ConvertRequest r;
    r.fromApp = "Other";
    bool allowMerge = true;
    ShownNames shown;
    std::vector<std::string> files;
    for (std::size_t i = 1; i < a.size(); ++i) {
        OptionValue v = takeValue(a, i, "--from", r.fromApp);
        const char* option = "--from";
        if (v == OptionValue::NotThisOption) {
            v = takeValue(a, i, "--to", r.toApp);
            option = "--to";
        }
        if (v == OptionValue::NotThisOption) {
            v = takeValue(a, i, "--report", shown.reportFile);
            option = "--report";
        }
        if (v == OptionValue::Missing) {
            return usageError(
                std::string("option '") + option + "' needs a value" +
                    (std::string_view(option) == "--report" ? " (a file)"
                                                            : " (an application or a format id)"),
                kConvertUsage, s);
        }
        if (v == OptionValue::Given) continue;
        if (a[i] == "--help" || a[i] == "-h") {
            s.out << convertHelp();
            return kExitDone;
        }
        if (a[i] == "--replace") {
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
    if (files.size() < 2) return usageError("convert needs a SOURCE and a DEST", kConvertUsage, s);
    if (files.size() > 2) {
        return usageError("too many arguments: '" + files[2] + "'", kConvertUsage, s);
    }
    if (files[0] == "-" && r.fromApp == "Other") {
        return usageError("reading standard input needs --from FORMAT (see vesk formats)",
                          kConvertUsage, s);
    }
    if (files[1] == "-" && r.toApp.empty()) {
        return usageError("writing standard output needs --to FORMAT (see vesk formats)",
                          kConvertUsage, s);
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
    if (r.fromFile == "-" || r.toFile == "-") return convertStreams(r, allowMerge, s, shown);
    return convert(r, allowMerge, s, shown);
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

namespace {

/// The breadcrumb of a crash report: the command line runs where the window is being made.
constexpr int kCommandLinePoint = 11;

int runCommand(const std::vector<std::string>& a, const std::string& version, Streams s) {
    if (a.empty()) {
        s.err << "vesk: the window is not available in this build; the command line is.\n";
        s.out << usage();
        return kExitDone;
    }
    const std::string& first = a[0];
    if (first == "--help" || first == "-h" || first == "help") {
        if (a.size() > 1 && a[1] == "convert") return linuxConvert({"convert", "--help"}, s);
        if (refuseExtra(a, 1, s)) return kExitUsage;
        s.out << usage();
        return kExitDone;
    }
    if (first == "--version" || first == "-V") {
        if (refuseExtra(a, 1, s)) return kExitUsage;
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
    if (first == "show") return show(a, s);
    if (first == "formats" || first == "apps") {
        if (refuseExtra(a, 1, s)) return kExitUsage;
        return first == "apps" ? printApps(s) : printFormats(s.formats, s);
    }

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
            // The window would open the file; this build has none, so the book is shown as
            // `vesk show` shows it.
            if (isFile(tail)) return showFile(tail, tail, nullptr, s);
            s.err << "vesk: no such file or command: " << tail << " (see vesk --help)\n";
            return kExitUsage;
    }
    return kExitUsage;
}

enum class OptionResult { NotThisOption, Taken, Refused };

/// `--encoding` and `--csv-map`, which say how any source is read: kept in the run.
OptionResult takeReadingOption(const std::vector<std::string>& a, std::size_t& i,
                               RunContext& context, Streams s) {
    std::string value;
    OptionValue v = takeValue(a, i, "--encoding", value);
    if (v == OptionValue::Given) {
        if (!isKnownCharset(value)) {
            s.err << "vesk: unknown encoding '" << value
                  << "' (a charset name such as ISO-8859-2, KOI8-R or Shift_JIS)\n";
            return OptionResult::Refused;
        }
        context.sourceEncoding = value;
        return OptionResult::Taken;
    }
    if (v == OptionValue::Missing) {
        s.err << "vesk: option '--encoding' needs a value (a charset name)\n";
        return OptionResult::Refused;
    }
    v = takeValue(a, i, "--csv-map", value);
    if (v == OptionValue::NotThisOption) return OptionResult::NotThisOption;
    std::string error = "option '--csv-map' needs a value (\"Heading=Field,...\")";
    if (v == OptionValue::Given && setCsvCommandLineMap(context, value, error)) {
        return OptionResult::Taken;
    }
    s.err << "vesk: " << error << "\n";
    return OptionResult::Refused;
}

}  // namespace

int runIn(RunContext& context, const std::vector<std::string>& input, const std::string& version,
          Streams s) {
    s.run = &context;
    StderrTraceSink traceSink;
    std::vector<std::string> a;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == "--trace") {
            if (!context.traceSink()) context.setTraceSink(&traceSink);
            continue;
        }
        const OptionResult taken = takeReadingOption(input, i, context, s);
        if (taken == OptionResult::Refused) {
            if (context.traceSink() == &traceSink) context.setTraceSink(nullptr);
            return kExitUsage;
        }
        if (taken == OptionResult::NotThisOption) a.push_back(input[i]);
    }
    // A terminal has no message boxes: each reported problem is one line on stderr.
    std::ostream& err = s.err;
    context.setReportSink([&err](const Diagnostic& d, std::string_view caption) {
        err << reportLine(d, caption) << "\n";
    });
    // An exception that escapes a command is a fault of Vesk: the recovery text is shown
    // (nobody can answer it here, so the command is given up) and the exit code says failed.
    CrashGuard guard(context);
    guard.setBreadcrumb(kCommandLinePoint);
    int rc = kExitFailed;
    const GuardResult g = guard.run([&] { rc = runCommand(a, version, s); });
    context.setReportSink({});
    if (context.traceSink() == &traceSink) context.setTraceSink(nullptr);
    return g == GuardResult::Done ? rc : kExitFailed;
}

int main(int argc, char** argv, const char* version) {
    installFaultHandler();
    installInterruptHandler();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    Streams s{std::cout, std::cerr};
    int rc = kExitFailed;
    try {
        rc = run(args, version, s);
    } catch (const std::exception& ex) {
        // Setting up the run (the settings file, the console) failed before any guard.
        std::cerr << "vesk: " << ex.what() << "\n";
    } catch (...) {
        std::cerr << "vesk: an unknown error stopped the program\n";
    }
    std::cout.flush();
    return rc;
}

}  // namespace vesk::cli
