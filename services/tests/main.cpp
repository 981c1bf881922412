#include "IsolatedUserFolders.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

// The services answer through Qt's event loop, so every test runs inside an application object.
// The user folders and QSettings point at a temporary folder before anything reads them, so no
// test touches the user's own files.
int main(int argc, char** argv)
{
    pravix::test::IsolatedUserFolders folders;
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Pravix");
    QCoreApplication::setApplicationName("Pravix");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
