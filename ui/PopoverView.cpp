#include "ui/PopoverView.h"

#include "model/LoginItem.h"
#include "platform/api/Platform.h"
#include "ui/ClipImageProvider.h"
#include "ui/PopoverDropArea.h"
#include "ui/PopoverViewModel.h"
#include "ui/ShadowImageProvider.h"
#include "ui/Symbols.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>

// The module's type registration lives in an object of this static library that nothing else
// refers to; this reference keeps the linker from dropping it.
void qml_register_types_Tarno_Ui();
namespace {
[[maybe_unused]] void (*volatile const keepModuleTypes)() = &qml_register_types_Tarno_Ui;
}

namespace tarno {

QQuickItem *createPopoverView(QQmlEngine &engine, QQuickItem *parent, ClipboardHistoryViewModel &history,
                              GleanerySettings &settings, DropCapturesCallback onDropCaptures,
                              std::function<bool()> isCapturingPaused,
                              std::optional<ScreenshotEnvironment> screenshotEnvironment,
                              ShortcutSetting *shortcut)
{
    const Platform &platform = Platform::current();
    // The module is compiled in under qrc:/Tarno/Ui.
    if (!engine.importPathList().contains(QStringLiteral("qrc:/")))
        engine.addImportPath(QStringLiteral("qrc:/"));
    if (!engine.imageProvider(QStringLiteral("symbols")))
        engine.addImageProvider(QStringLiteral("symbols"), new SymbolImageProvider);
    if (!engine.imageProvider(QStringLiteral("shadows")))
        engine.addImageProvider(QStringLiteral("shadows"), new ShadowImageProvider);
    if (!engine.imageProvider(QStringLiteral("clips")))
        engine.addImageProvider(QStringLiteral("clips"), new ClipImageProvider(history, *platform.codec));

    // The disk holds the login item's state, so one made with each view shows the truth as well.
    auto loginItem = platform.autostartFolder
                         ? std::make_unique<LoginItem>(*platform.autostartFolder, platform.fileEvents,
                                                       platform.runtime->mainQueue())
                         : nullptr;
    auto *model = new PopoverViewModel(
        history, settings,
        {*platform.runtime, *platform.codec, *platform.generalPasteboard, *platform.processRunner,
         loginItem.get(), platform.isClipboardAccessLimited, shortcut},
        std::move(isCapturingPaused), nullptr, std::move(screenshotEnvironment));
    if (loginItem)
        loginItem.release()->setParent(model);
    if (auto *thumbnails = dynamic_cast<ClipImageProvider *>(engine.imageProvider(QStringLiteral("clips"))))
        model->setDragThumbnails([thumbnails](const QUuid &id) { return thumbnails->cachedThumbnail(id); });
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Tarno/Ui/GleaneryPopoverView.qml")));
    if (component.isError()) {
        // Only a build that ships broken views gets here.
        qWarning().noquote() << component.errorString();
        delete model;
        return nullptr;
    }
    QObject *object = component.createWithInitialProperties(
        {{QStringLiteral("model"), QVariant::fromValue(model)}}, engine.rootContext());
    auto *item = qobject_cast<QQuickItem *>(object);
    if (!item) {
        delete object;
        delete model;
        return nullptr;
    }
    // The view model lives and dies with the view.
    model->setParent(item);
    QQmlEngine::setObjectOwnership(model, QQmlEngine::CppOwnership);
    item->setParentItem(parent);
    item->setParent(parent);

    if (auto *dropArea = item->findChild<PopoverDropArea *>(QStringLiteral("dropArea")))
        dropArea->setDropHandler(std::move(onDropCaptures));
    return item;
}

} // namespace tarno
