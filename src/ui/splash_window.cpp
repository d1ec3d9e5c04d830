#include "ui/splash_window.h"

#include "program/startup.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

SplashWindow::SplashWindow(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::WindowStaysOnTopHint)
    , m_lblVersion(new QLabel(versionText(), this))
    , m_lblNFO(new QLabel(this))
    , m_progress(new QProgressBar(this))
{
    setObjectName(QStringLiteral("frmWait"));
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));
    m_lblNFO->setObjectName(QStringLiteral("lblNFO"));
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setRange(0, 10);
    m_progress->setTextVisible(false);

    auto* title = new QLabel(QStringLiteral("TideWhelk"), this);
    QFont big = title->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    title->setFont(big);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    layout->addWidget(m_lblVersion, 0, Qt::AlignHCenter);
    layout->addWidget(m_lblNFO);
    layout->addWidget(m_progress);
    setFixedSize(360, 160);
}

void SplashWindow::setCaption(const QString& caption)
{
    m_lblNFO->setText(caption);
    m_lblNFO->repaint();
}

void SplashWindow::setValue(int value) { m_progress->setValue(value); }
void SplashWindow::setMaximum(int maximum) { m_progress->setMaximum(maximum); }
QString SplashWindow::caption() const { return m_lblNFO->text(); }
int SplashWindow::value() const { return m_progress->value(); }
int SplashWindow::maximum() const { return m_progress->maximum(); }
