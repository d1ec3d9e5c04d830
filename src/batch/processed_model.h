#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

// The Processed View: one row per finished batch entry, kept for the run only.
class ProcessedModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { SubjectColumn, StatusColumn, FileColumn, ColumnCount };
    enum Role {
        SuccessRole = Qt::UserRole,
        IconKeyRole, // "proc_true" or "proc_false"
    };

    struct Row {
        QString subject;
        QString status;
        QString filePath; // empty when nothing was decoded
        bool success = false;
    };

    explicit ProcessedModel(QObject* parent = nullptr);

    void append(const Row& row);
    void clearAll();
    // Removes the rows (0-based, any order), for Clear Selected.
    void clearRows(QList<int> rows);
    [[nodiscard]] const Row& row(int row) const { return m_rows[row]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<Row> m_rows;
};
