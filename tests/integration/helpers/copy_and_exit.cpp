// Copies as an ordinary Qt program does, prints "copied" once it owns the clipboard, and exits
// normally when a line arrives on its standard input: Qt then asks the clipboard manager, if one
// runs, to save the clipboard first. Or the test kills it, and nobody is asked.
//
//   copy_and_exit text <text>
//   copy_and_exit image <picture file>
//   copy_and_exit files <path>...
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() < 2)
        return 2;
    const QString mode = arguments.at(0);
    auto *mime = new QMimeData;
    if (mode == QLatin1String("text")) {
        mime->setText(arguments.at(1));
    } else if (mode == QLatin1String("image")) {
        const QImage image(arguments.at(1));
        if (image.isNull())
            return 2;
        mime->setImageData(image);
    } else if (mode == QLatin1String("files")) {
        QList<QUrl> urls;
        QByteArray copied = "copy";
        for (const QString &path : arguments.mid(1)) {
            urls << QUrl::fromLocalFile(path);
            copied += '\n' + urls.last().toEncoded();
        }
        mime->setUrls(urls);
        mime->setData(QStringLiteral("x-special/gnome-copied-files"), copied);
    } else {
        return 2;
    }
    QGuiApplication::clipboard()->setMimeData(mime);

    QTimer owned;
    QObject::connect(&owned, &QTimer::timeout, [&owned] {
        if (!QGuiApplication::clipboard()->ownsClipboard())
            return;
        owned.stop();
        std::puts("copied");
        std::fflush(stdout);
    });
    owned.start(5);
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, &QGuiApplication::quit);
    return app.exec();
}
