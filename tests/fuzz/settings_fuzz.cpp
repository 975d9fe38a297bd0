// The settings file as the program loads it at start-up, whatever it holds: the JSON store reads the
// file and the settings read their two keys through it. The whole input is the file's content.
//
// Checked: what the store reads agrees with itself, and a setting written back keeps every other
// key of the file as it was.

#include "model/GleanerySettings.h"
#include "platform/qt/JsonFileStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace tarno;

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

QTemporaryDir *folder = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    new QCoreApplication(*argc, *argv);
    // Every write of the store is synced to disk; in memory that costs nothing, so the fuzzer runs
    // a hundred times as many inputs.
    const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    folder = new QTemporaryDir(base + QStringLiteral("/tarno-fuzz-XXXXXX"));
    return folder->isValid() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = folder->filePath(QStringLiteral("settings.json"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
            return 0;
    }

    JsonFileStore store(path);
    const GleanerySettings settings(store, {});
    for (const QString &key :
         {GleanerySettings::retentionPolicyKey, GleanerySettings::screenshotsUseClipboardKey}) {
        if (store.stringValue(key) || store.boolValue(key))
            check(store.contains(key));
    }
    if (!store.contains(GleanerySettings::screenshotsUseClipboardKey))
        check(settings.screenshotsUseClipboard());
    if (!store.stringValue(GleanerySettings::retentionPolicyKey))
        check(settings.retentionPolicy() == HistoryRetentionPolicy::keepForever);

    // The file as the store read it: an object, or nothing usable.
    const QJsonDocument document = QJsonDocument::fromJson(content);
    const QJsonObject before = document.isObject() ? document.object() : QJsonObject();
    store.setBool(GleanerySettings::screenshotsUseClipboardKey, !settings.screenshotsUseClipboard());

    const JsonFileStore reread(path);
    check(reread.contains(GleanerySettings::screenshotsUseClipboardKey));
    check(reread.boolValue(GleanerySettings::screenshotsUseClipboardKey) !=
          settings.screenshotsUseClipboard());
    QFile written(path);
    check(written.open(QIODevice::ReadOnly));
    const QJsonObject after = QJsonDocument::fromJson(written.readAll()).object();
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (it.key() != GleanerySettings::screenshotsUseClipboardKey)
            check(after.value(it.key()) == it.value());
    }
    return 0;
}
