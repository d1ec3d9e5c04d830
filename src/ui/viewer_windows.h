#pragma once

#include <QWidget>

class ArticleViewer;
class Mp3Preview;
class QLabel;
class QPlainTextEdit;

// "frmViewArt": one article as plain text; nothing in it is read as markup.
class ViewerWindow : public QWidget {
    Q_OBJECT
public:
    explicit ViewerWindow(ArticleViewer& viewer, QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ArticleViewer& m_viewer;
    QPlainTextEdit* m_text = nullptr;
};

// "frmPreviewMP3": the progress of fetching a part for a preview.
class PreviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWindow(Mp3Preview& preview, QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Mp3Preview& m_preview;
    QLabel* m_label = nullptr;
};
