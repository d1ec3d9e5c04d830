#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

// Lets every test class of a folder run from one executable: each file registers its class with
// TW_TEST and the shared main runs them all (or the one named as the first argument).
namespace twtest {

using Factory = std::function<std::unique_ptr<QObject>()>;
// A class registered on request runs only when named: a helper that scripts drive, not a test.
int registerTest(const char* name, Factory factory, bool onRequest = false);
int runAll(int argc, char** argv);

} // namespace twtest

#define TW_TEST(Class)                                                                                   \
    static const int tw_registered_##Class =                                                             \
        twtest::registerTest(#Class, [] { return std::unique_ptr<QObject>(new Class); });
#define TW_TOOL(Class)                                                                                   \
    static const int tw_registered_##Class =                                                             \
        twtest::registerTest(#Class, [] { return std::unique_ptr<QObject>(new Class); }, true);
