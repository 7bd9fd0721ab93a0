#include "board/FirmwareSearch.h"

#include "RecordingDriver.h"
#include "board/BoardStart.h"
#include "board/driver_abi.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>

namespace tq::board {
namespace {

using testing::RecordingDriver;

// Three candidate folders (user, system, program) under one temporary folder.
struct Folders {
    QTemporaryDir root;
    QStringList list;
    Folders() {
        for (const char* name : {"user", "system", "program"}) {
            QDir(root.path()).mkpath(QString::fromLatin1(name));
            list << root.filePath(QString::fromLatin1(name));
        }
    }
    QString image(int i) const { return list[i] + QStringLiteral("/TQ5802.hex"); }
    void put(const QString& file) const {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(":00000001FF\n");
    }
};

TEST(FirmwareSearch, FirstFolderHoldingTheImageWinsAndAnExplicitPathWinsOverAll) {
    struct Case {
        const char* what;
        bool user, system, program;
        int winner; // index into the folders; -1 = none found
    };
    for (const Case& c : {Case{"user over system and program", true, true, true, 0},
                          Case{"system over program", false, true, true, 1},
                          Case{"program folder last", false, false, true, 2},
                          Case{"none", false, false, false, -1}}) {
        SCOPED_TRACE(c.what);
        Folders f;
        const bool present[] = {c.user, c.system, c.program};
        for (int i = 0; i < 3; ++i)
            if (present[i]) f.put(f.image(i));

        const FirmwareLookup lookup = findFirmware({}, f.list);
        EXPECT_EQ(lookup.found, c.winner >= 0);
        // The driver always gets a path: the image found, else the program folder's.
        EXPECT_EQ(lookup.path, f.image(c.winner >= 0 ? c.winner : 2));
        QStringList searched;
        for (int i = 0; i <= (c.winner >= 0 ? c.winner : 2); ++i)
            searched << f.image(i);
        EXPECT_EQ(lookup.searched, searched);

        // An explicit path is the one candidate, found or not: never silently replaced.
        const QString explicitImage = f.root.filePath(QStringLiteral("mine.hex"));
        EXPECT_EQ(findFirmware(explicitImage, f.list).found, false);
        EXPECT_EQ(findFirmware(explicitImage, f.list).searched, QStringList{explicitImage});
        f.put(explicitImage);
        EXPECT_EQ(findFirmware(explicitImage, f.list).path, explicitImage);
        EXPECT_TRUE(findFirmware(explicitImage, f.list).found);
    }
}

TEST(FirmwareSearch, FoldersComeFromTheDataLocationsThenTheProgramFolder) {
    const QByteArray home = qgetenv("XDG_DATA_HOME"), dirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", "/tmp/tq-user-data");
    qputenv("XDG_DATA_DIRS", "/tmp/tq-sys-a:/tmp/tq-sys-b");
    EXPECT_EQ(firmwareFolders(QStringLiteral("/opt/tq/bin")),
              (QStringList{"/tmp/tq-user-data/tq5802", "/tmp/tq-sys-a/tq5802",
                           "/tmp/tq-sys-b/tq5802", "/opt/tq/bin"}));
    for (const auto& [name, value] : {std::pair{"XDG_DATA_HOME", home}, {"XDG_DATA_DIRS", dirs}})
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
}

TEST(FirmwareSearch, FailureSaysWhyAndWhereItLooked) {
    Folders f;
    const FirmwareLookup none = findFirmware({}, f.list);
    const QString missing = describeStartFailure(none, 0, -1);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(missing.contains(f.image(i))) << missing.toStdString();
    EXPECT_TRUE(missing.contains(QStringLiteral("--firmware")));
    // The driver's first failure leads; the image it never reached is still looked for.
    const QString absent = describeStartFailure(
        none, -1, -1, QStringLiteral("no board with USB id 0456:b202 is attached"));
    EXPECT_TRUE(absent.startsWith(QStringLiteral("No board with USB id 0456:b202 is attached.\n")))
        << absent.toStdString();
    EXPECT_TRUE(absent.contains(f.image(0))) << absent.toStdString();

    f.put(f.image(0));
    const FirmwareLookup found = findFirmware({}, f.list);
    const QString refused = describeStartFailure(found, 0, -6);
    EXPECT_TRUE(refused.contains(f.image(0)) && refused.contains(QStringLiteral("-6")))
        << refused.toStdString();
    EXPECT_FALSE(refused.contains(QStringLiteral("udev")));

    // Permission is told whichever call met it, the newer back end's Connect or the load.
    for (const auto& [connect, load] : {std::pair<int16_t, int16_t>{TQ_STATUS_NO_PERMISSION, -6},
                                        std::pair<int16_t, int16_t>{0, TQ_STATUS_NO_PERMISSION}})
        EXPECT_TRUE(
            describeStartFailure(found, connect, load).contains(QStringLiteral("60-tq5802.rules")));
}

TEST(FirmwareSearch, StartKeepsTheStatusesForTheMessage) {
    SharedState state;
    RecordingDriver driver;
    BoardStart::SetFirmwarePath(state, "/opt/tq5802");
    driver.connectResult = TQ_STATUS_NO_PERMISSION;
    driver.downloadResult = -6;
    BoardStart::StartStatus status;
    EXPECT_FALSE(BoardStart::StartBoard(state, driver, Backend::Newer, 0, &status));
    EXPECT_EQ(status.connect, TQ_STATUS_NO_PERMISSION);
    EXPECT_EQ(status.load, -6);

    driver.loadFirmWareResult = TQ_STATUS_NO_PERMISSION;
    EXPECT_FALSE(BoardStart::StartBoard(state, driver, Backend::Legacy, 0, &status));
    EXPECT_EQ(status.connect, 0);
    EXPECT_EQ(status.load, TQ_STATUS_NO_PERMISSION);
}

} // namespace
} // namespace tq::board
