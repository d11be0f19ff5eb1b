// Repairing recordings left unfinished: only files our writer marked, every stream kept, the original
// to the trash; other programs' files are never touched.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "capture/vfw/repair.h"
#include "vfw_testkit.h"

using namespace zelq;
using test::bytesOf;

TEST(Repair, OnlyOurUnfinishedFilesAreRewrittenWithEveryStreamAndTheOriginalGoesToTheTrash) {
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    const QString theirs = dir.filePath("theirs.avi");
    ASSERT_TRUE(test::pipeWrittenAviWithSound(theirs));
    const QByteArray original = bytesOf(theirs);
    ASSERT_EQ(original.mid(4, 4), QByteArray(4, '\xff'));  // sizes unwritten, as a crash leaves them
    const QString whole = test::streamPackets(theirs);
    ASSERT_TRUE(whole.startsWith("video 20, audio ")) << whole.toStdString();

    // Another program's file, unfinished by its header's word, is never rewritten.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(repairUnfinishedRecording(theirs.toStdString()), RepairResult::NotNeeded);
    EXPECT_EQ(bytesOf(theirs), original);

    // The same file as if our writer had died writing it, its last chunk torn: every whole chunk of both
    // streams is kept, and the unrepaired file can be restored from the trash.
    const QString ours = dir.filePath("ours.avi");
    ASSERT_TRUE(QFile::copy(theirs, ours));
    ASSERT_TRUE(test::putOurWriterMark(ours));
    ASSERT_EQ(test::streamPackets(ours), whole);
    ASSERT_TRUE(QFile::resize(ours, QFileInfo(ours).size() - 5));
    const QByteArray died = bytesOf(ours);
    EXPECT_EQ(repairUnfinishedRecording(ours.toStdString()), RepairResult::Repaired);
    EXPECT_EQ(repairUnfinishedRecording(ours.toStdString()), RepairResult::NotNeeded);
    EXPECT_NE(bytesOf(ours).mid(4, 4), QByteArray(4, '\xff'));
    const QString repaired = test::streamPackets(ours);
    // The torn chunk is the last audio or video one; all before it stay.
    const QString lastAudio = whole.section("audio ", 1);
    EXPECT_TRUE(repaired == whole || repaired == "video 19, audio " + lastAudio ||
                repaired == "video 20, audio " + QString::number(lastAudio.toInt() - 1))
        << repaired.toStdString() << " from " << whole.toStdString();
    EXPECT_EQ(test::decodeErrors(ours), "");
    EXPECT_EQ(bytesOf(dir.filePath("data/Trash/files/ours.avi")), died);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).filter(".part"), QStringList());
}
