#include "app/common/file_dialogs.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace vesk {

namespace {

std::vector<FileFilter> filtersOf(const Registry& registry, bool save) {
    std::vector<DialogFilter> found;
    for (const FormatInfo* f : registry.formats()) {
        const auto& own = save ? f->saveFilters : f->openFilters;
        found.insert(found.end(), own.begin(), own.end());
    }
    std::stable_sort(found.begin(), found.end(), [](const DialogFilter& a, const DialogFilter& b) {
        return a.order < b.order;
    });
    std::vector<FileFilter> out;
    for (const DialogFilter& d : found) {
        out.push_back({std::string(d.description), std::string(d.pattern)});
    }
    out.push_back({"All files (*.*)", "*.*"});
    return out;
}

void dialogError(RunContext& run, unsigned error) {
    run.prompt().message("An Error occured in this Dialog Box.", "Vesk", Buttons::Ok, Icon::None);
    char text[32];
    std::snprintf(text, sizeof text, "\nError 0x%x", error);
    run.diagnostic(text);
}

}  // namespace

std::vector<FileFilter> saveFilters(const Registry& registry) {
    return filtersOf(registry, true);
}

std::vector<FileFilter> openFilters(const Registry& registry) {
    return filtersOf(registry, false);
}

std::string askSaveFileName(RunContext& run, const Registry& registry) {
    const std::vector<FileFilter> filters = saveFilters(registry);
    const FileDialogResult r = run.prompt().saveFileName(filters, 3);
    if (r.error != 0) {
        dialogError(run, r.error);
        return {};
    }
    if (!r.ok || r.fileName.empty()) return {};
    std::string name = r.fileName;
    if (fileExtension(name).empty() && r.filterIndex >= 1 &&
        r.filterIndex <= static_cast<int>(filters.size())) {
        std::string pattern = filters[static_cast<std::size_t>(r.filterIndex - 1)].pattern;
        pattern = pattern.substr(0, pattern.find(';'));
        // "*.*" names no extension: the typed name stays as it is.
        if (pattern.starts_with("*.") && pattern != "*.*") name += pattern.substr(1);
    }
    return name;
}

std::string askOpenFileName(RunContext& run, const Registry& registry) {
    const FileDialogResult r = run.prompt().openFileName(openFilters(registry), 1);
    if (r.error != 0) {
        dialogError(run, r.error);
        return {};
    }
    if (!r.ok || r.fileName.empty()) return {};
    std::ifstream test(r.fileName, std::ios::binary);
    if (!test) {
        run.prompt().message("File Not Found", r.fileName, Buttons::Ok, Icon::None);
        return {};
    }
    return r.fileName;
}

}  // namespace vesk
