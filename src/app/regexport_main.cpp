// regExport: prints the profiles of the Mozilla family's registry files and profiles.ini files
// named on its command line (by default the Linux homes of the Mozilla suite) as UTF-16 text.
#include <cstdio>
#include <string>
#include <vector>

#include "discovery/mozilla_registry.h"
#include "platform/environment.h"

int main(int argc, char** argv) {
    std::vector<std::string> files(argv + 1, argv + argc);
    if (files.empty()) {
        const std::string home = vesk::Environment().home();
        files = {vesk::joinPath(home, ".mozilla/appreg"),
                 vesk::joinPath(home, ".mozilla/seamonkey/profiles.ini")};
    }
    const std::string out = vesk::analyzeProfileFiles(files);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return out.empty() ? 1 : 0;
}
