#include <gtest/gtest.h>

#include "model/adbook.h"
#include "model/iter_base.h"
#include "platform/progress.h"
#include "platform/trace.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using testing::contact;
using testing::RecordingWriter;
using testing::ScriptedReader;
using Lines = std::vector<std::string>;

TEST(ConversionLoop, FlatReaderGivesEntriesInOrderThenFinishOnce) {
    testing::TestRun run;
    ScriptedReader reader("r", {contact("A"), contact("B")});
    reader.time = 1234;
    RecordingWriter writer(run, false, false);
    EXPECT_TRUE(writer.fromStart(reader));
    EXPECT_EQ(writer.got, (Lines{"0:A", "0:B"}));
    EXPECT_EQ(writer.finished, 1);
    EXPECT_EQ(writer.time, 1234);
    EXPECT_EQ(reader.rewinds, 1);
}

TEST(ConversionLoop, FoldersComeFirstAsMarkersAndListsLast) {
    testing::TestRun run;
    ScriptedReader reader("r", {contact("Top")});
    ScriptedReader& work = reader.folder("Work", {contact("W1"), contact("W2")});
    work.folder("Deep", {contact("D1")});
    work.hasFolders = true;
    reader.list("Team", {contact("M1")});
    RecordingWriter writer(run, true, true);
    writer.fromStart(reader);
    EXPECT_EQ(writer.got, (Lines{"15:Work", "15:Deep", "0:D1", "14:Deep", "0:W1", "0:W2", "14:Work",
                                 "0:Top", "13:Team", "0:M1", "237:Team"}));
    EXPECT_EQ(writer.finished, 1);
}

TEST(ConversionLoop, WriterWithoutFoldersGetsOnlyTopLevelEntries) {
    testing::TestRun run;
    ScriptedReader reader("r", {contact("Top")});
    reader.folder("Work", {contact("W1"), contact("W2")});
    reader.list("Team", {contact("M1")});
    RecordingWriter writer(run, false, false);
    writer.fromStart(reader);
    EXPECT_EQ(writer.got, (Lines{"0:Top"}));
}

TEST(ConversionLoop, InlineListEndStopsTheEntryLoop) {
    testing::TestRun run;
    Entry end = contact("Team");
    end.kind = KindListEnd;
    Entry begin = contact("Inline");
    begin.kind = KindFolderBegin;
    ScriptedReader reader("r", {begin, contact("A"), end, contact("Never")});
    RecordingWriter writer(run, false, false);
    writer.fromStart(reader);
    EXPECT_EQ(writer.got, (Lines{"15:Inline", "0:A"}));
    EXPECT_EQ(reader.reads, 3);
}

TEST(ConversionLoop, NoRewindNeverFinishes) {
    testing::TestRun run;
    ScriptedReader reader("r", {contact("A")});
    RecordingWriter writer(run, false, false);
    writer.saveFrom(reader, true, true);
    EXPECT_EQ(writer.finished, 0);
    EXPECT_EQ(reader.rewinds, 0);
}

TEST(ConversionLoop, ProgressEveryFifthItemAndCancelStopsBeforeTheNextEntry) {
    testing::TestRun run;
    std::vector<Entry> twelve;
    for (int i = 0; i < 12; ++i) twelve.push_back(contact("E" + std::to_string(i)));
    {
        ScriptedReader reader("r", twelve);
        RecordingWriter writer(run, false, false);
        RecordingProgress progress;
        run.setProgress(&progress);
        writer.fromStart(reader);
        EXPECT_EQ(progress.items, (std::vector<int>{0, 5, 10}));
        EXPECT_EQ(progress.texts.front(), "Processing Item 0");
        EXPECT_TRUE(progress.percents.empty());  // only imports show percentages
    }
    {
        ScriptedReader reader("r", twelve);
        RecordingWriter writer(run, false, false);
        RecordingProgress progress;
        progress.cancelAtPump = 2;
        run.setProgress(&progress);
        writer.fromStart(reader);
        EXPECT_EQ(writer.got.size(), 5u);
        EXPECT_TRUE(reader.stopRequested);
        EXPECT_EQ(writer.finished, 1);  // a top-level loop still finishes after Cancel
    }
}

TEST(ConversionLoop, TracesTheRewind) {
    testing::TestRun run;
    RecordingTraceSink trace;
    run.setTraceSink(&trace);
    ScriptedReader reader;
    RecordingWriter writer(run, false, false);
    writer.fromStart(reader);
    EXPECT_EQ(trace.text, "Debug: Rewinding to the start of address book\n");
}

TEST(ConversionLoop, BookToBookCopyKeepsFoldersAndLists) {
    testing::TestRun run;
    NewAdbook source(run);
    source.addEntry(contact("Ann", "ann@x.org"));
    source.addEntry(contact("Bob", "bob@x.org"));
    static_cast<NewAdbook*>(source.addFolder("Work"))->addEntry(contact("Cid", "cid@x.org"));
    source.addList("Team")->addMember(source.entryPtr(1));

    RecordingWriter writer(run, true, true);
    writer.fromStart(source);
    EXPECT_EQ(writer.got, (Lines{"15:Work", "0:Cid", "14:Work", "0:Ann", "0:Bob", "13:Team",
                                 "0:Bob", "237:Team"}));
}

}  // namespace
}  // namespace vesk
