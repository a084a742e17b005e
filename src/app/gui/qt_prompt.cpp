#include "app/gui/qt_prompt.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QThread>
#include <QVBoxLayout>
#include <exception>
#include <thread>

namespace vesk::gui {

namespace {

/// Runs `work` on the window's thread and waits for it (a worker's question).
template <class F>
void onWindowThread(F&& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(app, std::forward<F>(work), Qt::BlockingQueuedConnection);
}

QMessageBox::Icon boxIcon(Icon icon) {
    switch (icon) {
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Stop:
            return QMessageBox::Critical;
        case Icon::Question:
            return QMessageBox::Question;
        case Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return QMessageBox::Ok;
        case Buttons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case Buttons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case Buttons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

Answer answerOf(int button) {
    switch (button) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        default:
            return Answer::Ok;
    }
}

/// "vCard Files (*.vcf)" as Qt reads it: the patterns in parentheses, blank-separated.
QString qtFilter(const FileFilter& f) {
    QString text = QString::fromStdString(f.description);
    QString patterns = QString::fromStdString(f.pattern);
    patterns.replace(';', ' ');
    if (!text.contains('(')) text += " (" + patterns + ")";
    return text;
}

}  // namespace

Answer QtPrompt::message(const std::string& text, const std::string& caption, Buttons buttons,
                         Icon icon) {
    Answer answer = safeAnswer(buttons);
    onWindowThread([&] {
        QMessageBox box(boxIcon(icon), QString::fromStdString(caption),
                        QString::fromStdString(text), boxButtons(buttons), m_owner);
        answer = answerOf(box.exec());
    });
    return answer;
}

FileDialogResult QtPrompt::openFileName(const std::vector<FileFilter>& filters, int defaultFilter) {
    return fileDialog(false, filters, defaultFilter);
}

FileDialogResult QtPrompt::saveFileName(const std::vector<FileFilter>& filters, int defaultFilter) {
    return fileDialog(true, filters, defaultFilter);
}

FileDialogResult QtPrompt::fileDialog(bool save, const std::vector<FileFilter>& filters,
                                      int defaultFilter) {
    FileDialogResult result;
    onWindowThread([&] {
        QStringList list;
        for (const FileFilter& f : filters) list << qtFilter(f);
        QString selected = defaultFilter >= 1 && defaultFilter <= list.size()
                               ? list[defaultFilter - 1]
                               : QString();
        const QString name = save ? QFileDialog::getSaveFileName(m_owner, QString(), QString(),
                                                                 list.join(";;"), &selected)
                                  : QFileDialog::getOpenFileName(m_owner, QString(), QString(),
                                                                 list.join(";;"), &selected);
        if (name.isEmpty()) return;
        result.ok = true;
        result.fileName = name.toStdString();
        result.filterIndex = static_cast<int>(list.indexOf(selected)) + 1;
    });
    return result;
}

ProgressDialog::ProgressDialog(QWidget* owner) : QDialog(owner) {
    setWindowTitle("Please Wait");
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    m_item = new QLabel(QString::fromStdString(vesk::itemText(0)), this);
    m_percent = new QLabel(this);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);  // the label under it says "%d%% Complete"
    auto* cancelButton = new QPushButton("Cancel", this);
    layout->addWidget(m_item);
    layout->addWidget(m_bar);
    layout->addWidget(m_percent);
    layout->addWidget(cancelButton, 0, Qt::AlignRight);
    connect(cancelButton, &QPushButton::clicked, this, [this] { cancel(); });
}

void ProgressDialog::showItem(int n) {
    m_item->setText(QString::fromStdString(vesk::itemText(n)));
}

void ProgressDialog::showPercent(int p) {
    if (p < 0) return;
    m_percent->setText(QString::fromStdString(vesk::percentText(p)));
    m_bar->setValue(std::min(p, 100));
}

QString ProgressDialog::itemText() const {
    return m_item->text();
}

QString ProgressDialog::percentText() const {
    return m_percent->text();
}

void DialogProgress::itemCount(int n) {
    QMetaObject::invokeMethod(
        &m_dialog, [d = &m_dialog, n] { d->showItem(n); }, Qt::QueuedConnection);
}

void DialogProgress::percent(int p) {
    QMetaObject::invokeMethod(
        &m_dialog, [d = &m_dialog, p] { d->showPercent(p); }, Qt::QueuedConnection);
}

void runWithProgressDialog(QWidget* owner, RunContext& run, const std::function<void()>& job,
                           ProgressDialog** shown) {
    ProgressDialog dialog(owner);
    DialogProgress progress(dialog);
    Progress* before = run.progress();
    run.setProgress(&progress);
    if (shown) *shown = &dialog;
    std::exception_ptr failure;
    QEventLoop loop;
    // The conversion touches only its book and the run; the window waits in its own loop,
    // answering the questions the conversion asks and the dialog's Cancel.
    std::thread worker([&] {
        try {
            job();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    dialog.show();
    loop.exec();
    worker.join();
    if (shown) *shown = nullptr;
    run.setProgress(before);
    if (failure) std::rethrow_exception(failure);
}

}  // namespace vesk::gui
