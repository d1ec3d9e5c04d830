#pragma once

#include <QWidget>

class Prompts;
class QFileSystemModel;
class QLabel;
class QTreeView;

// A folder tree with "New &Folder" and the "Current Selection:" line. The selection always ends in "/".
class FolderPicker : public QWidget {
    Q_OBJECT
public:
    explicit FolderPicker(Prompts& prompts, QWidget* parent = nullptr);

    [[nodiscard]] QString selection() const { return m_selection; }
    void setSelection(const QString& folder);

signals:
    void selectionChanged(const QString& folder);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void keepSelectionInView();
    void createFolder();
    void select(const QString& folder);

    Prompts& m_prompts;
    QString m_selection;
    QFileSystemModel* m_model = nullptr;
    QTreeView* m_tree = nullptr;
    QLabel* m_selectionLabel = nullptr;
    bool m_followSelection = false;
};
