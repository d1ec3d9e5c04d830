#pragma once

#include <QDialog>

class AppContext;
class FolderPicker;

// Chooses the base download folder or the cache folder; "&OK" writes the selection (always
// ending in "/") into the settings record.
class FolderChooser : public QDialog {
    Q_OBJECT
public:
    enum class Target { Download, Cache };

    FolderChooser(AppContext& context, Target target, QWidget* parent = nullptr);

    [[nodiscard]] QString selection() const;
    void setSelection(const QString& folder);

private:
    void acceptSelection();

    AppContext& m_ctx;
    Target m_target;
    FolderPicker* m_picker = nullptr;
};
