#include "experiment/windows/sensordisplay.h"

#include <QFontDatabase>

namespace velorix {

SensorDisplay::SensorDisplay(QWidget *parent) : QLineEdit(parent)
{
    setReadOnly(true);
    setFocusPolicy(Qt::NoFocus);
    setAlignment(Qt::AlignCenter);
    const QString symbols = QStringLiteral("Wingdings");
    m_symbolFont = QFontDatabase::families().contains(symbols, Qt::CaseInsensitive);
    if (m_symbolFont) {
        QFont font(symbols);
        font.setPointSizeF(this->font().pointSizeF());
        setFont(font);
    }
    setSensorText(QStringLiteral("mmmmmmmm"));
}

void SensorDisplay::setSensorText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    setText(m_symbolFont ? text : asCircles(text));
}

QString SensorDisplay::asCircles(const QString &text)
{
    QString shown;
    for (const QChar c : text) {
        if (c == QLatin1Char('l'))
            shown += QChar(0x25CF); // BLACK CIRCLE
        else if (c == QLatin1Char('m'))
            shown += QChar(0x25CB); // WHITE CIRCLE
        else
            shown += c;
    }
    return shown;
}

} // namespace velorix
