#include "ui/group_properties.h"
#include "ui/window_keys.h"

#include "program/app_context.h"
#include "app/text.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Numbers as a blank-led decimal when not negative.
QString signedText(qint64 v) { return v < 0 ? QString::number(v) : u' ' + QString::number(v); }

} // namespace

QString GroupProperties::markText(qint64 position, qint64 last)
{
    return QStringLiteral("Set Last Read Article to ") + signedText(position) + QStringLiteral(" (")
        + signedText(last - position) + QStringLiteral(" unread articles)");
}

GroupProperties::GroupProperties(AppContext& context, quint8 key, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_ctx(context)
    , m_key(key)
    , m_slider(new QSlider(Qt::Horizontal, this))
    , m_bar(new QProgressBar(this))
    , m_label(new QLabel(this))
{
    closeOnEscape(this);
    setObjectName(QStringLiteral("frmGroupProperties"));
    setWindowTitle(QStringLiteral("Newsgroup properties"));
    const GroupRecord* r = m_ctx.groups.recordByKey(key);
    m_first = r ? r->first : 0;
    m_last = r ? r->last : 0;
    const qint64 mark = r && r->lastRead != 0 ? r->lastRead : m_first;

    // The slider counts from the range's first article, so ranges past 2^31 still fit.
    const int span = static_cast<int>(std::clamp<qint64>(m_last - m_first, 0, std::numeric_limits<int>::max()));
    const int position = static_cast<int>(std::clamp<qint64>(mark - m_first, 0, span));
    m_slider->setObjectName(QStringLiteral("sldLastRead"));
    m_slider->setRange(0, span);
    m_slider->setValue(position);
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->setTickInterval(std::max(1, static_cast<int>(std::lround(span / 40.0))));
    m_bar->setRange(0, span);
    m_bar->setValue(position);
    m_bar->setTextVisible(false);
    m_label->setObjectName(QStringLiteral("lblMark"));
    m_label->setText(markText(m_first + position, m_last));
    connect(m_slider, &QSlider::valueChanged, this, [this](int v) {
        m_bar->setValue(v);
        m_label->setText(markText(m_first + v, m_last));
    });

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(ok, &QPushButton::clicked, this, [this] {
        m_ctx.groups.ngSetReadMarkManual(m_key, m_first + m_slider->value(), false);
        close();
    });
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(displayText(r ? r->name : QByteArray()) + QStringLiteral("  (key %1)").arg(key), this));
    layout->addWidget(m_slider);
    layout->addWidget(m_bar);
    layout->addWidget(m_label);
    layout->addLayout(buttons);
    resize(460, sizeHint().height());
}
