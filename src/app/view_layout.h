#pragma once

#include <QList>
#include <QString>

#include <array>
#include <optional>

// Main window placement as kept in section "Sizing".
struct WindowPlacement {
    enum State { Normal = 0, Minimized = 1, Maximized = 2 };
    int windowState = Normal;
    // No stored top: keep the window's size and centre it on the screen.
    std::optional<int> top, left, width, height;
};

struct ColumnSpec {
    const char* caption;
    int defaultWidth;
};

// The three list views of the main window and their column widths.
struct ColumnLayouts {
    enum View { HeaderView = 0, BatchView = 1, ProcessedView = 2 };
    static constexpr int kViews = 3;

    std::array<QList<int>, kViews> widths;
    // The header view's sort, kept from one run to the next; -1: the list's own order.
    int headerSortColumn = -1;
    bool headerSortDescending = false;

    [[nodiscard]] static const char* section(int view);
    [[nodiscard]] static QList<ColumnSpec> columns(int view);
    [[nodiscard]] static QList<QString> captions(int view);
};
