#pragma once
// Test entry points: every test runs with the en_US locale so that number grouping
// and collation are the same on every machine.

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QTest>

#define TESSELLON_TEST_MAIN_WITH(AppType, TestObject)                                                                  \
    int main(int argc, char* argv[])                                                                                   \
    {                                                                                                                  \
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));                                         \
        AppType app(argc, argv);                                                                                       \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }

// A test that needs only QtCore.
#define TESSELLON_TEST_MAIN(TestObject) TESSELLON_TEST_MAIN_WITH(QCoreApplication, TestObject)
// A test that needs a GUI application (clipboard, fonts, widgets).
#define TESSELLON_GUI_TEST_MAIN(TestObject) TESSELLON_TEST_MAIN_WITH(QApplication, TestObject)
