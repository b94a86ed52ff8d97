#pragma once

// Each test source ends with one of these lines instead of QtTest's QTEST_MAIN or
// QTEST_GUILESS_MAIN:
//
//   BRINDLECOT_TEST_MAIN(TestX)          // the test needs a QApplication
//   BRINDLECOT_TEST_GUILESS_MAIN(TestX)  // a QCoreApplication is enough
//
// A test program of its own (brindlecot_test) gets QtTest's main from it. A folder's test
// program (brindlecot_test_folder) compiles all the folder's tests as one unit, so that
// the precompiled header is loaded and the program linked once per folder: that unit
// defines BRINDLECOT_TEST_FOLDER, and BRINDLECOT_TEST_ENTRY to a name of each test's own
// before including its source. The line then defines that function, with the body of
// QtTest's main, and the unit's main runs the test its first argument names.

#include <QTest>

#ifdef BRINDLECOT_TEST_FOLDER

#include <cstdio>
#include <cstring>

// QtTest's main for one test: the same application, set up the same way.
#define BRINDLECOT_TEST_ENTRY_BODY(TestObject, ...)                                         \
    {                                                                                       \
        QT_PREPEND_NAMESPACE(QTest::Internal::callInitMain)<TestObject>();                  \
        __VA_ARGS__                                                                         \
        TestObject tc;                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                          \
        return QTest::qExec(&tc, argc, argv);                                               \
    }

#define BRINDLECOT_TEST_MAIN(TestObject)                                                    \
    int BRINDLECOT_TEST_ENTRY(int argc, char *argv[])                                       \
        BRINDLECOT_TEST_ENTRY_BODY(TestObject, QTEST_MAIN_SETUP())
#define BRINDLECOT_TEST_GUILESS_MAIN(TestObject)                                            \
    int BRINDLECOT_TEST_ENTRY(int argc, char *argv[])                                       \
        BRINDLECOT_TEST_ENTRY_BODY(TestObject, QTEST_QAPP_SETUP(QCoreApplication))

namespace TestMain {

struct Entry
{
    const char *name; // the test's ctest name, e.g. "tst_answerrule"
    int (*run)(int argc, char *argv[]);
};

// Runs the test named by argv[1] with the arguments after it, which QtTest reads as a
// program of its own would (-functions, test function names, -o ...).
template<int Count>
int runNamed(const Entry (&entries)[Count], int argc, char *argv[])
{
    if (argc >= 2) {
        for (const Entry &entry : entries) {
            if (std::strcmp(argv[1], entry.name) == 0) {
                argv[1] = argv[0]; // QtTest takes argv[0] for the program
                return entry.run(argc - 1, argv + 1);
            }
        }
    }
    std::fprintf(stderr, "usage: %s test [QtTest arguments...]\nwhere test is one of:\n", argv[0]);
    for (const Entry &entry : entries)
        std::fprintf(stderr, "  %s\n", entry.name);
    return 2; // the status of a wrong command line
}

} // namespace TestMain

#else

#define BRINDLECOT_TEST_MAIN(TestObject) QTEST_MAIN(TestObject)
#define BRINDLECOT_TEST_GUILESS_MAIN(TestObject) QTEST_GUILESS_MAIN(TestObject)

#endif
