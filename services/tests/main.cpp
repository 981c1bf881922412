#include <QCoreApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

// The services answer through Qt's event loop, so every test runs inside an application object;
// test mode keeps QSettings and the standard folders away from the user's own files.
int main(int argc, char** argv)
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Pravix");
    QCoreApplication::setApplicationName("Pravix");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
