// Ctrl-C and SIGTERM in the middle of the work: the conversion stops between entries and
// nothing is written.
#include "platform/interrupt.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "operations/selection.h"
#include "support/line_format.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

/// Delivers its entries and the signal as the `at`-th is read.
class SignallingReader : public testing::ScriptedReader {
  public:
    SignallingReader(int signal, int at, std::vector<Entry> contents)
        : ScriptedReader("", std::move(contents)), m_signal(signal), m_at(at) {}
    Entry nextEntry() override {
        if (reads + 1 == m_at) std::raise(m_signal);
        return ScriptedReader::nextEntry();
    }

  private:
    int m_signal;
    int m_at;
};

std::vector<Entry> contacts(int n) {
    std::vector<Entry> out;
    for (int i = 0; i < n; ++i) {
        out.push_back(testing::contact("Person " + std::to_string(1000 + i),
                                       "p" + std::to_string(i) + "@x.org"));
    }
    return out;
}

TEST(Interrupt, AConversionStopsBetweenEntriesAndWritesNothing) {
    installInterruptHandler();
    testing::TempDir dir;
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        testing::TestRun run;
        PlainBookView view(run);
        SignallingReader reader(signal, 7, contacts(40));
        view.currentBook().fromStart(reader);
        ASSERT_TRUE(interruptRequested());
        EXPECT_EQ(interruptSignal(), signal);
        // Stopped at the next point where it looks, not at the end of the book.
        EXPECT_GE(view.currentBook().entryCount(), 7);
        EXPECT_LE(view.currentBook().entryCount(), 10);

        const std::string out = dir.file("out.tst", "old\n");
        const SaveOutcome o = saveToFile(out, view, FormatChoice{testing::lineRegistry()});
        EXPECT_NE(o.status, SaveStatus::Saved);
        EXPECT_EQ(testing::slurp(out), "old\n");
        clearInterrupt();
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace vesk
