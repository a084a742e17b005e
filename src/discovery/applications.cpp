#include "discovery/applications.h"

#include <array>
#include <cctype>

#include "discovery/detection.h"
#include "platform/run_context.h"

namespace vesk {

namespace {

/// The slots DetectAllFormats fills, in the order SaveAllFormats writes them.
constexpr int kSavedOrder[] = {15, 8, 9, 14, 10, 18, 1, 2, 17, 19, 16, 4, 13, 23, 21};
/// The order DetectAllFormats runs the detectors in.
constexpr int kDetectOrder[] = {17, 2, 1, 10, 13, 18, 9, 8, 14, 15, 16, 4, 19, 23, 21};

/// What a run keeps of the applications: the location configured for each, and the detection.
struct Locations {
    std::array<std::string, kFormatCount> slots;
    std::function<void()> detector;
};

std::array<std::string, kFormatCount>& slots(RunContext& run) {
    return run.state<Locations>().slots;
}

bool startsLikeAPath(const std::string& v) {
    if (v.empty()) return false;
    const auto c = static_cast<unsigned char>(v[0]);
    return std::isalnum(c) != 0 || v[0] == '/' || v.starts_with("\\\\");
}

}  // namespace

std::string configuredPath(RunContext& run, int number) {
    if (!hasPathSlot(number)) return {};
    return slots(run)[static_cast<std::size_t>(number)];
}

void setConfiguredPath(RunContext& run, int number, std::string path) {
    if (hasPathSlot(number)) slots(run)[static_cast<std::size_t>(number)] = std::move(path);
}

std::function<void()> setFormatDetector(RunContext& run, std::function<void()> d) {
    std::function<void()>& detector = run.state<Locations>().detector;
    std::function<void()> previous = std::move(detector);
    detector = std::move(d);
    return previous;
}

void DetectAllFormats(RunContext& run) {
    run.trace(0, "Detecting all formats", "Debug");
    run.trace(0, "Polling Formats", "Debug");
    if (auto& detector = run.state<Locations>().detector) {
        detector();
        return;
    }
    for (int n : kDetectOrder) setConfiguredPath(run, n, detectFormat(run, n, true));
}

void SetFormatPath(RunContext& run, const std::string& displayName, const std::string& path) {
    if (WriteRegistryValue(run.settings(), RootKey::CurrentUser, kFormatsKey, displayName, path,
                           ValueType::String) != kErrorSuccess) {
        run.report(Severity::Error, "Error writing data!", "Vesk");
    }
}

void SaveAllFormats(RunContext& run) {
    run.trace(0, "Saving all formats to the registry", "Debug");
    // The key itself says detection has run, even when it found nothing.
    if (run.settings().createKey(RootKey::CurrentUser, kFormatsKey) != kErrorSuccess) {
        run.report(Severity::Error, "Error writing data!", "Vesk");
        return;
    }
    // Only what was found is stored: an empty value would read as "configured, not
    // installed" and keep detection from ever running again.
    for (int n : kSavedOrder) {
        const std::string path = configuredPath(run, n);
        if (!path.empty()) {
            SetFormatPath(run, FormatName(n), path);
        } else {
            run.settings().deleteValue(RootKey::CurrentUser, kFormatsKey, FormatName(n));
        }
    }
}

namespace {

/// True when "Software\Vesk\Formats" holds a path, or an empty value: detection stores only
/// what it found, so an empty value is the user's choice to hide an application, which a
/// new detection must not undo.
bool formatsKeyConfigured(RunContext& run) {
    for (int n : kSavedOrder) {
        std::string value;
        if (ReadRegistryValue(run.settings(), RootKey::CurrentUser, kFormatsKey, FormatName(n),
                              value) == kErrorSuccess &&
            (value.empty() || startsLikeAPath(value))) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string GetFormatPath(RunContext& run, const std::string& displayName) {
    run.trace(0, "Checking whether this format is configured", "Debug");
    std::string value;
    int rc =
        ReadRegistryValue(run.settings(), RootKey::CurrentUser, kFormatsKey, displayName, value);
    if (rc == kErrorInvalidData || (rc == kErrorFileNotFound && !formatsKeyConfigured(run))) {
        DetectAllFormats(run);
        SaveAllFormats(run);
        run.trace(0, "Checking again whether this format is configured", "Debug");
        rc = ReadRegistryValue(run.settings(), RootKey::CurrentUser, kFormatsKey, displayName,
                               value);
        if (rc == kErrorInvalidData &&
            !run.settings().keyExists(RootKey::CurrentUser, kFormatsKey)) {
            run.report(Severity::Error, "Error reading data!", "Vesk");
            return {};
        }
    }
    if (rc == kErrorFileNotFound) return {};
    if (rc != kErrorSuccess) {
        run.report(Severity::Error,
                   "The settings could not be read (error " + std::to_string(rc) + ").", "Vesk");
        return {};
    }
    return startsLikeAPath(value) ? value : std::string();
}

void refreshConfiguredPaths(RunContext& run) {
    for (int n = 0; n < kFormatCount; ++n) {
        if (!hasPathSlot(n)) continue;
        const std::string name = FormatName(n);
        if (name.empty()) continue;
        std::string path = GetFormatPath(run, name);
        if (!path.empty()) setConfiguredPath(run, n, std::move(path));
    }
}

}  // namespace vesk
