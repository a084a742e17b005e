// "MS Outlook" and "Outlook Express" through the application dispatch: read from their files,
// and refused as destinations on this system, once, as a failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "operations/dispatch.h"
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
        ASSERT_EQ(view.currentBook().entryCount(), 1) << c.app;
        EXPECT_EQ(view.currentBook().entryAt(0)[Field::Email], c.email) << c.app;
    }
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
