// The open and save dialogs of the front ends: their type lists are built from the registry, in
// the order users know, with "All files (*.*)" last.
#pragma once

#include <string>
#include <vector>

#include "platform/run_context.h"
#include "registry/registry.h"

namespace vesk {

/// The type list of the save (open) dialog: every format's filters by their order, then
/// "All files (*.*)".
std::vector<FileFilter> saveFilters(const Registry& registry = Registry::builtIn());
std::vector<FileFilter> openFilters(const Registry& registry = Registry::builtIn());

/// The save dialog; a typed name without extension gets the chosen filter's. "" when cancelled.
std::string askSaveFileName(RunContext& run, const Registry& registry = Registry::builtIn());
/// The open dialog; the file must open for reading ("File Not Found" otherwise). "" when none.
std::string askOpenFileName(RunContext& run, const Registry& registry = Registry::builtIn());

}  // namespace vesk
