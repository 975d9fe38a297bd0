#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

namespace tarno {

class Appearance;

// What the views need to know about the desktop they are drawn on.
class Desktop : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool dark READ isDark NOTIFY lookChanged)
    Q_PROPERTY(QColor windowColor READ windowColor NOTIFY lookChanged)
    Q_PROPERTY(QColor textColor READ textColor NOTIFY lookChanged)
    Q_PROPERTY(QColor accentColor READ accentColor NOTIFY lookChanged)

public:
    // Follows the installed platform's appearance; without one, the application's palette.
    explicit Desktop(QObject *parent = nullptr);

    // Whether the desktop asks for a dark look, and the colours of that look: the application's
    // palette when it is as dark, else a palette of our own that is.
    bool isDark() const;
    QColor windowColor() const;
    QColor textColor() const;
    QColor accentColor() const;

Q_SIGNALS:
    // The look or the palette behind it changed.
    void lookChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<Appearance> m_appearance;
};

} // namespace tarno
