// The window's prompt and progress: Qt message boxes and file dialogs, and the "Please Wait"
// dialog. A conversion runs on a worker thread, so every question it asks is carried over to the
// window's thread and waited for there.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>

#include "platform/progress.h"
#include "platform/prompt.h"
#include "platform/run_context.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace vesk::gui {

class QtPrompt : public Prompt {
  public:
    /// `owner` owns the dialogs; nullptr before the window exists.
    explicit QtPrompt(QWidget* owner = nullptr) : m_owner(owner) {}
    void setOwner(QWidget* owner) { m_owner = owner; }

    Answer message(const std::string& text, const std::string& caption, Buttons buttons,
                   Icon icon) override;
    FileDialogResult openFileName(const std::vector<FileFilter>& filters,
                                  int defaultFilter) override;
    FileDialogResult saveFileName(const std::vector<FileFilter>& filters,
                                  int defaultFilter) override;

  private:
    FileDialogResult fileDialog(bool save, const std::vector<FileFilter>& filters,
                                int defaultFilter);
    QWidget* m_owner;
};

/// The modeless "Please Wait" dialog: "Processing Item %d", "%d%% Complete" and Cancel.
class ProgressDialog : public QDialog {
  public:
    explicit ProgressDialog(QWidget* owner);
    void showItem(int n);
    void showPercent(int p);
    bool cancelled() const { return m_cancelled; }
    QString itemText() const;
    QString percentText() const;
    /// The Cancel button: stops the conversion between two entries.
    void cancel() { m_cancelled = true; }

  protected:
    void reject() override { cancel(); }

  private:
    QLabel* m_item;
    QLabel* m_percent;
    QProgressBar* m_bar;
    std::atomic<bool> m_cancelled{false};
};

/// The progress the conversion on the worker thread reports to: it posts to the dialog and
/// reads its Cancel without waiting.
class DialogProgress : public Progress {
  public:
    explicit DialogProgress(ProgressDialog& dialog) : m_dialog(dialog) {}
    void itemCount(int n) override;
    void percent(int p) override;
    bool pump() override { return m_dialog.cancelled(); }

  private:
    ProgressDialog& m_dialog;
};

/// Runs a conversion on a worker thread while the "Please Wait" dialog over `owner` shows its
/// progress; the dialog's Cancel stops it between entries. `shown` points at the dialog while it
/// is up. An exception of the job is thrown again here.
void runWithProgressDialog(QWidget* owner, RunContext& run, const std::function<void()>& job,
                           ProgressDialog** shown = nullptr);

}  // namespace vesk::gui
