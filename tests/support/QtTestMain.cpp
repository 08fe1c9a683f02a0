// gtest's main with the Qt application object the widgets need.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Headless unless a display is asked for explicitly (test discovery runs at build time too).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef Q_OS_WIN
    // Headless Qt on Windows draws text with FreeType from a folder of font files: the system's.
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR"))
        qputenv("QT_QPA_FONTDIR",
                QDir::fromNativeSeparators(qEnvironmentVariable("WINDIR") + "/Fonts").toUtf8());
#endif
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
