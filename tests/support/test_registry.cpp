#include "support/test_registry.h"

#include <QTest>

#include <cstring>
#include <utility>

namespace twtest {

namespace {
struct Registered {
    const char* name;
    Factory factory;
    bool onRequest;
};

std::vector<Registered>& registry()
{
    static std::vector<Registered> tests;
    return tests;
}
} // namespace

int registerTest(const char* name, Factory factory, bool onRequest)
{
    registry().push_back({name, std::move(factory), onRequest});
    return 0;
}

int runAll(int argc, char** argv)
{
    const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
    std::vector<char*> args(argv, argv + argc);
    if (only)
        args.erase(args.begin() + 1);
    // Qt Test's crash handler can deadlock, leaving a crashed run to wait for the suite's timeout.
    static char noCrashHandler[] = "-nocrashhandler";
    args.insert(args.begin() + 1, noCrashHandler);
    int failures = 0;
    for (auto& [name, factory, onRequest] : registry()) {
        if (only ? std::strcmp(only, name) != 0 : onRequest)
            continue;
        std::unique_ptr<QObject> test = factory();
        failures += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data());
    }
    // Exit codes wrap at 256, so a failure count could read as success.
    return failures == 0 ? 0 : 1;
}

} // namespace twtest
