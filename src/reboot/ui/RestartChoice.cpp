#include "RestartChoice.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QRadioButton>
#include <QSpinBox>

namespace vocaset {

RestartChoice::RestartChoice(QWidget* parent)
    : QWidget(parent), m_http(new QRadioButton(QStringLiteral("HTTP reboot"), this)),
      m_sip(new QRadioButton(QStringLiteral("Resync over SIP"), this)),
      m_confirm(new QCheckBox(QStringLiteral("Confirm by the next fetch"), this)), m_seconds(new QSpinBox(this))
{
    m_http->setObjectName(QStringLiteral("Http"));
    m_sip->setObjectName(QStringLiteral("Sip"));
    m_confirm->setObjectName(QStringLiteral("Confirm"));
    m_seconds->setObjectName(QStringLiteral("ConfirmSeconds"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(m_http, 0, 0);
    grid->addWidget(m_sip, 0, 1);
    grid->addWidget(m_confirm, 1, 0);
    grid->addWidget(m_seconds, 1, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);
    m_http->setChecked(true);
    // The manual suggests two minutes: time for a telephone to restart and fetch.
    m_seconds->setRange(1, 86400);
    m_seconds->setValue(120);
    m_seconds->setSuffix(QStringLiteral(" s"));
    m_seconds->setEnabled(false);
    connect(m_confirm, &QCheckBox::toggled, m_seconds, &QWidget::setEnabled);
    connect(m_sip, &QRadioButton::toggled, this, &RestartChoice::methodChanged);
}

bool RestartChoice::overSip() const
{
    return m_sip->isChecked();
}

int RestartChoice::confirmFor() const
{
    return m_confirm->isChecked() ? m_seconds->value() : 0;
}

void RestartChoice::lock(bool locked)
{
    m_http->setEnabled(!locked);
    m_sip->setEnabled(!locked);
    m_confirm->setEnabled(!locked);
    m_seconds->setEnabled(!locked && m_confirm->isChecked());
}

} // namespace vocaset
