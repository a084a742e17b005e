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

class Prompt {
  public:
    virtual ~Prompt() = default;
    /// Shows `text` under `caption` and returns the button chosen.
    virtual Answer message(const std::string& text, const std::string& caption,
                           Buttons buttons = Buttons::Ok, Icon icon = Icon::None) = 0;
    /// Shows one entry in the property sheet, modally; the user may edit it.
    virtual void entrySheet(Entry& entry);
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

    Answer message(const std::string& text, const std::string& caption, Buttons buttons,
                   Icon icon) override;
    void entrySheet(Entry& entry) override;
};

/// The answer that loses nothing when nobody can be asked.
Answer safeAnswer(Buttons buttons);

/// The process-wide prompt; a console prompt until someone sets another.
Prompt& prompt();
/// Sets the process-wide prompt (nullptr: back to the console); returns the previous one.
Prompt* setPrompt(Prompt* p);

/// Installs a prompt for one scope, as tests and front ends need.
class PromptScope {
  public:
    explicit PromptScope(Prompt& p) : m_previous(setPrompt(&p)) {}
    ~PromptScope() { setPrompt(m_previous); }
    PromptScope(const PromptScope&) = delete;
    PromptScope& operator=(const PromptScope&) = delete;

  private:
    Prompt* m_previous;
};

}  // namespace vesk
