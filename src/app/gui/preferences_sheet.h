// The "Preferences" sheet: the Program Preferences, Automation and "CSV Options" pages. Each
// page binds widgets to its logic in app/common; the first two store every change at once, the
// CSV page stores on OK. There is no Apply button.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/common/automation_prefs.h"
#include "app/common/csv_options.h"
#include "app/common/program_prefs.h"
#include "formats/csv_automatic_map.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace vesk::gui {

enum PreferencesPage : int { kProgramPage = 0, kAutomationPage = 1, kCsvPage = 2 };

/// What the pages are given: the CSV page's field names, the column headings of the file the
/// reader is opening (and that map), the wizard for tasks and the progress for Run Now.
struct PreferencesParameter {
    std::vector<std::string> fieldNames;
    std::vector<std::string> headings;
    CsvSettings* csvMap = nullptr;  ///< nullptr: the run's map, opened from the preferences
    bool fromReader = false;
    TaskWizard wizard;
    std::function<void(const std::function<void()>& job)> withProgress;
};

class ProgramPrefsPage : public QWidget {
  public:
    ProgramPrefsPage(RunContext& run, QWidget* parent);
    ProgramPrefs& logic() { return m_logic; }
    /// Re-initialises the page from the stored settings.
    void reload();

    QListWidget* hiddenList;  ///< 1012 "The following will not appear"
    QListWidget* shownList;   ///< 1003 "The following will appear"
    QPushButton* toShown;     ///< 1056 "-->"
    QPushButton* toHidden;    ///< 1070 "<--"
    QPushButton* redetect;    ///< 1052 "Re-&Detect"
    QLineEdit* information;   ///< 1006 "Program Information"
    QPushButton* browse;      ///< 1001
    QPushButton* save;        ///< 1071

  private:
    void shownSelected();
    std::string selected(QListWidget* list) const;
    ProgramPrefs m_logic;
};

class AutomationPage : public QWidget {
  public:
    AutomationPage(RunContext& run, const PreferencesParameter& param, QWidget* parent);
    AutomationPrefs& logic() { return m_logic; }
    void reload();

    QListWidget* tasks;    ///< 1012 "Defined Tasks"
    QPushButton* add;      ///< 1056
    QPushButton* modify;   ///< 1057
    QPushButton* remove;   ///< 1052
    QPushButton* runNow;   ///< 1060
    QCheckBox* atStartUp;  ///< 1058, disabled
    QLineEdit* name;       ///< 1000 "Name:"
    QLabel* description;   ///< 1004

  private:
    void taskSelected();
    std::string selected() const;
    AutomationPrefs m_logic;
};

class CsvOptionsWidget : public QWidget {
  public:
    CsvOptionsWidget(RunContext& run, const PreferencesParameter& param, QWidget* parent);
    CsvOptionsPage& logic() { return m_logic; }
    /// OK: stores what the page shows as its choice says.
    bool apply();
    void reload();
    void selectRow(int row);

    QListWidget* rows;      ///< 1012 "Text Field"
    QComboBox* field;       ///< 1061 "Address Book Field"
    QComboBox* text;        ///< 1000, editable; offers the file's headings
    QPushButton* add;       ///< 1056
    QPushButton* change;    ///< 1057
    QPushButton* remove;    ///< 1052
    QButtonGroup* modes;    ///< 1062 header string (0), 1063 absolute position (1)
    QButtonGroup* choices;  ///< 1067, 1068, 1069 by CsvChoice

  private:
    void rowSelected();
    void fieldChosen(int index);
    void updateButtons();
    int selectedRow() const;
    RunContext& m_run;
    CsvOptionsPage m_logic;
};

class PreferencesSheet : public QDialog {
  public:
    /// With `allPages` the three pages, `page` current; otherwise only page `page`.
    PreferencesSheet(RunContext& run, QWidget* owner, int page, const PreferencesParameter& param,
                     bool allPages);
    QTabWidget* tabs() const { return m_tabs; }
    ProgramPrefsPage* programPage() const { return m_program; }
    AutomationPage* automationPage() const { return m_automation; }
    CsvOptionsWidget* csvPage() const { return m_csv; }

    /// OK: what the pages edited is written (the dialog's own OK button calls it too).
    void accept() override;

  private:
    void help();
    RunContext& m_run;
    QTabWidget* m_tabs;
    ProgramPrefsPage* m_program = nullptr;
    AutomationPage* m_automation = nullptr;
    CsvOptionsWidget* m_csv = nullptr;
};

/// Shows the sheet modally; the dialog's result (1 OK, 0 Cancel).
int ShowPreferences(RunContext& run, QWidget* owner, int page, const PreferencesParameter& param,
                    bool allPages);

/// The reader's request for the "CSV Options" page, answered on the window's thread.
class SheetCsvOptions : public CsvOptionsRequest {
  public:
    SheetCsvOptions(RunContext& run, QWidget* owner) : m_run(run), m_owner(owner) {}
    bool editFieldMap(CsvSettings& map, const std::vector<std::string>& headings,
                      const std::string& fileName) override;

  private:
    RunContext& m_run;
    QWidget* m_owner;
};

}  // namespace vesk::gui
