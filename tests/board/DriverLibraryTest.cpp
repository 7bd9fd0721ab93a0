#include "board/DriverLibrary.h"

#include "board/BoardLink.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <vector>

namespace tq::board {
namespace {

const QString kPartial = QStringLiteral(TQ_PARTIAL_DRIVER);

struct Loader {
    DriverLibrary library;
    std::vector<LoadError> errors;

    explicit Loader(const QString& path) : library(path) {
        library.setLoadErrorHandler([this](const LoadError& e) { errors.push_back(e); });
    }
};

TEST(DriverLibrary, CallsExportedEntriesAndReportsEachMissingOneOnce) {
    Loader l(kPartial);
    int32_t count = 0;
    std::array<uint8_t, 128> list{};
    EXPECT_EQ(l.library.Search_For_Boards(0x0456, 0xB202, &count, list.data()), 0);
    EXPECT_EQ(list[0], 5);
    std::array<uint8_t, 3> buffer{};
    EXPECT_EQ(l.library.Vendor_Request(41, 0xDD, 0x81, 0, 1, 3, buffer.data()), 42);
    EXPECT_EQ(buffer, (std::array<uint8_t, 3>{0xA5, 0xA5, 0xA5}));
    EXPECT_TRUE(l.errors.empty());

    int32_t handle = 0;
    EXPECT_EQ(l.library.Connect(0x0456, 0xB202, 5, &handle), DriverLibrary::kLoadFailure);
    EXPECT_EQ(l.library.Connect(0x0456, 0xB202, 5, &handle), DriverLibrary::kLoadFailure);
    uint8_t path[] = "/x";
    EXPECT_EQ(l.library.LoadFirmWare(path), DriverLibrary::kLoadFailure);
    ASSERT_EQ(l.errors.size(), 2u);
    EXPECT_EQ(l.errors[0].kind, LoadError::Kind::EntryMissing);
    EXPECT_EQ(l.errors[0].file, kPartial);
    EXPECT_EQ(l.errors[0].entry, QStringLiteral("Connect"));
    EXPECT_FALSE(l.errors[0].reason.isEmpty());
    EXPECT_EQ(l.errors[1].entry, QStringLiteral("LoadFirmWare"));
    // The optional error text is simply absent.
    EXPECT_EQ(l.library.lastErrorText(), "");

    using Extra = int16_t (*)();
    const auto extra = reinterpret_cast<Extra>(l.library.resolveOptional("Extra_Entry"));
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(extra(), 42);
    EXPECT_EQ(l.library.resolveOptional("No_Such_Entry"), nullptr);
    EXPECT_EQ(l.errors.size(), 2u);
}

// The user is told which file failed and how; an entry is named only when the file loaded
// and lacks it.
TEST(DriverLibrary, FailureIsReportedOnceNamingTheFileAndOnlyAMissingEntry) {
    const QDir dir(QString::fromStdString(testing::TempDir()));
    const QString missing = dir.absoluteFilePath(QStringLiteral("no-such-driver.so"));
    const QString junk = dir.absoluteFilePath(QStringLiteral("libtq_not_a_library.so"));
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a library\n");
    }
    struct Case {
        QString path;
        LoadError::Kind kind;
        const char* said; // in the message
    };
    const Case cases[] = {
        {missing, LoadError::Kind::FileNotFound, "was not found"},
        {junk, LoadError::Kind::NotLoadable, "could not be loaded"},
        {kPartial, LoadError::Kind::EntryMissing, "has no entry \"Download_Firmware\""},
    };
    for (const Case& c : cases) {
        Loader l(c.path);
        EXPECT_EQ(l.library.resolveOptional("No_Such_Entry"), nullptr); // quiet
        uint8_t path[] = "/x";
        EXPECT_EQ(l.library.Download_Firmware(1, path), DriverLibrary::kLoadFailure);
        EXPECT_EQ(l.library.Download_Firmware(1, path), DriverLibrary::kLoadFailure);
        EXPECT_EQ(l.library.LoadFirmWare(path), DriverLibrary::kLoadFailure);
        const std::size_t expected = c.kind == LoadError::Kind::EntryMissing ? 2 : 1;
        ASSERT_EQ(l.errors.size(), expected) << c.path.toStdString();
        const LoadError& e = l.errors[0];
        EXPECT_EQ(e.kind, c.kind);
        EXPECT_EQ(e.file, c.path);
        const QString message = describe(e);
        EXPECT_TRUE(message.contains(c.path)) << message.toStdString();
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.said))) << message.toStdString();
        // Never the loader's guesses at other names for the file.
        EXPECT_FALSE(message.contains(QStringLiteral("liblib"))) << message.toStdString();
        EXPECT_EQ(message.contains(QStringLiteral("Download_Firmware")),
                  c.kind == LoadError::Kind::EntryMissing)
            << message.toStdString();
    }
    QFile::remove(junk);
}

TEST(DriverLibrary, RelativePathIsRefusedNotSearched) {
    // Run from the library's own directory: a loader that took the path relative to the
    // working directory would find it.
    const QString saved = QDir::currentPath();
    const QFileInfo info(kPartial);
    ASSERT_TRUE(QDir::setCurrent(info.absolutePath()));
    Loader l(QStringLiteral("./") + info.fileName());
    int32_t count = 0;
    std::array<uint8_t, 128> list{};
    EXPECT_EQ(l.library.Search_For_Boards(1, 2, &count, list.data()), DriverLibrary::kLoadFailure);
    QDir::setCurrent(saved);
    ASSERT_EQ(l.errors.size(), 1u);
    EXPECT_EQ(l.errors[0].kind, LoadError::Kind::NotLoadable);
    EXPECT_TRUE(l.errors[0].entry.isEmpty());
}

TEST(DriverLibrary, DeclareOverAMissingLibraryKeepsGoing) {
    SharedState state;
    Loader l(QDir::temp().absoluteFilePath(QStringLiteral("no-such-driver.so")));
    BoardLink declare(state, l.library, Backend::Newer);
    std::vector<int16_t> statuses;
    declare.addObserver([&](const Transfer& t) { statuses.push_back(t.status); });
    EXPECT_EQ(declare.ReadRegister(1, 0), 0);
    declare.WriteControlLines();
    EXPECT_EQ(state.DriverStatus, DriverLibrary::kLoadFailure);
    EXPECT_EQ(statuses, std::vector<int16_t>(3, DriverLibrary::kLoadFailure));
    EXPECT_EQ(l.errors.size(), 1u);
}

} // namespace
} // namespace tq::board
