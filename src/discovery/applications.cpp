#include "discovery/applications.h"

#include <array>
#include <cctype>

#include "platform/prompt.h"
#include "platform/settings.h"
#include "platform/trace.h"

namespace vesk {

namespace {

/// The slots DetectAllFormats fills, in the order SaveAllFormats writes them.
constexpr int kSavedOrder[] = {15, 8, 9, 14, 10, 18, 1, 2, 17, 19, 16, 4, 13, 23, 21};

std::array<std::string, kFormatCount>& slots() {
    static std::array<std::string, kFormatCount> s;
    return s;
}

std::function<void()>& detector() {
    static std::function<void()> d;
    return d;
}

bool startsLikeAPath(const std::string& v) {
    if (v.empty()) return false;
    const auto c = static_cast<unsigned char>(v[0]);
    return std::isalnum(c) != 0 || v[0] == '/' || v.starts_with("\\\\");
}

}  // namespace

std::string configuredPath(int number) {
    if (!hasPathSlot(number)) return {};
    return slots()[static_cast<std::size_t>(number)];
}

void setConfiguredPath(int number, std::string path) {
    if (hasPathSlot(number)) slots()[static_cast<std::size_t>(number)] = std::move(path);
}

std::function<void()> setFormatDetector(std::function<void()> d) {
    std::function<void()> previous = std::move(detector());
    detector() = std::move(d);
    return previous;
}

void DetectAllFormats() {
    debugTrace(0, "Detecting all formats", "Debug");
    if (detector()) detector()();
}

void SetFormatPath(const std::string& displayName, const std::string& path) {
    if (WriteRegistryValue(RootKey::CurrentUser, kFormatsKey, displayName, path,
                           ValueType::String) != kErrorSuccess) {
        prompt().message("Error writing data!", "Vesk", Buttons::Ok, Icon::None);
    }
}

void SaveAllFormats() {
    debugTrace(0, "Saving all formats to the registry", "Debug");
    for (int n : kSavedOrder) SetFormatPath(FormatName(n), configuredPath(n));
}

std::string GetFormatPath(const std::string& displayName) {
    debugTrace(0, "Checking whether this format is configured", "Debug");
    std::string value;
    int rc = ReadRegistryValue(RootKey::CurrentUser, kFormatsKey, displayName, value);
    if (rc == kErrorInvalidData) {
        DetectAllFormats();
        SaveAllFormats();
        debugTrace(0, "Checking again whether this format is configured", "Debug");
        rc = ReadRegistryValue(RootKey::CurrentUser, kFormatsKey, displayName, value);
        if (rc == kErrorInvalidData) {
            prompt().message("Error reading data!", "Vesk", Buttons::Ok, Icon::None);
            return {};
        }
    }
    if (rc == kErrorFileNotFound) return {};
    if (rc != kErrorSuccess) {
        prompt().message("The settings could not be read (error " + std::to_string(rc) + ").",
                         "Vesk", Buttons::Ok, Icon::None);
        return {};
    }
    return startsLikeAPath(value) ? value : std::string();
}

void refreshConfiguredPaths() {
    for (int n = 0; n < kFormatCount; ++n) {
        if (!hasPathSlot(n)) continue;
        const std::string name = FormatName(n);
        if (name.empty()) continue;
        std::string path = GetFormatPath(name);
        if (!path.empty()) setConfiguredPath(n, std::move(path));
    }
}

}  // namespace vesk
