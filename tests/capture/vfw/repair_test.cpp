// Repairing recordings left unfinished: only files our writer marked, every stream kept, the original
// to the trash; other programs' files are never touched.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "capture/vfw/localavi.h"
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

TEST(Repair, ARecordingKilledPastOneGigabyteIsMadeWholeInEveryPartAndAFinishedOneIsLeftAlone) {
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    const QString path = dir.filePath("big.avi");
    // Uncompressed 1080p frames: 190 of them reach past the first RIFF part's 1 GB, and the writer dies
    // in the middle of the second part.
    test::SoundRecording rec;
    rec.width = 1920;
    rec.height = 1080;
    rec.positions = 190;
    rec.picture = [](int, int, int frame) { return test::Rgb{frame, 255 - frame, 128}; };
    rec.sound = [](std::int64_t t) { return static_cast<std::int16_t>((t % 96) * 300 - 14400); };
    rec.dieAfterWriting = true;
    if (fork() == 0)
        test::writeSoundRecording(path, rec);
    int status = 0;
    wait(&status);
    ASSERT_EQ(status, 0);
    const qint64 died = QFileInfo(path).size();
    ASSERT_GT(died, 1100LL << 20);
    ASSERT_TRUE(test::putOurWriterMark(path));

    EXPECT_EQ(repairUnfinishedRecording(path.toStdString()), RepairResult::Repaired);
    // Every whole frame and chunk of sound is kept, and the header counts them all, across both parts.
    const QString packets = test::streamPackets(path);
    const int frames = packets.section("video ", 1).section(',', 0, 0).toInt();
    EXPECT_GE(frames, 189) << packets.toStdString();
    EXPECT_TRUE(test::headerCounts(path).startsWith(QString("video %1, audio ").arg(frames)))
        << test::headerCounts(path).toStdString() << " for " << packets.toStdString();
    EXPECT_EQ(test::decodeErrors(path), "");
    EXPECT_EQ(QFileInfo(dir.filePath("data/Trash/files/big.avi")).size(), died);

    // Finished in every part now: looked at again, it is not touched.
    const QFileInfo before(path);
    const QByteArray head = test::bytesOf(path).left(4096);
    EXPECT_EQ(repairUnfinishedRecording(path.toStdString()), RepairResult::NotNeeded);
    const QFileInfo after(path);
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(after.lastModified(), before.lastModified());
    EXPECT_EQ(test::bytesOf(path).left(4096), head);
}

TEST(Repair, OnlyRegularFilesAreOpenedAndALinkIsNeverReplaced) {
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    // An unfinished recording of ours, reached through a link: read through it, never replaced.
    const QString target = dir.filePath("target.bin");
    ASSERT_TRUE(test::pipeWrittenAviWithSound(target));
    ASSERT_TRUE(test::putOurWriterMark(target));
    const QByteArray unrepaired = test::bytesOf(target);
    const QString link = dir.filePath("link.avi");
    ASSERT_TRUE(QFile::link(target, link));
    // A FIFO would hold an open for reading until someone writes into it: before, the listing froze here.
    const QString fifo = dir.filePath("fifo.avi");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.avi"));

    for (const QString& path : {link, fifo, dir.filePath("folder.avi")}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(repairUnfinishedRecording(path.toStdString()), RepairResult::NotNeeded);
    }
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(test::bytesOf(target), unrepaired);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("data/Trash/files/link.avi")));
    // Neither does the reader wait on the FIFO.
    AvInputContextPtr ctx;
    EXPECT_LT(openLocalAvi(fifo.toStdString(), ctx), 0);
    EXPECT_GE(openLocalAvi(link.toStdString(), ctx), 0);
}

TEST(Repair, AFileItsWriterIsFinishingIsNeverRewritten) {
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    // A listing right after a stop, as when the list is refreshed while the writer finishes the file;
    // with and without sound, many times, so that the moment the writer lets go falls everywhere.
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        const QString path = dir.filePath(QString("%1.avi").arg(round));
        std::atomic<bool> written{false};
        std::thread writer([&] {
            if (round % 2 == 0) {
                test::SoundRecording rec;
                rec.positions = 20;
                rec.picture = test::pattern;
                rec.sound = [](std::int64_t t) { return static_cast<std::int16_t>(t % 1000); };
                test::writeSoundRecording(path, rec);
            } else {
                test::Recording rec;
                rec.positions = {0, 1, 2, 3, 4, 5, 6, 7};
                test::writeRecording(path, rec);
            }
            written = true;
        });
        int repaired = 0;
        while (!written)
            repaired += repairUnfinishedRecording(path.toStdString()) == RepairResult::Repaired;
        writer.join();
        EXPECT_EQ(repaired, 0);
    }
    EXPECT_TRUE(QDir(dir.filePath("data/Trash/files")).isEmpty());
}
