// Test main for suites that need Qt: one QApplication for the process, dialogs answered by script.
#include "rbframework/testseam.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    rb::testseam::enable();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
