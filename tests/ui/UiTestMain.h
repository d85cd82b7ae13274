#pragma once

#include <QApplication>
#include <QTest>

#include "WindowApplication.h"

// A test program's main: the application readied as the program readies it (Russian, nothing
// stored), then the test object's slots.
#define MORRA_UI_TEST_MAIN(TestObject)              \
    int main(int argc, char** argv) {               \
        QApplication application(argc, argv);       \
        morra::prepareApplication(application);     \
        TestObject test;                            \
        return QTest::qExec(&test, argc, argv);     \
    }
