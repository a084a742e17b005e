// "MS Outlook" and "Outlook Express" through the application dispatch: read from their files,
// and refused as destinations on this system, once, as a failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "app/cli/command_line.h"
#include "app/cli/report.h"
#include "operations/dispatch.h"
#include "registry/registry.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

std::string sample(const std::string& name) {
    const std::string path = std::string(VESK_SAMPLES_DIR) + "/" + name;
    return std::filesystem::exists(path) ? path : std::string();
}

TEST(OutlookAndWabDispatch, SourcesReadTheFileNamed) {
    struct Case {
        const char* app;
        const char* file;
        const char* email;
    };
    for (const Case& c :
         {Case{"MS Outlook", "pst/java-libpst-dist-list.pst", "contact1@rjohnson.id.au"},
          Case{"ol", "pst/pst-extractor-contacts97-2002.pst", "test@example.com"},
          Case{"Outlook Express", "wab/tb-OutlookExpress.wab", "johndoe@host.invalid"},
          Case{"oe", "wab/tb-OutlookExpress.wab", "johndoe@host.invalid"}}) {
        const std::string path = sample(c.file);
        if (path.empty()) GTEST_SKIP() << "no samples";
        testing::TestRun run;
        PlainBookView view(run);
        const DispatchOutcome out = dispatchApplications(c.app, path, "Other", "", view);
        EXPECT_TRUE(out.sourceKnown) << c.app;
        // The Windows Address Book keeps its contact in the identity's folder.
        Adbook* book = &view.currentBook();
        if (book->entryCount() == 0 && book->folderCount() == 1) book = book->folderAt(0);
        ASSERT_EQ(book->entryCount(), 1) << c.app;
        EXPECT_EQ(book->entryAt(0)[Field::Email], c.email) << c.app;
    }
}

// A store that cannot be opened is a failed source, told once, and no empty conversion.
TEST(OutlookAndWabDispatch, AStoreThatCannotBeOpenedFailsTheConversion) {
    testing::TempDir dir;
    const std::string junk = dir.file("junk.bin", "not an address book at all");
    for (const char* app : {"MS Outlook", "Outlook Express"}) {
        for (const std::string& file : {junk, dir.path().string() + "/missing.wab"}) {
            testing::TestRun run;
            PlainBookView view(run);
            const DispatchOutcome out =
                dispatchApplications(app, file, "vcard", dir.path().string() + "/o.vcf", view);
            EXPECT_FALSE(out.sourceAvailable) << app << " " << file;
            EXPECT_EQ(run.prompts.messages.size(), 1u) << app << " " << file;
        }
    }
    testing::TestRun run;
    std::ostringstream out;
    std::ostringstream err;
    const std::string dest = dir.path().string() + "/out.vcf";
    EXPECT_EQ(
        cli::runIn(run,
                   {"/convert", "/from", "/app", "oe", "/file", junk, "/to", "/file", dest, "/EOS"},
                   "9.9", cli::Streams{out, err, Registry::builtIn()}),
        cli::kExitFailed);
    EXPECT_FALSE(std::filesystem::exists(dest));
    EXPECT_EQ(err.str().find("wrote"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("not a Windows Address Book file"), std::string::npos) << err.str();
}

TEST(OutlookAndWabDispatch, DestinationsCannotBeWrittenHere) {
    for (const char* app : {"MS Outlook", "Outlook Express"}) {
        testing::TestRun run;
        PlainBookView view(run);
        view.currentBook().write(testing::contact("Ann", "ann@x.org"));
        const DispatchOutcome out = dispatchApplications("", "", app, "book.wab", view);
        EXPECT_EQ(out.save.status, SaveStatus::Failed) << app;
        ASSERT_EQ(run.prompts.messages.size(), 1u) << app;
        EXPECT_NE(run.prompts.messages[0].text.find("cannot be written on this system"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace vesk
