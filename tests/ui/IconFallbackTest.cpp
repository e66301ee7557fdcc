// SPDX-License-Identifier: GPL-3.0-or-later
// The program's icon where Qt's SVG plugins are missing: its own main keeps every plugin folder but the
// platform plugins' out of reach before the application starts, as on a machine without the package
// that holds them.
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "ui/AboutDlg.h"
#include "ui/DialogLayout.h"

namespace {

TEST(ProgramIcon, EverySizeWithoutTheSvgPlugins) {
    ASSERT_FALSE(QImageReader::supportedImageFormats().contains("svg"))
        << "the SVG image plugin is still loadable, so this test would prove nothing";
    const QIcon icon = ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    for (int side : {16, 24, 32, 48, 64, 128, 256}) {
        const QSize size(side, side);
        EXPECT_TRUE(icon.availableSizes().contains(size)) << side;
        // Drawn from its own rendition, pixel for pixel, not scaled from another size.
        const QImage drawn = icon.pixmap(size).toImage();
        const QImage rendition(QStringLiteral(":/icons/tandrel-%1.png").arg(side));
        ASSERT_FALSE(rendition.isNull()) << side;
        EXPECT_EQ(drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  rendition.convertToFormat(QImage::Format_ARGB32_Premultiplied))
            << side;
    }
    CAboutDlg dialog;
    EXPECT_FALSE(dialog.windowIcon().isNull()) << "a dialog's window icon";
}

}  // namespace

int main(int argc, char** argv) {
    if (!getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // The platform plugin is found through its own variable; image formats and icon engines only
    // through the library paths, which name an empty folder from here on.
    const QString plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath);
    const QByteArray platforms = QDir(plugins).filePath(QStringLiteral("platforms")).toLocal8Bit();
    setenv("QT_QPA_PLATFORM_PLUGIN_PATH", platforms.constData(), 1);
    unsetenv("QT_PLUGIN_PATH");
    QTemporaryDir empty;
    QCoreApplication::setLibraryPaths({empty.path()});
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
