#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace tarno {

// What the views need to know about the desktop they are drawn on.
class Desktop : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool compositorActive READ compositorActive NOTIFY compositorActiveChanged)

public:
    explicit Desktop(QObject *parent = nullptr);

    // Whether a compositing manager runs, so translucent windows blend with what lies behind them;
    // follows managers starting and stopping.
    bool compositorActive() const;

Q_SIGNALS:
    void compositorActiveChanged();
};

} // namespace tarno
