#pragma once

#include <QDialog>

// The quick guide "Help" shows when the program folder holds no help file of its own.
class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
};
