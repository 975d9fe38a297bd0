// A small window that another program can drag from: it shows at the given position, prints "ready"
// once it is on screen, and on a left press starts a real drag offering the file as a URI list (and
// its path as plain text, as file managers do), or with --raw the bytes given as plain text and, if
// any, as a URI list. When the drag ends it prints "dropped copy" or "dropped none", and serves the
// data until it is terminated.
//
//   drag_source X Y FILE
//   drag_source X Y --raw TEXT [URIS]
#include <QDrag>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QUrl>

#include <cstdio>

namespace {

class Source : public QRasterWindow
{
public:
    explicit Source(QStringList arguments) : m_arguments(std::move(arguments)) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(QRect(QPoint(0, 0), size()), Qt::darkCyan);
        if (!m_announced) {
            m_announced = true;
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        auto *data = new QMimeData;
        if (m_arguments.first() == "--raw") {
            data->setData("text/plain", m_arguments.value(1).toUtf8());
            if (m_arguments.size() > 2)
                data->setData("text/uri-list", m_arguments.at(2).toUtf8());
        } else {
            data->setUrls({QUrl::fromLocalFile(m_arguments.first())});
            data->setText(m_arguments.first());
        }
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction);
        std::printf("dropped %s\n", action == Qt::CopyAction ? "copy" : "none");
        std::fflush(stdout);
        // The drop target may still be asking for the data after the drag has ended here, so the
        // program stays until it is told to go.
    }

private:
    QStringList m_arguments;
    bool m_announced = false;
};

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = QGuiApplication::arguments().mid(3);
    if (arguments.isEmpty() || arguments.size() > (arguments.first() == "--raw" ? 3 : 1))
        return 2;
    Source source{arguments};
    source.setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    source.setGeometry(QString::fromLatin1(argv[1]).toInt(), QString::fromLatin1(argv[2]).toInt(), 120, 80);
    source.show();
    return QGuiApplication::exec();
}
