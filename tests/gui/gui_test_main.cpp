// Every GUI test runs in one offscreen Qt application, with the settings folder and the
// current folder of its own, so that no user's files are read or written.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>

#include "tests/support/FakeDevices.h"

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TempDir home;
    setenv("XDG_CONFIG_HOME", home.MakeDirs("config").c_str(), 1);
    std::filesystem::current_path(home.MakeDirs("work"));
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::filesystem::current_path("/");
    return result;
}
