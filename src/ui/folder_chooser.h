#pragma once

#include <QDialog>

class AppContext;
class QFileSystemModel;
class QLabel;
class QTreeView;

// Chooses the base download folder or the cache folder; "&OK" writes the selection (always
// ending in "/") into the settings record.
class FolderChooser : public QDialog {
    Q_OBJECT
public:
    enum class Target { Download, Cache };

    FolderChooser(AppContext& context, Target target, QWidget* parent = nullptr);

    [[nodiscard]] QString selection() const;
    void setSelection(const QString& folder);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void keepSelectionInView();
    void createFolder();
    void acceptSelection();

    AppContext& m_ctx;
    Target m_target;
    QString m_selection;
    QFileSystemModel* m_model = nullptr;
    QTreeView* m_tree = nullptr;
    QLabel* m_selectionLabel = nullptr;
    bool m_followSelection = false;
};
