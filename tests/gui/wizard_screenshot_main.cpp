// Takes the pictures of the wizard's pages for the help pages: a home folder with a Thunderbird
// profile holding the .mab given and an Opera hotlist with folders is made in a temporary
// folder, and each page is grabbed into OUTDIR/wizard-<page>.png. Run by tools/screenshot.sh.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/gui/wizard.h"
#include "discovery/detection.h"
#include "platform/run_context.h"

namespace {

namespace fs = std::filesystem;

void write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

bool grab(QWizard& wizard, const std::string& folder, const std::string& page) {
    QApplication::processEvents();
    const std::string file = folder + "/wizard-" + page + ".png";
    if (wizard.grab().save(QString::fromStdString(file), "PNG")) return true;
    std::fprintf(stderr, "vesk_wizard_screenshot: cannot write %s\n", file.c_str());
    return false;
}

void pick(QWizard& wizard, const char* list, const QString& text) {
    auto* widget = wizard.currentPage()->findChild<QListWidget*>(list);
    const auto found = widget->findItems(text, Qt::MatchExactly);
    if (found.isEmpty()) return;
    widget->setCurrentItem(found.front());
    if (std::string(list) == "choices") Q_EMIT widget->itemClicked(found.front());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: vesk_wizard_screenshot OUTDIR BOOK.mab\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir home;
    const fs::path h = home.path().toStdString();
    write(h / ".thunderbird/profiles.ini", "[General]\n[Profile0]\nName=default\nPath=x.default\n");
    fs::create_directories(h / ".thunderbird/x.default");
    fs::copy_file(argv[2], h / ".thunderbird/x.default/abook.mab");
    write(h / ".opera/contacts.adr",
          "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n#FOLDER\n\tNAME="
          "Friends\n\n#FOLDER\n\tNAME=Climbing\n\n-\n\n-\n\n#FOLDER\n\tNAME=Work\n\n-\n\n");
    vesk::RecordingRun run;
    vesk::detectionEnvironment(run).set("HOME", h.string());

    using vesk::WizardMode;
    vesk::gui::ConversionWizard wizard(WizardMode::Full, nullptr, run, nullptr);
    wizard.resize(620, 440);
    wizard.show();
    const std::string out = argv[1];
    bool ok = grab(wizard, out, "welcome");
    wizard.next();
    pick(wizard, "applications", "Thunderbird");
    pick(wizard, "choices", "default: Personal Address Book");
    ok = grab(wizard, out, "source") && ok;
    wizard.next();
    pick(wizard, "applications", "Opera");
    auto* tree = wizard.currentPage()->findChild<QTreeWidget*>("folders");
    const auto friends = tree->findItems("Friends", Qt::MatchExactly | Qt::MatchRecursive);
    if (!friends.isEmpty()) {
        tree->setCurrentItem(friends.front());
        Q_EMIT tree->itemClicked(friends.front(), 0);
    }
    ok = grab(wizard, out, "destination") && ok;
    wizard.next();
    ok = grab(wizard, out, "completion") && ok;
    wizard.hide();

    vesk::gui::ConversionWizard task(WizardMode::Task, nullptr, run, nullptr);
    task.resize(620, 440);
    task.show();
    task.next();
    pick(task, "applications", "Thunderbird");
    pick(task, "choices", "default: Personal Address Book");
    task.next();
    pick(task, "applications", "LDAP/LDIF File");
    task.logic().preset(vesk::WizardSide::Destination, "LDAP/LDIF File",
                        (h / "backup.ldif").string());
    task.next();
    task.currentPage()->findChild<QLineEdit*>("eventName")->setText("Nightly backup");
    ok = grab(task, out, "task") && ok;
    for (const auto& m : run.prompts.messages) std::fprintf(stderr, "%s\n", m.text.c_str());
    return ok ? 0 : 1;
}
