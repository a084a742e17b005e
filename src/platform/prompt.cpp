#include "platform/prompt.h"

#include <cstdio>

namespace vesk {

namespace {
Prompt* g_prompt = nullptr;
}

void Prompt::entrySheet(Entry& /*entry*/) {}

Answer safeAnswer(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::OkCancel:
            return Answer::Cancel;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::YesNoCancel:
            return Answer::Cancel;
    }
    return Answer::Cancel;
}

Answer ConsolePrompt::message(const std::string& text, const std::string& caption, Buttons buttons,
                              Icon /*icon*/) {
    if (caption.empty()) {
        std::fprintf(stderr, "vesk: %s\n", text.c_str());
    } else {
        std::fprintf(stderr, "vesk: %s: %s\n", caption.c_str(), text.c_str());
    }
    return safeAnswer(buttons);
}

Answer RecordingPrompt::message(const std::string& text, const std::string& caption,
                                Buttons buttons, Icon icon) {
    messages.push_back({text, caption, buttons, icon});
    if (answers.empty()) return safeAnswer(buttons);
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

void RecordingPrompt::entrySheet(Entry& /*entry*/) {
    ++entrySheets;
}

Prompt& prompt() {
    static ConsolePrompt console;
    return g_prompt ? *g_prompt : console;
}

Prompt* setPrompt(Prompt* p) {
    Prompt* previous = g_prompt;
    g_prompt = p;
    return previous;
}

}  // namespace vesk
