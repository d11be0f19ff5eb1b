// The file of a new recording is made exclusively: a name that exists by then is kept and the next free
// one is taken, also when several recorders reach for the same name at once.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <thread>
#include <vector>

#include "capture/scrcam/recordingfile.h"

using namespace zelq;

TEST(RecordingFile, ANewRecordingNeverTakesAFileThatExists) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    QFile earlier(folder + "7.avi");
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("frames");
    earlier.close();
    EXPECT_EQ(claimRecordingFile(folder + "7.avi"), folder + "8.avi");
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), "frames");
    EXPECT_EQ(claimRecordingFile(folder + "REC.avi"), folder + "REC.avi");
    EXPECT_EQ(claimRecordingFile(folder + "REC.avi"), folder + "REC(2).avi");
    EXPECT_EQ(claimRecordingFile(folder + "REC.avi"), folder + "REC(3).avi");
    EXPECT_EQ(nextRecordingName("2147483648.avi"), "2147483649.avi");
    EXPECT_EQ(claimRecordingFile(folder + "missing/1.avi"), QString());

    // Eight recorders at the same moment: eight files.
    std::vector<QString> claimed(8);
    std::vector<std::thread> recorders;
    for (std::size_t i = 0; i < claimed.size(); ++i)
        recorders.emplace_back([&, i] { claimed[i] = claimRecordingFile(folder + "1.avi"); });
    for (std::thread& t : recorders) t.join();
    QSet<QString> distinct(claimed.begin(), claimed.end());
    EXPECT_EQ(distinct.size(), 8);
    EXPECT_FALSE(distinct.contains(QString()));
}
