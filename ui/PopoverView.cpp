#include "ui/PopoverView.h"

#include "platform/api/Platform.h"
#include "ui/PopoverViewModel.h"
#include "ui/ShadowImageProvider.h"
#include "ui/Symbols.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>

// The drag-and-drop pieces of this folder, when the build has them (see CMakeLists.txt).
#ifdef TARNO_HAS_CLIP_IMAGES
#include "ui/ClipImageProvider.h"
#endif
#ifdef TARNO_HAS_DROP_AREA
#include "ui/PopoverDropArea.h"
#endif

// The module's type registration lives in an object of this static library that nothing else
// refers to; this reference keeps the linker from dropping it.
void qml_register_types_Tarno_Ui();
namespace {
[[maybe_unused]] void (*volatile const keepModuleTypes)() = &qml_register_types_Tarno_Ui;
}

namespace tarno {

QQuickItem *createPopoverView(QQmlEngine &engine, QQuickItem *parent, ClipboardHistoryViewModel &history,
                              GleanerySettings &settings, DropCapturesCallback onDropCaptures)
{
    const Platform &platform = Platform::current();
    // The module is compiled in under qrc:/Tarno/Ui.
    if (!engine.importPathList().contains(QStringLiteral("qrc:/")))
        engine.addImportPath(QStringLiteral("qrc:/"));
    if (!engine.imageProvider(QStringLiteral("symbols")))
        engine.addImageProvider(QStringLiteral("symbols"), new SymbolImageProvider);
    if (!engine.imageProvider(QStringLiteral("shadows")))
        engine.addImageProvider(QStringLiteral("shadows"), new ShadowImageProvider);
#ifdef TARNO_HAS_CLIP_IMAGES
    if (!engine.imageProvider(QStringLiteral("clips")))
        engine.addImageProvider(QStringLiteral("clips"), new ClipImageProvider(history, *platform.codec));
#endif

    auto *model = new PopoverViewModel(
        history, settings,
        {*platform.runtime, *platform.codec, *platform.generalPasteboard, *platform.processRunner});
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

#ifdef TARNO_HAS_DROP_AREA
    // The drop area sits in the item tree under a loader; look there, not only among QObject children.
    PopoverDropArea *dropArea = item->findChild<PopoverDropArea *>(QStringLiteral("dropArea"));
    for (QList<QQuickItem *> pending{item}; !dropArea && !pending.isEmpty();) {
        QQuickItem *candidate = pending.takeFirst();
        if (candidate->objectName() == QStringLiteral("dropArea"))
            dropArea = qobject_cast<PopoverDropArea *>(candidate);
        pending.append(candidate->childItems());
    }
    if (dropArea)
        dropArea->setDropHandler(std::move(onDropCaptures));
#else
    // Drops arrive with the drop module; the view already has its place ("dropArea").
    Q_UNUSED(onDropCaptures)
#endif
    return item;
}

} // namespace tarno
