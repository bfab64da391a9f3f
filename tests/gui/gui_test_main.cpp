// Every GUI test runs in one offscreen Qt application, with the settings and state folders,
// the current folder and the device trees of its own, so that no user's files are read or
// written and no device of the machine is opened.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>

#include "tests/support/FakeDevices.h"

using namespace quillon;

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TempDir home;
    setenv("XDG_CONFIG_HOME", home.MakeDirs("config").c_str(), 1);
    setenv("XDG_STATE_HOME", home.MakeDirs("state").c_str(), 1);
    // Port discovery looks at empty device trees, never at this machine's ports.
    setenv("QUILLON_DEV_ROOT", home.MakeDirs("dev").c_str(), 1);
    setenv("QUILLON_SYSFS_ROOT", home.MakeDirs("sys").c_str(), 1);
    setenv("QUILLON_PORT_MAP", (home.path() + "/ports").c_str(), 1);
    std::filesystem::current_path(home.MakeDirs("work"));
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::filesystem::current_path("/");
    return result;
}
