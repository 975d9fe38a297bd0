#include "capture/PasteboardReader.h"
#include "model/ClipboardHistoryViewModel.h"
#include "platform/api/Platform.h"
#include "platform/qt/QtRuntime.h"

#include <QGuiApplication>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Tarno"));
    tarno::QtRuntime runtime;
    tarno::Platform::install(tarno::Platform{&runtime, nullptr, nullptr});
    return 0;
}
