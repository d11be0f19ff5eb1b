#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include "convert/bitmapresource.h"
#include "convert/filelist.h"
#include "convert/recordinglist.h"

using namespace zelq;

namespace {

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

}  // namespace

TEST(ListFolderFiles, FilterIsAFragmentAndFoldersNeverAppear) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    for (const char* name : {"1.avi", "2.AVI", "notes.txt", "David.txt", ".hidden.avi"}) touch(folder + name);
    ASSERT_TRUE(QDir(folder).mkdir("old.avi"));

    QStringList list{"kept"};
    ListFolderFiles(folder, "avi", list);
    EXPECT_EQ(list.first(), "kept");  // appended, never cleared
    list.removeFirst();
    EXPECT_EQ(sorted(list), sorted({folder + "1.avi", folder + "2.AVI", folder + "David.txt", folder + ".hidden.avi"}));

    for (const QString& every : {QString(), QStringLiteral("  "), QStringLiteral(".*"), QStringLiteral(" .* ")}) {
        QStringList all;
        ListFolderFiles(folder, every, all);
        EXPECT_EQ(all.size(), 5) << every.toStdString();
        EXPECT_FALSE(all.contains(folder + "old.avi"));
    }
    // The filter's blanks are part of the fragment.
    QStringList none;
    ListFolderFiles(folder, " avi", none);
    EXPECT_TRUE(none.isEmpty());

    QStringList missing;
    ListFolderFiles(folder + "nope/", "avi", missing);
    EXPECT_TRUE(missing.isEmpty());
}

TEST(RecordingOrder, NumbersAtTheStartDecideAndOtherNamesComeFirst) {
    QStringList names{"10.avi", "9.avi", "100.avi", "x.avi", "3.AVI", "Demo.avi", " 2.avi", "-1.avi"};
    SortRecordingNames(names);
    EXPECT_EQ(names, QStringList({"-1.avi", "x.avi", "Demo.avi", " 2.avi", "3.AVI", "9.avi", "10.avi", "100.avi"}));
    EXPECT_EQ(CompareRecordingNames(names, 6, 7), -1);
    EXPECT_EQ(CompareRecordingNames(names, 7, 6), 1);
    EXPECT_EQ(CompareRecordingNames(names, 1, 2), 0);

    QListWidget box;
    for (const char* name : {"2.avi", "10.avi", "1.avi", "Demo.avi"}) box.addItem(name);
    box.item(1)->setData(Qt::UserRole, 42);
    SortRecordingList(&box);
    QStringList texts;
    for (int i = 0; i < box.count(); ++i) texts << box.item(i)->text();
    EXPECT_EQ(texts, QStringList({"Demo.avi", "1.avi", "2.avi", "10.avi"}));
    EXPECT_EQ(box.item(3)->data(Qt::UserRole).toInt(), 42);  // items move with what they carry
}

TEST(BitmapResource, GlyphsLoadWhateverTheCaseAndMissingOnesChangeNothing) {
    for (const char* name : {"CHECKED", "NOTCHECKED"}) {
        QFile raw(QStringLiteral(":/BMP/") + name);
        ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
        EXPECT_EQ(raw.size(), 776);
    }
    QImage checked;
    LoadBitmapResource(checked, "checked", "bmp");
    ASSERT_FALSE(checked.isNull());
    EXPECT_EQ(checked.size(), QSize(16, 15));
    QImage notChecked;
    LoadBitmapResource(notChecked, "NotChecked", "Bmp");
    ASSERT_FALSE(notChecked.isNull());
    EXPECT_NE(checked, notChecked);

    QImage kept = checked;
    LoadBitmapResource(kept, "nosuch", "bmp");
    LoadBitmapResource(kept, "checked", "png");
    EXPECT_EQ(kept, checked);
}
