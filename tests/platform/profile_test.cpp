#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <random>

#include "platform/profile.h"

using zelq::ProfileFile;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class Profile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath("defualt.ini");
};

}  // namespace

TEST_F(Profile, ReadsWithTheProfileStringRules) {
    writeAll(path,
             "; a comment\r\n[other]\r\nPicName=wrong\r\n"
             "[ DEFAULT ]\r\n  picname =  \"  My REC \"  \r\nEmpty=\r\nQuoted='x'\r\nHalf=\"x\r\n"
             "[default]\r\nLater=second section of the same name is not read\r\n");
    ProfileFile ini(path);
    EXPECT_EQ(ini.readString("default", "PicName", "REC"), "  My REC ");
    EXPECT_EQ(ini.readString("default", "Empty", "REC"), "");  // present but empty: not the default
    EXPECT_EQ(ini.readString("default", "Quoted", ""), "x");
    EXPECT_EQ(ini.readString("default", "Half", ""), "\"x");  // only a matching pair is dropped
    EXPECT_EQ(ini.readString("default", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.readString("nosection", "PicName", "dflt"), "dflt");
    EXPECT_EQ(ini.readString("default", "Later", "dflt"), "dflt");
}

TEST_F(Profile, BooleansAreIntegersWithDefaultsForAnythingElse) {
    writeAll(path, "[default]\nOne=1\nZero=0\nHex=0x1\nDollar=$0\nUpperHex=0X0a\nWord=yes\nEmpty=\nNeg=-1\n");
    ProfileFile ini(path);
    EXPECT_TRUE(ini.readBool("default", "One", false));
    EXPECT_FALSE(ini.readBool("default", "Zero", true));
    EXPECT_TRUE(ini.readBool("default", "Hex", false));
    EXPECT_FALSE(ini.readBool("default", "Dollar", true));
    EXPECT_TRUE(ini.readBool("default", "UpperHex", false));
    EXPECT_TRUE(ini.readBool("default", "Neg", false));
    EXPECT_TRUE(ini.readBool("default", "Word", true));
    EXPECT_FALSE(ini.readBool("default", "Word", false));
    EXPECT_TRUE(ini.readBool("default", "Empty", true));
    EXPECT_FALSE(ini.readBool("default", "Missing", false));
}

TEST_F(Profile, FirstWriteCreatesTheFileAndLaterWritesKeepOrderAndOtherLines) {
    ProfileFile ini(path);
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(ini.writeBool("default", "IsFirtRunSoftware", false));
    ASSERT_TRUE(ini.writeString("default", "PicPath", "/home/u/录像"));
    ASSERT_TRUE(ini.writeString("default", "PicName", ""));
    ASSERT_TRUE(ini.writeString("DEFAULT", "picpath", "  /x  "));  // replaces, whatever the case
    ASSERT_TRUE(ini.writeString("second", "k", "v"));
    EXPECT_EQ(QString::fromUtf8(readAll(path)),
              "[default]\nIsFirtRunSoftware=0\npicpath=  /x  \nPicName=\n\n[second]\nk=v\n");
    EXPECT_EQ(ini.readString("default", "PicPath", ""), "/x");
    EXPECT_EQ(ini.readString("default", "PicName", "REC"), "");
}

TEST_F(Profile, LongValuesArriveCutTo2047CharactersAndLineBreaksCannotSplitAKey) {
    ProfileFile ini(path);
    ASSERT_TRUE(ini.writeString("default", "PicPath", QString(5000, QLatin1Char('a'))));
    EXPECT_EQ(ini.readString("default", "PicPath", "").size(), 2047);
    ASSERT_TRUE(ini.writeString("default", "PicName", "one\ntwo=2"));
    EXPECT_EQ(ini.readString("default", "PicName", ""), "one two=2");
    EXPECT_EQ(ini.readString("default", "two", "none"), "none");
}

TEST_F(Profile, AFileThatIsNotUtf8IsReadAsGbk) {
    // "录像" in GBK is C2 BC CF F1.
    writeAll(path, "[default]\r\nPicPath=D:\\\xC2\xBC\xCF\xF1\r\n");
    ProfileFile ini(path);
    EXPECT_EQ(ini.readString("default", "PicPath", ""), QStringLiteral("D:\\录像"));
    // Rewriting keeps the value and turns the file into UTF-8.
    ASSERT_TRUE(ini.writeString("default", "PicName", "REC"));
    EXPECT_EQ(ini.readString("default", "PicPath", ""), QStringLiteral("D:\\录像"));
    EXPECT_TRUE(readAll(path).contains(QStringLiteral("录像").toUtf8()));
}

TEST_F(Profile, GarbageAndHugeLinesGiveDefaultsWithoutHarm) {
    std::mt19937 rng(7);
    QByteArray garbage(200000, '\0');
    for (char& c : garbage) c = static_cast<char>(rng());
    writeAll(path, garbage);
    ProfileFile ini(path);
    EXPECT_EQ(ini.readString("default", "PicName", "REC"), "REC");
    EXPECT_TRUE(ini.readBool("default", "AutoRun", true));

    QByteArray huge = "[default]\nPicName=" + QByteArray(10 * 1024 * 1024, 'z') + "\nAutoRun=1\n";
    writeAll(path, huge);
    EXPECT_EQ(ini.readString("default", "PicName", "").size(), 2047);
    EXPECT_TRUE(ini.readBool("default", "AutoRun", false));
}

TEST_F(Profile, UnwritablePlacesFailQuietlyAndLoseNothing) {
    writeAll(path, "[default]\nPicName=keep\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    ProfileFile readOnly(path);
    EXPECT_FALSE(readOnly.writeString("default", "PicName", "changed"));
    EXPECT_EQ(readAll(path), "[default]\nPicName=keep\n");
    EXPECT_EQ(readOnly.readString("default", "PicName", ""), "keep");

    // A folder that cannot exist (its parent is a file): defaults on reading, a failed write.
    ProfileFile nowhere(path + "/defualt.ini");
    EXPECT_EQ(nowhere.readString("default", "PicName", "REC"), "REC");
    EXPECT_FALSE(nowhere.writeString("default", "PicName", "x"));

    // A settings path that is a folder cannot be read or replaced.
    ProfileFile folder(dir.path());
    EXPECT_EQ(folder.readString("default", "PicName", "REC"), "REC");
    EXPECT_FALSE(folder.writeString("default", "PicName", "x"));
    EXPECT_TRUE(QFileInfo(dir.path()).isDir());
}

TEST_F(Profile, EachValueIsDecodedOnItsOwnAndBytesThatAreNeitherGoBackUnchanged) {
    // A UTF-8 folder, a GBK name ("录像" is C2 BC CF F1) and a value that is neither, in one file.
    writeAll(path,
             "[default]\nPicPath=/home/user/\xE5\xBD\x95\xE5\x83\x8F\nPicName=\xC2\xBC\xCF\xF1\n"
             "Odd=\xFF\xFE!\n");
    ProfileFile ini(path);
    EXPECT_EQ(ini.readString("default", "PicPath", ""), QStringLiteral("/home/user/录像"));
    EXPECT_EQ(ini.readString("default", "PicName", ""), QStringLiteral("录像"));
    // Saved at exit as read: every value keeps its meaning, the undecodable one its very bytes.
    for (const char* key : {"PicPath", "PicName", "Odd"})
        ASSERT_TRUE(ini.writeString("default", key, ini.readString("default", key, "")));
    ASSERT_TRUE(ini.writeString("default", "AutoRun", "1"));
    EXPECT_EQ(readAll(path),
              "[default]\nPicPath=/home/user/\xE5\xBD\x95\xE5\x83\x8F\nPicName=\xE5\xBD\x95\xE5\x83\x8F\n"
              "Odd=\xFF\xFE!\nAutoRun=1\n");
}
