#include "platform/prompt.h"

#include <cstdio>

namespace vesk {

void Prompt::entrySheet(Entry& /*entry*/) {}

FileDialogResult Prompt::openFileName(const std::vector<FileFilter>& /*filters*/,
                                      int /*defaultFilter*/) {
    return {};
}

FileDialogResult Prompt::saveFileName(const std::vector<FileFilter>& /*filters*/,
                                      int /*defaultFilter*/) {
    return {};
}

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
    // "vesk: Vesk: ..." would name the program twice.
    if (caption.empty() || caption == "Vesk") {
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

namespace {

FileDialogResult nextFileAnswer(std::deque<FileDialogResult>& answers) {
    if (answers.empty()) return {};
    FileDialogResult r = answers.front();
    answers.pop_front();
    return r;
}

}  // namespace

FileDialogResult RecordingPrompt::openFileName(const std::vector<FileFilter>& /*filters*/,
                                               int /*defaultFilter*/) {
    dialogs.emplace_back("open");
    return nextFileAnswer(fileAnswers);
}

FileDialogResult RecordingPrompt::saveFileName(const std::vector<FileFilter>& /*filters*/,
                                               int /*defaultFilter*/) {
    dialogs.emplace_back("save");
    return nextFileAnswer(fileAnswers);
}

}  // namespace vesk
