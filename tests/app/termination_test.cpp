#include "app/termination.h"

#include "support/test_registry.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

class TerminationTest : public QObject {
    Q_OBJECT
private slots:
    // A signal from the session reaches the event loop instead of killing the program unsaved.
    void sessionSignalsArriveOnTheEventLoop()
    {
        TerminationSignals termination;
        QVERIFY(termination.active());
        QSignalSpy spy(&termination, &TerminationSignals::terminationRequested);
        ::raise(SIGTERM);
        ::raise(SIGHUP);
        QTRY_COMPARE(spy.size(), 2);
        QCOMPARE(spy.at(0).at(0).toInt(), SIGTERM);
        QCOMPARE(spy.at(1).at(0).toInt(), SIGHUP);
    }
};

TW_TEST(TerminationTest)
#include "termination_test.moc"
