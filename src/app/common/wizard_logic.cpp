#include "app/common/wizard_logic.h"

#include <algorithm>
#include <cstdio>

#include "discovery/applications.h"
#include "discovery/books.h"
#include "discovery/detection.h"
#include "platform/environment.h"
#include "platform/faults.h"
#include "platform/file_io.h"
#include "platform/wab_file.h"
#include "registry/registry.h"
#include "stores/palm.h"

namespace vesk {

namespace {

const char* const kLdif = "LDAP/LDIF File";
const char* const kCsv = "Comma Separated Values (CSV) File";
const char* const kAbx = "Corel Address Book 8.x (ABX) File";
const char* const kPlain = "Plain text address list";
const char* const kSimeon = "Simeon/Execmail exported file";
const char* const kPine = "Pine Address Book";
const char* const kSelectBook = "Please select Address Book";
const char* const kSelectUser = "Please select user";
const char* const kDialogError = "An Error occured in this Dialog Box.";
const char* const kComplete = "The Address Book conversion is complete.";

/// The detection pass of the application lists runs once per run.
struct WizardDetection {
    bool done = false;
};

/// The file-type entries and the format number of each one's filter.
struct FileType {
    const char* name;
    int filter;
    const char* formatId;
    bool destination;
};
const FileType kFileTypes[] = {
    {kPine, 11, "pine", false}, {kAbx, 6, "abx", false}, {kSimeon, 12, "simeon", false},
    {kLdif, 2, "ldif", true},   {kCsv, 5, "csv", true},  {kPlain, 0, "plain_text", true},
};

const FileType* fileType(const std::string& name) {
    for (const FileType& t : kFileTypes)
        if (name == t.name) return &t;
    return nullptr;
}

std::string lastFolderName(const std::string& path) {
    std::string p = path;
    while (!p.empty() && p.back() == '\\') p.pop_back();
    const std::size_t slash = p.rfind('\\');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string both(const std::string& app, const std::string& file) {
    return app + " " + file;
}

WizardMessage failure(const std::string& text) {
    return {"The Address Book conversion failed: " + text, "Conversion Failed", Icon::Stop};
}

}  // namespace

std::vector<FileFilter> wizardFilter(int number, bool /*save*/) {
    switch (number) {
        case 0:
            return {{"Text Files (*.txt)", "*.txt"}};
        case 2:
            return {{"LDAP files (*.ldif)", "*.ldif"}};
        case 3:
            return {{"Pegasus Mail Distribution Lists (*.pml)", "*.pml"}};
        case 4:
            return {{"Pegasus Mail Address Books (*.pmr)", "*.pmr"}};
        case 5:
            return {{"Comma separated values (*.csv) ", "*.csv"}};
        case 6:
            return {{"Corel Address Book 8.x (ABX) File", "*.abx"}};
        case 8:
            return {{"Eudora Files (*.txt)", "*.txt"}};
        case 9:
            return {{"Juno files (*.nv)", "*.nv"}};
        case 11:
        case 100:
            return {{"All Files (*.*)", "*.*"}};
        case 12:
            return {{"All Files", "*.*"}};
        case 13:
            return {{"Windows Address Books (*.wab)", "*.wab"}};
        case 18:
            // Outlook's data on this system is its data file.
            return {{"Outlook Data Files (*.pst; *.ost)", "*.pst;*.ost"}};
        case 19:
            return {{"Opera Hotlists (*.adr)", "*.adr"}};
        case 21:
            return {{"XML Files (*.xml)", "*.xml"}};
        default:
            return {};
    }
}

std::string dispatchName(const std::string& app, const std::string& file, bool source) {
    if (const FileType* t = fileType(app)) {
        // Pine and Simeon have routes of their own; the others are formats.
        if (app == kPine || app == kSimeon) return app;
        return t->formatId;
    }
    const ApplicationInfo* a = applicationNamed(app);
    if (!a || !source || a->source != SourceRoute::None) return app;
    // The dispatch reads only the applications with a route of their own; the books the
    // wizard found for the others are files of a known format.
    switch (a->number) {
        case Application::Mozilla:
        case Application::Netscape6:
        case Application::Thunderbird:
            return "mork";
        case Application::Juno:
            return "juno";
        case Application::PalmDesktop:
            return "palm";
        case Application::Becky:
            return "vcard";
        case Application::PegasusList:
        case Application::PegasusBook:
            return FormatNumberOf("Pegasus Mail", file) == 3 ? "pegasus_list" : "pegasus_book";
        default:
            return "Other";
    }
}

WizardMessage finishMessage(const DispatchOutcome& outcome, const std::string& fromApp,
                            const std::string& fromFile, const std::string& toApp,
                            const std::string& toFile, int entriesRead) {
    if (outcome.cancelled)
        return {"The conversion was cancelled. Nothing was written.", "Vesk", Icon::Warning};
    if (!outcome.sourceKnown) return failure("Vesk cannot read from " + fromApp + ".");
    if (!outcome.sourceAvailable || outcome.loadResult != 0)
        return failure("nothing could be read from " + both(fromApp, fromFile) + ".");
    if (entriesRead == 0 || outcome.save.status == SaveStatus::Empty)
        return {"Nothing was converted: no entries were read from " + both(fromApp, fromFile) + ".",
                "Vesk", Icon::Warning};
    if (!outcome.destinationKnown || outcome.save.status == SaveStatus::Failed)
        return failure("writing to " + both(toApp, toFile) + " did not succeed.");
    switch (outcome.save.status) {
        case SaveStatus::Saved:
            return {kComplete, "Conversion Complete", Icon::Information};
        case SaveStatus::NoWriter:
            return failure("Vesk cannot write " + both(toApp, toFile) + ".");
        default:
            return failure("no destination file was given.");
    }
}

WizardLogic::WizardLogic(RunContext& run, WizardMode mode) : m_run(run), m_mode(mode) {}

std::vector<WizardPage> WizardLogic::pagesOf(WizardMode mode) {
    const int m = static_cast<int>(mode);
    std::vector<WizardPage> pages;
    if (m % 10 == 0) pages.push_back(WizardPage::Welcome);
    if (mode != WizardMode::Export) pages.push_back(WizardPage::Source);
    pages.push_back(WizardPage::Destination);
    pages.push_back(WizardPage::Completion);
    return pages;
}

std::string WizardLogic::title(WizardPage page) {
    switch (page) {
        case WizardPage::Source:
            return "Choose a source";
        case WizardPage::Destination:
            return "Choose a destination";
        default:
            return {};
    }
}

std::string WizardLogic::subtitle(WizardPage page) {
    switch (page) {
        case WizardPage::Source:
            return "Please select the application you will be converting from";
        case WizardPage::Destination:
            return "Please select the application you will be converting to";
        default:
            return {};
    }
}

std::string WizardLogic::helpTopic(WizardPage page) {
    switch (page) {
        case WizardPage::Source:
            return "::/wizard1.html>stripped";
        case WizardPage::Destination:
            return "::/wizard2.html>stripped";
        default:
            return "::/wizard.html";
    }
}

void WizardLogic::detectOnce() {
    WizardDetection& d = m_run.state<WizardDetection>();
    if (d.done) return;
    d.done = true;
    refreshConfiguredPaths(m_run);
}

std::vector<std::string> WizardLogic::applications(WizardSide side) {
    detectOnce();
    const bool source = side == WizardSide::Source;
    std::vector<std::string> out;
    for (int n = 0; n < kFormatCount; ++n) {
        const std::string name = FormatName(n);
        // Pine is one of the fixed entries, found on request.
        if (name.empty() || n == toNumber(Application::Pine)) continue;
        if (configuredPath(m_run, n).empty()) continue;
        // Becky! and Palm Desktop are read, never written.
        if (!source &&
            (n == toNumber(Application::Becky) || n == toNumber(Application::PalmDesktop)))
            continue;
        if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
    }
    for (const FileType& t : kFileTypes)
        if (source || t.destination) out.push_back(t.name);
    return out;
}

SecondStep WizardLogic::makeStep(WizardSide side, const std::string& app) {
    const bool source = side == WizardSide::Source;
    SecondStep s;
    if (const FileType* t = fileType(app)) {
        s.browse = true;
        s.filterNumber = t->filter;
        if (app == kPine) {
            const std::string pine = detectFormat(m_run, toNumber(Application::Pine));
            if (!pine.empty()) s.choices.push_back({"PC-Pine Address Book", pine});
        }
        return s;
    }
    const int n = FormatNumberOf(app, "");
    const std::string configured = configuredPath(m_run, n);
    auto addBooks = [&](const std::vector<BookEntry>& books) {
        for (const BookEntry& b : books) s.choices.push_back({b.displayName, b.file});
    };
    switch (n) {
        case 4:
            s.prompt = kSelectBook;
            addBooks(booksOfApplication(m_run, n, configured));
            s.browse = s.browseFolder = true;
            break;
        case 8:
        case 10:
        case 17:
        case 23:
            s.prompt = kSelectBook;
            addBooks(booksOfApplication(m_run, n, configured));
            break;
        case 9:
            s.prompt = kSelectUser;
            addBooks(booksOfApplication(m_run, n, configured));
            break;
        case 16:
            s.prompt = kSelectUser;
            for (const iterators::PalmUser& u : iterators::palmUsers(configured))
                s.choices.push_back({u.name, u.addressBook});
            break;
        case 13:
            if (!wab::defaultWabFile(m_run).empty()) s.choices.push_back({"Default", "Default"});
            s.choices.push_back({"Select File", "", true});
            s.browse = true;
            s.filterNumber = 13;
            break;
        case 18:
            // Outlook is read from its data file here; it is written through its own store.
            s.browse = source;
            s.filterNumber = 18;
            s.needed = source;
            break;
        case 19:
            s.operaTree = true;
            s.operaFolders.push_back("Contacts");
            for (std::string& p : operaFolderPaths(m_run, configured))
                s.operaFolders.push_back(std::move(p));
            s.newFolder = !source;
            break;
        default:
            s.needed = false;
            break;
    }
    return s;
}

void WizardLogic::selectApplication(WizardSide side, const std::string& name) {
    SideState& st = state(side);
    st = SideState{};
    st.app = name;
    if (name.empty()) return;
    detectOnce();
    st.step = makeStep(side, name);
    if (st.step.needed) return;
    const int n = FormatNumberOf(name, "");
    const ApplicationInfo* a = applicationNamed(name);
    std::string file = configuredPath(m_run, n);
    // A program whose book is a fixed file in its folder names that file.
    if (a && !a->configuredFile.empty() && !file.empty())
        file = joinPath(file, std::string(a->configuredFile));
    if (n == toNumber(Application::Outlook)) file.clear();
    st.file = file;
    st.chosen = true;
}

void WizardLogic::choose(WizardSide side, const std::string& label, const std::string& file) {
    SideState& st = state(side);
    st.choiceLabel = label;
    st.file = file;
    st.chosen = true;
}

bool WizardLogic::chooseItem(WizardSide side, int index) {
    SideState& st = state(side);
    if (index < 0 || index >= static_cast<int>(st.step.choices.size())) return false;
    const SecondChoice c = st.step.choices[static_cast<std::size_t>(index)];
    if (!c.asksFile) {
        choose(side, c.label, c.file);
        return true;
    }
    const std::string file = askFile(side, st.step.filterNumber);
    if (file.empty()) return false;
    choose(side, file, file);
    return true;
}

std::string WizardLogic::askFile(WizardSide side, int filterNumber) {
    const bool save = side == WizardSide::Destination;
    const std::vector<FileFilter> filters = wizardFilter(filterNumber, save);
    const FileDialogResult r =
        save ? m_run.prompt().saveFileName(filters, 1) : m_run.prompt().openFileName(filters, 1);
    if (r.error != 0) {
        m_run.prompt().message(kDialogError, "Vesk", Buttons::Ok, Icon::None);
        return {};
    }
    if (!r.ok || r.fileName.empty()) return {};
    std::string name = r.fileName;
    // A typed name without extension gets the whole extension of the filter.
    if (save && fileExtension(name).empty() && !filters.empty()) {
        std::string pattern = filters.front().pattern;
        pattern = pattern.substr(0, pattern.find(';'));
        if (pattern.starts_with("*.") && pattern != "*.*") name += pattern.substr(1);
    }
    return name;
}

bool WizardLogic::browse(WizardSide side) {
    SideState& st = state(side);
    if (!st.step.browse) return false;
    if (st.step.browseFolder) {
        const std::string folder = chooseFolder ? chooseFolder("Please select a folder") : "";
        if (folder.empty()) return false;
        st.step.choices.clear();
        for (int n : {4, 3})
            for (const BookEntry& b : ListAddressBooks(n, folder))
                st.step.choices.push_back({b.displayName, b.file});
        st.chosen = false;
        st.choiceLabel.clear();
        return true;
    }
    const std::string file = askFile(side, st.step.filterNumber);
    if (file.empty()) return false;
    choose(side, file, file);
    return true;
}

void WizardLogic::chooseOperaFolder(WizardSide side, const std::string& path) {
    SideState& st = state(side);
    st.operaFolder = path;
    if (!st.newFolder.empty()) return;
    choose(side, lastFolderName(path), path);
}

void WizardLogic::setNewFolderName(const std::string& name) {
    SideState& st = m_dest;
    st.newFolder = name;
    if (name.empty()) {
        st.chosen = false;
        if (!st.operaFolder.empty()) chooseOperaFolder(WizardSide::Destination, st.operaFolder);
        return;
    }
    // The new folder is made inside the folder picked in the tree, at the end of the hotlist
    // when none is.
    std::string parent = st.operaFolder.empty() || st.operaFolder == "Contacts"
                             ? std::string("Contacts\\")
                             : st.operaFolder;
    choose(WizardSide::Destination, name, parent + name + "\\");
}

void WizardLogic::preset(WizardSide side, const std::string& app, const std::string& file) {
    SideState& st = state(side);
    st = SideState{};
    st.app = app;
    st.step.needed = false;
    st.file = file;
    st.choiceLabel = file;
    st.chosen = true;
    commit(side);
}

std::string WizardLogic::selectionText(WizardSide side) const {
    const SideState& st = state(side);
    if (st.app.empty()) return "No application is selected";
    std::string text = "Current Selection: \n" + st.app;
    if (!st.chosen || st.choiceLabel.empty()) return text;
    if (st.step.operaTree) {
        if (!st.newFolder.empty()) return text + "\nNew folder: " + st.newFolder;
        return text + "\nThe " + st.choiceLabel + " Folder";
    }
    return text + "\n" + st.choiceLabel;
}

bool WizardLogic::selectionComplete(WizardSide side) const {
    const SideState& st = state(side);
    return !st.app.empty() && st.chosen;
}

int WizardLogic::buttons(WizardPage page) const {
    const std::vector<WizardPage> all = pages();
    const bool first = !all.empty() && all.front() == page;
    const int back = first ? 0 : kWizardBack;
    switch (page) {
        case WizardPage::Welcome:
            return kWizardNext;
        case WizardPage::Source:
            return back | (selectionComplete(WizardSide::Source) ? kWizardNext : 0);
        case WizardPage::Destination:
            return back | (selectionComplete(WizardSide::Destination) ? kWizardNext : 0);
        case WizardPage::Completion:
            if (m_mode == WizardMode::Task) return back | (m_eventName.empty() ? 0 : kWizardFinish);
            return back | kWizardFinish;
    }
    return 0;
}

void WizardLogic::commit(WizardSide side) {
    const SideState& st = state(side);
    const bool opera = st.step.operaTree;
    if (opera) m_operaFile = configuredPath(m_run, toNumber(Application::Opera));
    if (side == WizardSide::Source) {
        m_fromApp = st.app;
        m_fromFile = st.file;
    } else {
        m_toApp = st.app;
        m_toFile = st.file;
    }
}

DispatchContext WizardLogic::dispatchContext() const {
    DispatchContext c;
    c.operaFile = m_operaFile;
    if (m_fromApp == kSimeon) c.simeonFile = m_fromFile;
    return c;
}

DispatchOutcome WizardLogic::loadSource(BookView& view) {
    const DispatchOutcome out = dispatchSource(dispatchName(m_fromApp, m_fromFile, true),
                                               m_fromFile, view, dispatchContext());
    view.refresh();
    return out;
}

DispatchOutcome WizardLogic::writeDestination(BookView& view) {
    return dispatchDestination(dispatchName(m_toApp, m_toFile, false), m_toFile, view,
                               dispatchContext());
}

WizardMessage WizardLogic::nextMessage(const DispatchOutcome& outcome, bool source) const {
    if (source) {
        if (outcome.cancelled)
            return {"Reading was cancelled; what was read so far stays in the book.", "Vesk",
                    Icon::Warning};
        if (outcome.sourceKnown && outcome.sourceAvailable && outcome.loadResult == 0) return {};
        if (m_fromApp == "Outlook Express")
            return {"An Error has occured while reading the Windows AddressBook", "Vesk",
                    Icon::Stop};
        return {"Vesk could not read from " + both(m_fromApp, m_fromFile) + ".", "Vesk",
                Icon::Stop};
    }
    switch (outcome.save.status) {
        case SaveStatus::Saved:
            return {};
        case SaveStatus::Empty:
            return {"The address book is empty: nothing was written.", "Vesk", Icon::Warning};
        default:
            return {"Vesk could not write to " + both(m_toApp, m_toFile) + ".", "Vesk", Icon::Stop};
    }
}

std::string WizardLogic::completionText() const {
    return "Converting from " + both(m_fromApp, m_fromFile) + " to " + both(m_toApp, m_toFile) +
           "\nTo modify your choices click the \"Back\" Button.\nTo update your address book "
           "now, press the \"Finish\" button.";
}

WizardMessage WizardLogic::convert(
    const std::function<void(const std::function<void()>&)>& withProgress) {
    PlainBookView view(m_run);
    DispatchOutcome outcome;
    withProgress([&] {
        outcome = dispatchApplications(dispatchName(m_fromApp, m_fromFile, true), m_fromFile,
                                       dispatchName(m_toApp, m_toFile, false), m_toFile, view,
                                       dispatchContext());
    });
    NewAdbook& book = view.currentBook();
    const TreeCounts counts = countTree(book);
    // Cancel while writing stops the loop over the book, which marks it.
    if (book.stopRequested && !outcome.cancelled) {
        return {"The conversion was cancelled while writing; " + both(m_toApp, m_toFile) +
                    " may hold only part of the address book.",
                "Vesk", Icon::Warning};
    }
    return finishMessage(outcome, m_fromApp, m_fromFile, m_toApp, m_toFile,
                         counts.entries + counts.lists);
}

WizardMessage WizardLogic::saveTask() {
    // A task runs without the wizard: it names Opera's hotlist itself, not a folder in it.
    const bool operaFrom = m_fromApp == "Opera" && !m_operaFile.empty();
    const bool operaTo = m_toApp == "Opera" && !m_operaFile.empty();
    const std::string fromFile = operaFrom ? m_operaFile : m_fromFile;
    const std::string toFile = operaTo ? m_operaFile : m_toFile;
    const int r = SaveAutomationTask(m_run, m_eventName, dispatchName(m_fromApp, fromFile, true),
                                     fromFile, dispatchName(m_toApp, toFile, false), toFile);
    if (r == 0) return {};
    if (r == kErrorInvalidParameter)
        return {"The task was not saved: Vesk cannot convert from " + m_fromApp + " to " + m_toApp +
                    ".",
                "Vesk", Icon::Stop};
    return {"The task was not saved (error " + std::to_string(r) + ").", "Vesk", Icon::Stop};
}

bool wizardSourceGuard(RunContext& run, int point, const std::function<void()>& work) {
    std::string what;
    try {
        work();
        return true;
    } catch (const std::exception& ex) {
        what = ex.what();
    } catch (...) {
        what = "Unknown exception";
    }
    const Answer a = run.prompt().message(
        recoveryText(what), "Wizard dialog 1 Error level(2.1), point " + std::to_string(point),
        Buttons::YesNo, Icon::Stop);
    return a == Answer::Yes;
}

}  // namespace vesk
