// Message boxes and the entry property sheet, as the core asks for them. The window,
// the console and the tests each answer them their own way.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace vesk {

class Entry;

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Icon { None, Information, Warning, Stop, Question };
enum class Answer { Ok, Cancel, Yes, No };

/// One entry of a file dialog's type list: "Text files (*.txt)" and "*.txt" (";" between
/// several patterns).
struct FileFilter {
    std::string description;
    std::string pattern;
};

/// What a file dialog gave: a name, the filter chosen (1-based), or an error code.
struct FileDialogResult {
    bool ok = false;
    std::string fileName;
    int filterIndex = 0;
    unsigned error = 0;
};

class Prompt {
  public:
    virtual ~Prompt() = default;
    /// Shows `text` under `caption` and returns the button chosen.
    virtual Answer message(const std::string& text, const std::string& caption,
                           Buttons buttons = Buttons::Ok, Icon icon = Icon::None) = 0;
    /// Shows one entry in the property sheet, modally; the user may edit it.
    virtual void entrySheet(Entry& entry);
    /// The open and save dialogs with their filter lists; without a window, cancelled.
    virtual FileDialogResult openFileName(const std::vector<FileFilter>& filters,
                                          int defaultFilter);
    virtual FileDialogResult saveFileName(const std::vector<FileFilter>& filters,
                                          int defaultFilter);
};

/// Without a window: messages go to stderr, and every question gets the answer that loses
/// nothing (No, Cancel).
class ConsolePrompt : public Prompt {
  public:
    Answer message(const std::string& text, const std::string& caption, Buttons buttons,
                   Icon icon) override;
};

/// For tests: keeps every message and answers from a queue (then the safe default).
class RecordingPrompt : public Prompt {
  public:
    struct Message {
        std::string text;
        std::string caption;
        Buttons buttons;
        Icon icon;
    };
    std::vector<Message> messages;
    std::deque<Answer> answers;
    int entrySheets = 0;
    /// Answers of the file dialogs, in turn (then cancelled), and "open"/"save" per dialog.
    std::deque<FileDialogResult> fileAnswers;
    std::vector<std::string> dialogs;

    Answer message(const std::string& text, const std::string& caption, Buttons buttons,
                   Icon icon) override;
    void entrySheet(Entry& entry) override;
    FileDialogResult openFileName(const std::vector<FileFilter>& filters,
                                  int defaultFilter) override;
    FileDialogResult saveFileName(const std::vector<FileFilter>& filters,
                                  int defaultFilter) override;
};

/// The answer that loses nothing when nobody can be asked.
Answer safeAnswer(Buttons buttons);

}  // namespace vesk
