#include "batch/batch_moves.h"
#include "support/test_registry.h"

#include <QTest>

namespace {

using Rows = std::vector<QueueRow>;

// Top and Bottom done literally, a row copied into its new place and the old one removed, one row
// at a time; positions are 1-based as the commands describe them.
struct Literal {
    Rows r;
    QueueRow at(size_t i) const { return r[i - 1]; }
    void insert(size_t i, QueueRow q) { r.insert(r.begin() + static_cast<long>(i - 1), q); }
    void remove(size_t i) { r.erase(r.begin() + static_cast<long>(i - 1)); }

    void top()
    {
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t i = 2; i <= r.size(); ++i) {
                if (at(i).selected) {
                    insert(1, at(i));
                    remove(i + 1);
                }
            }
        }
    }
    void bottom()
    {
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t i = r.size(); i >= 1; --i) {
                if (at(i).selected && i != r.size()) {
                    r.push_back(at(i));
                    remove(i);
                }
            }
        }
    }
};

} // namespace

class BatchMovesTest : public QObject {
    Q_OBJECT
private slots:
    void topAndBottomMatchTheRowByRowCommands()
    {
        constexpr int n = 6;
        for (int mask = 0; mask < (1 << n); ++mask) {
            Rows start;
            for (int i = 0; i < n; ++i)
                start.push_back({ i + 1, ((mask >> i) & 1) != 0 });
            Rows fast = start;
            Literal slow { start };
            moveRowsToTop(fast);
            slow.top();
            QVERIFY(fast == slow.r);
            fast = start;
            slow.r = start;
            moveRowsToBottom(fast);
            slow.bottom();
            QVERIFY(fast == slow.r);
        }
    }
};

TW_TEST(BatchMovesTest)
#include "batch_moves_test.moc"
