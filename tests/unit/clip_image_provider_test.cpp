#include "model/ClipboardHistoryViewModel.h"
#include "platform/fake/ManualRuntime.h"
#include "platform/qt/QtImageCodec.h"
#include "tests/support/TestData.h"
#include "ui/ClipImageProvider.h"

#include <QBuffer>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickTextureFactory>
#include <QSemaphore>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace tarno;

namespace {

QByteArray png(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(30, 120, 200));
    return encodeImage(image);
}

// The real codec, counting decodes and, while closed, holding each decode until the test opens it.
class GatedCodec : public QtImageCodec
{
public:
    DecodedImagePtr imageFromData(const QByteArray &data) const override
    {
        ++started;
        if (closed)
            gate.acquire();
        ++decodes;
        return QtImageCodec::imageFromData(data);
    }
    void open()
    {
        closed = false;
        gate.release(1000);
    }

    std::atomic_bool closed{false};
    mutable std::atomic_int started{0};
    mutable std::atomic_int decodes{0};
    mutable QSemaphore gate;
};

// Tells when whoever holds the provider lets it go; its work under way has ended by then.
class WatchedProvider : public ClipImageProvider
{
public:
    WatchedProvider(ClipboardHistoryViewModel &history, const ImageCodec &codec,
                    std::shared_ptr<std::atomic_bool> gone)
        : ClipImageProvider(history, codec), m_gone(std::move(gone))
    {}
    ~WatchedProvider() override { *m_gone = true; }

private:
    std::shared_ptr<std::atomic_bool> m_gone;
};

class ClipImageProviderTest : public ::testing::Test
{
protected:
    ManualRuntime runtime;
    GatedCodec codec;
    ClipboardHistoryViewModel history{runtime, codec};
    std::unique_ptr<ClipImageProvider> provider = std::make_unique<ClipImageProvider>(history, codec);

    QString addScreenshot(QSize size = {2880, 1800})
    {
        history.add(ClipboardItem::makeImage(png(size), runtime.now()));
        return history.items().first().id.toString(QUuid::WithoutBraces);
    }

    // Asks for a thumbnail and waits for the worker to answer and for the main thread to file it.
    QImage request(const QString &id, QSize size)
    {
        std::unique_ptr<QQuickImageResponse> response(provider->requestImageResponse(id, size));
        bool finished = false;
        // Told on the test's thread, not on the worker that finishes the response.
        QObject::connect(response.get(), &QQuickImageResponse::finished, response.get(),
                         [&finished] { finished = true; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return finished; }, 10000));
        QCoreApplication::processEvents();
        std::unique_ptr<QQuickTextureFactory> factory(response->textureFactory());
        return factory ? factory->image() : QImage();
    }
};

TEST(ThumbnailSize, FitsInsideTheRequestKeepingTheAspectRatioAndNeverEnlarges)
{
    EXPECT_EQ(ClipImageProvider::thumbnailSize({2880, 1800}, {328, 128}), QSize(205, 128));
    EXPECT_EQ(ClipImageProvider::thumbnailSize({2880, 1800}, {328, 0}), QSize(328, 205));
    EXPECT_EQ(ClipImageProvider::thumbnailSize({2880, 1800}, {0, 128}), QSize(205, 128));
    EXPECT_EQ(ClipImageProvider::thumbnailSize({2880, 1800}, {}), QSize(410, 256));
    EXPECT_EQ(ClipImageProvider::thumbnailSize({100, 50}, {328, 128}), QSize(100, 50));
    EXPECT_EQ(ClipImageProvider::thumbnailSize({32768, 1}, {328, 128}), QSize(328, 1));
    EXPECT_EQ(ClipImageProvider::thumbnailSize({}, {328, 128}), QSize());
}

TEST_F(ClipImageProviderTest, AnswersAtTheRequestedSizeAndCachesPerSize)
{
    const QString id = addScreenshot();
    const QImage row = request(id, {328, 128});
    EXPECT_EQ(row.size(), QSize(205, 128));
    EXPECT_EQ(row.pixel(100, 60), qRgb(30, 120, 200));
    EXPECT_EQ(codec.decodes, 1);
    EXPECT_EQ(provider->cachedImageCount(), 1);

    EXPECT_EQ(request(id.toUpper(), {328, 128}).size(), QSize(205, 128));
    EXPECT_EQ(codec.decodes, 1);

    EXPECT_EQ(request(id, {656, 256}).size(), QSize(410, 256));
    EXPECT_EQ(codec.decodes, 2);
    EXPECT_EQ(provider->cachedImageCount(), 2);
}

TEST_F(ClipImageProviderTest, RoundedRequestsCutTheCornersAtTheRadiusScaledToTheThumbnail)
{
    const QString large = addScreenshot();
    const QImage rounded = request(large + "/rounded/20", {410, 256});
    ASSERT_EQ(rounded.size(), QSize(410, 256));
    EXPECT_EQ(qAlpha(rounded.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(rounded.pixel(409, 255)), 0);
    EXPECT_EQ(qAlpha(rounded.pixel(4, 4)), 0);
    EXPECT_EQ(qAlpha(rounded.pixel(8, 8)), 255);
    EXPECT_EQ(rounded.pixel(205, 128), qRgb(30, 120, 200));

    // A small image is answered at its own size, half the request: the radius halves with it.
    const QString small = addScreenshot({205, 128});
    const QImage halved = request(small + "/rounded/20", {410, 256});
    ASSERT_EQ(halved.size(), QSize(205, 128));
    EXPECT_EQ(qAlpha(halved.pixel(1, 1)), 0);
    EXPECT_EQ(qAlpha(halved.pixel(4, 4)), 255);

    // Square corners and rounded ones are different thumbnails of the same clip.
    EXPECT_EQ(qAlpha(request(large, {410, 256}).pixel(0, 0)), 255);
    EXPECT_EQ(provider->cachedImageCount(), 3);
    EXPECT_TRUE(request(large + "/square/20", {410, 256}).isNull());
}

TEST_F(ClipImageProviderTest, UnknownOrUndecodableClipsAnswerEmpty)
{
    history.add(ClipboardItem::makeText("words", runtime.now()));
    const QString text = history.items().first().id.toString(QUuid::WithoutBraces);
    history.add(ClipboardItem::makeImage(QByteArray(500, 'x'), runtime.now()));
    const QString junk = history.items().first().id.toString(QUuid::WithoutBraces);

    for (const QString &id :
         {QUuid::createUuid().toString(QUuid::WithoutBraces), QString("not-an-id"), text, junk})
        EXPECT_TRUE(request(id, {328, 128}).isNull()) << id.toStdString();
    EXPECT_EQ(provider->cachedImageCount(), 0);
}

TEST_F(ClipImageProviderTest, CacheEntriesLeaveWithTheirClip)
{
    const QString kept = addScreenshot({640, 400});
    const QString dropped = addScreenshot({800, 400});
    request(kept, {328, 128});
    request(dropped, {328, 128});
    request(dropped, {100, 100});
    ASSERT_EQ(provider->cachedImageCount(), 3);

    QList<ClipboardItem> items = history.items();
    items.removeIf(
        [&](const ClipboardItem &item) { return item.id.toString(QUuid::WithoutBraces) == dropped; });
    history.setItems(items);
    EXPECT_EQ(provider->cachedImageCount(), 1);
    EXPECT_EQ(request(kept, {328, 128}).size(), QSize(205, 128));
    EXPECT_EQ(codec.decodes, 3);

    history.clear();
    EXPECT_EQ(provider->cachedImageCount(), 0);
}

TEST_F(ClipImageProviderTest, ThumbnailOfAClipRemovedWhileDecodingIsAnsweredButNotCached)
{
    const QString id = addScreenshot({640, 400});
    codec.closed = true;
    std::unique_ptr<QQuickImageResponse> response(provider->requestImageResponse(id, {328, 128}));
    bool finished = false;
    QObject::connect(response.get(), &QQuickImageResponse::finished, response.get(),
                     [&finished] { finished = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return codec.started == 1; }, 10000));
    history.clear();
    codec.open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(provider->cachedImageCount(), 0);
}

TEST_F(ClipImageProviderTest, ResponsesMayOutliveTheProviderOrGoBeforeTheirAnswer)
{
    const QString id = addScreenshot({640, 400});
    codec.closed = true;
    // One response is deleted while its decode runs, as the engine does with a cancelled request.
    QQuickImageResponse *abandoned = provider->requestImageResponse(id, {100, 100});
    ASSERT_TRUE(QTest::qWaitFor([&] { return codec.started == 1; }, 10000));
    abandoned->cancel();
    delete abandoned;
    // Another is waiting behind it when the provider goes.
    std::unique_ptr<QQuickImageResponse> waiting(provider->requestImageResponse(id, {328, 128}));
    bool finished = false;
    QObject::connect(waiting.get(), &QQuickImageResponse::finished, waiting.get(),
                     [&finished] { finished = true; });
    QCoreApplication::processEvents();
    codec.open();
    provider.reset();
    // Whether it was decoded before the provider went or dropped unrun with it, it ends.
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished; }, 10000));
    QCoreApplication::processEvents();
}

TEST_F(ClipImageProviderTest, ImageElementLoadsThroughTheEngineAtItsSourceSize)
{
    const QString id = addScreenshot();
    auto engine = std::make_unique<QQmlEngine>();
    const auto providerGone = std::make_shared<std::atomic_bool>(false);
    engine->addImageProvider("clips", new WatchedProvider(history, codec, providerGone));
    QQmlComponent component(engine.get());
    component.setData("import QtQuick\nImage { asynchronous: true; sourceSize: Qt.size(328, 128) }", QUrl());
    std::unique_ptr<QObject> image(component.create());
    ASSERT_TRUE(image) << component.errorString().toStdString();
    image->setProperty("source", QUrl("image://clips/" + id));
    ASSERT_TRUE(QTest::qWaitFor([&] { return image->property("status").toInt() == 1; }, 10000));
    EXPECT_EQ(image->property("implicitWidth").toReal(), 205);
    EXPECT_EQ(image->property("implicitHeight").toReal(), 128);

    // An unknown clip is an empty picture, not a failed load.
    image->setProperty("source", QUrl("image://clips/" + QUuid::createUuid().toString(QUuid::WithoutBraces)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return image->property("status").toInt() != 2; }, 10000));
    EXPECT_EQ(image->property("status").toInt(), 1);
    EXPECT_EQ(image->property("implicitWidth").toReal(), 0);
    image->setProperty("source", QUrl("image://clips/" + id));
    ASSERT_TRUE(QTest::qWaitFor([&] { return image->property("status").toInt() == 1; }, 10000));

    // The engine goes while a second request is being decoded, after the image that asked for it:
    // the provider, its worker and the work under way go with the engine, not later.
    codec.closed = true;
    image->setProperty("sourceSize", QSize(100, 100));
    ASSERT_TRUE(QTest::qWaitFor([&] { return codec.started == 2; }, 10000));
    codec.open();
    image.reset();
    engine.reset();
    EXPECT_TRUE(*providerGone);
    QCoreApplication::processEvents();
}

} // namespace
