#include "ui/folder_chooser.h"

#include "app/app_context.h"

FolderChooser::FolderChooser(AppContext& context, Target target, QWidget* parent)
    : QDialog(parent)
    , m_ctx(context)
    , m_target(target)
{
}

QString FolderChooser::selection() const { return {}; }
void FolderChooser::setSelection(const QString&) {}
