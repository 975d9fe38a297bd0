#include "tests/support/TestData.h"
#include "ui/DropCascade.h"
#include "ui/PopoverDropArea.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarno;

namespace {

using Text = PasteboardCapture;

// A provider answering exactly as told, like a platform provider would.
class ScriptedProvider : public DropItemProvider
{
public:
    QList<DropItemType> offered;
    DropDataAnswer imageAnswer;
    DropItemAnswer textAnswer;
    DropItemAnswer urlAnswer;

    bool hasItemConformingTo(DropItemType type) const override { return offered.contains(type); }
    DropDataAnswer loadDataRepresentation(DropItemType type) const override
    {
        return type == DropItemType::image ? imageAnswer : DropDataAnswer{};
    }
    DropItemAnswer loadItem(DropItemType type) const override
    {
        if (type == DropItemType::plainText)
            return textAnswer;
        if (type == DropItemType::fileURL)
            return urlAnswer;
        return std::monostate{};
    }
};

std::shared_ptr<ScriptedProvider> provider(std::initializer_list<DropItemType> offered)
{
    auto result = std::make_shared<ScriptedProvider>();
    result->offered = offered;
    return result;
}

const DropLoadError failure{DropLoadError::Code::failed};
const DropLoadError cannotDecode{DropLoadError::Code::cannotDecodeContentData};

class DropCascadeTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    QUrl file(const QString &name, const QByteArray &bytes)
    {
        return QUrl::fromLocalFile(writeFile(dir.filePath(name), bytes));
    }

    // What one provider offering these kinds, answering so, yields.
    static PasteboardCaptures drop(std::initializer_list<DropItemType> offered, DropDataAnswer image,
                                   DropItemAnswer text, DropItemAnswer url = {})
    {
        auto p = provider(offered);
        p->imageAnswer = std::move(image);
        p->textAnswer = std::move(text);
        p->urlAnswer = std::move(url);
        return droppedCaptures({p});
    }
    static PasteboardCaptures fileOnly(const DropItemAnswer &url)
    {
        return drop({DropItemType::fileURL}, {}, {}, url);
    }
};

// Image data first, without a floor; then text, untrimmed; then the file, by the pasteboard's rule.
TEST_F(DropCascadeTest, EachProviderYieldsItsFirstUsableAnswer)
{
    using enum DropItemType;
    EXPECT_EQ(drop({image, plainText}, {QByteArray("tiny"), std::nullopt}, QStringLiteral("caption")),
              PasteboardCaptures{PasteboardCapture::image("tiny")});
    // An error, and an answer with neither data nor error, both fail the image step.
    for (const DropDataAnswer &answer : {DropDataAnswer{std::nullopt, failure}, DropDataAnswer{}}) {
        EXPECT_EQ(drop({image, plainText}, answer, QStringLiteral("  spaced out \n")),
                  PasteboardCaptures{Text::text("  spaced out \n")});
    }
    // An error wins over data delivered with it.
    EXPECT_EQ(drop({image, fileURL}, {QByteArray("bytes"), failure}, {}, file("note.txt", " hello \n")),
              PasteboardCaptures{Text::text("hello")});
    // Empty text yields nothing unless the provider also offers a file.
    EXPECT_TRUE(drop({plainText}, {}, QString()).isEmpty());
    EXPECT_EQ(drop({plainText, fileURL}, {}, QString(), file("a.md", "# title\n")),
              PasteboardCaptures{Text::text("# title")});
}

TEST_F(DropCascadeTest, TextLoaderAnswers)
{
    auto p = provider({DropItemType::plainText});
    p->textAnswer = QByteArray("caf\xc3\xa9 ");
    EXPECT_EQ(std::get<QString>(loadText(*p)), QString::fromUtf8("caf\xc3\xa9 "));
    p->textAnswer = QByteArray("caf\xe9");
    EXPECT_EQ(std::get<DropLoadError>(loadText(*p)), cannotDecode);
    p->textAnswer = QUrl(QStringLiteral("https://example.org"));
    EXPECT_EQ(std::get<DropLoadError>(loadText(*p)), cannotDecode);
    p->textAnswer = std::monostate{};
    EXPECT_EQ(std::get<DropLoadError>(loadText(*p)), cannotDecode);
    p->textAnswer = failure;
    EXPECT_EQ(std::get<DropLoadError>(loadText(*p)), failure);
    EXPECT_EQ(std::get<DropLoadError>(loadImageData(*p)), cannotDecode);
}

TEST_F(DropCascadeTest, FileURLLoaderAnswers)
{
    auto p = provider({DropItemType::fileURL});
    const QUrl note = file("n.txt", "note");
    p->urlAnswer = note.toEncoded();
    EXPECT_EQ(std::get<QUrl>(loadFileURL(*p)), note);
    EXPECT_EQ(fileOnly(note.toEncoded()), PasteboardCaptures{Text::text("note")});
    p->urlAnswer = QByteArray();
    EXPECT_EQ(std::get<DropLoadError>(loadFileURL(*p)), cannotDecode);
    p->urlAnswer = QStringLiteral("file:///etc/hostname");
    EXPECT_EQ(std::get<DropLoadError>(loadFileURL(*p)), cannotDecode);
    p->urlAnswer = failure;
    EXPECT_EQ(std::get<DropLoadError>(loadFileURL(*p)), failure);
}

TEST_F(DropCascadeTest, FileRuleKeepsTheFloorForImageFilesAndTrimsTextFiles)
{
    const QByteArray big = patternedPng({40, 30});
    ASSERT_GT(big.size(), 128);
    EXPECT_EQ(fileOnly(file("shot.png", big)), PasteboardCaptures{PasteboardCapture::image(big)});
    EXPECT_EQ(fileOnly(file("edge.PNG", QByteArray(129, 'x'))),
              PasteboardCaptures{PasteboardCapture::image(QByteArray(129, 'x'))});
    EXPECT_TRUE(fileOnly(file("small.png", QByteArray(128, 'x'))).isEmpty());
    EXPECT_EQ(fileOnly(file("hello.txt", "  hello \n")), PasteboardCaptures{Text::text("hello")});
    EXPECT_TRUE(fileOnly(file("blank.txt", "   \n\t ")).isEmpty());
    EXPECT_TRUE(fileOnly(file("bad.json", "{\"a\": \"\xff\xfe\"}")).isEmpty());
    EXPECT_TRUE(fileOnly(file("data.xyz", "hello there")).isEmpty());
    EXPECT_TRUE(fileOnly(QUrl::fromLocalFile(dir.filePath("missing.txt"))).isEmpty());
    EXPECT_TRUE(fileOnly(QUrl::fromLocalFile(dir.path() + QStringLiteral("/"))).isEmpty());
    EXPECT_TRUE(fileOnly(QUrl(QStringLiteral("https://example.org/shot.png"))).isEmpty());
}

TEST_F(DropCascadeTest, DeliversOnceInDropOrderAndNeverForAnEmptyDrop)
{
    auto first = provider({DropItemType::plainText});
    first->textAnswer = QStringLiteral("one");
    auto dud = provider({});
    auto second = provider({DropItemType::image});
    second->imageAnswer = {QByteArray("img"), std::nullopt};

    QList<PasteboardCaptures> calls;
    loadDroppedCaptures({first, dud, nullptr, second}, [&](const PasteboardCaptures &c) { calls << c; });
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls.first(), (PasteboardCaptures{Text::text("one"), PasteboardCapture::image("img")}));

    calls.clear();
    loadDroppedCaptures({dud, provider({DropItemType::plainText})},
                        [&](const PasteboardCaptures &c) { calls << c; });
    EXPECT_TRUE(calls.isEmpty());
}

// Drags as real X11 programs offer them, through the QMimeData a drop carries.
class X11PayloadTest : public DropCascadeTest
{
protected:
    PasteboardCaptures drop(const QMimeData &data) { return droppedCaptures(dropItemProviders(data)); }
};

// How the formats are read is the pasteboard's (its own tests cover charsets, links and lists of
// files); these are what the drop makes of the result.
TEST_F(X11PayloadTest, DragsOfOtherProgramsYieldWhatTheyCarry)
{
    const QByteArray png = patternedPng({40, 30});
    const QUrl image = file("Holiday photo.png", png);
    const QUrl notes = file("notes.md", "\n  - milk\n");
    const QUrl a = file("a.txt", "alpha");
    const QUrl b = file("b.txt", "beta");
    const struct
    {
        const char *name;
        QList<std::pair<QString, QByteArray>> formats;
        PasteboardCaptures expected;
    } cases[] = {
        {"fileManagerFilesNotTheTextOfTheirPaths",
         {{"text/uri-list", image.toEncoded() + "\r\n" + notes.toEncoded() + "\r\n"},
          {"text/plain", (image.toLocalFile() + "\n" + notes.toLocalFile()).toUtf8()}},
         {PasteboardCapture::image(png), Text::text("- milk")}},
        {"browserImageTakesThePngOverOtherImages",
         {{"text/html", "<img src=\"https://example.org/cat.png\">"},
          {"text/uri-list", "https://example.org/cat.png\r\n"},
          {"text/plain", "https://example.org/cat.png"},
          {"image/bmp", "BM-not-what-we-want"},
          {"image/png", png}},
         {PasteboardCapture::image(png)}},
        {"editorTextKeepsItsSpaces",
         {{"text/plain;charset=utf-8", "  na\xc3\xafve();\n"}},
         {Text::text(QString::fromUtf8("  na\xc3\xafve();\n"))}},
        {"imageBytesWithoutAFloor",
         {{"image/png", "\x89PNG tiny"}},
         {PasteboardCapture::image("\x89PNG tiny")}},
        {"failedImageTransferFallsBackToText",
         {{"image/jpeg", QByteArray()}, {"text/plain", "alt text"}},
         {Text::text("alt text")}},
        {"ownTextFirstThenEachFile",
         {{"text/uri-list", a.toEncoded() + "\n" + b.toEncoded() + "\nhttps://example.org/\n"},
          {"text/plain", "a note of its own"}},
         {Text::text("a note of its own"), Text::text("alpha"), Text::text("beta")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QMimeData data;
        for (const auto &[format, bytes] : c.formats)
            data.setData(format, bytes);
        EXPECT_EQ(drop(data), c.expected);
    }
}

TEST_F(X11PayloadTest, AnImageHandedOverAsAnObjectIsTaken)
{
    // As this program's own drags do.
    QMimeData object;
    QImage picture(8, 6, QImage::Format_RGB32);
    picture.fill(Qt::red);
    object.setImageData(picture);
    const PasteboardCaptures captures = drop(object);
    ASSERT_EQ(captures.size(), 1);
    ASSERT_TRUE(captures.first().isImage());
    EXPECT_EQ(QImage::fromData(captures.first().imageBytes()).size(), QSize(8, 6));
}

TEST_F(X11PayloadTest, AcceptedTypes)
{
    const auto accepts = [](const char *format) {
        QMimeData data;
        data.setData(format, "x");
        return isAcceptedDrop(data);
    };
    for (const char *format : {"text/plain", "text/plain;charset=utf-8", "image/webp", "text/uri-list"})
        EXPECT_TRUE(accepts(format)) << format;
    for (const char *format : {"text/html", "x-special/gnome-copied-files", "application/octet-stream"})
        EXPECT_FALSE(accepts(format)) << format;
}

// The drop area as the view uses it, driven by the events a window delivers.
class PopoverDropAreaTest : public ::testing::Test
{
protected:
    PopoverDropArea area;
    QList<PasteboardCaptures> calls;

    void SetUp() override
    {
        area.setSize(QSizeF(360, 480));
        area.setDropHandler([this](const PasteboardCaptures &captures) { calls << captures; });
    }

    bool enter(QObject &target, const QMimeData &data)
    {
        QDragEnterEvent event(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        event.ignore();
        QCoreApplication::sendEvent(&target, &event);
        return event.isAccepted();
    }

    bool dropOn(QObject &target, const QMimeData &data)
    {
        QDropEvent event(QPointF(10, 10), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        event.ignore();
        QCoreApplication::sendEvent(&target, &event);
        EXPECT_EQ(event.dropAction(), Qt::CopyAction);
        return event.isAccepted();
    }
};

TEST_F(PopoverDropAreaTest, TargetedWhileAMatchingDragHovers)
{
    QSignalSpy changes(&area, &PopoverDropArea::dropTargetedChanged);
    QMimeData html;
    html.setData("text/html", "<b>x</b>");
    EXPECT_FALSE(enter(area, html));
    EXPECT_FALSE(area.isDropTargeted());

    QMimeData text;
    text.setText(QStringLiteral("hi"));
    EXPECT_TRUE(enter(area, text));
    EXPECT_TRUE(area.isDropTargeted());
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(&area, &leave);
    EXPECT_FALSE(area.isDropTargeted());
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(PopoverDropAreaTest, HidingEndsTheTargetedState)
{
    QMimeData text;
    text.setText(QStringLiteral("hi"));
    ASSERT_TRUE(enter(area, text));
    area.setVisible(false);
    EXPECT_FALSE(area.isDropTargeted());

    // The popover's window closing under a hovering drag sends no leave.
    QQuickWindow window;
    area.setVisible(true);
    area.setParentItem(window.contentItem());
    window.show();
    ASSERT_TRUE(enter(area, text));
    window.hide();
    EXPECT_FALSE(area.isDropTargeted());
    area.setParentItem(nullptr);
}

TEST_F(PopoverDropAreaTest, DropIsAcceptedAtOnceAndDeliveredOnceOnALaterTurnIfAnything)
{
    auto data = std::make_unique<QMimeData>();
    data->setText(QStringLiteral(" dropped "));
    EXPECT_TRUE(enter(area, *data));
    EXPECT_TRUE(dropOn(area, *data));
    EXPECT_FALSE(area.isDropTargeted());
    EXPECT_TRUE(calls.isEmpty());
    // The drag's data is gone once the drop is over; what was dropped must not be.
    data.reset();
    QCoreApplication::processEvents();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls.first(), PasteboardCaptures{Text::text(" dropped ")});
    QCoreApplication::processEvents();
    EXPECT_EQ(calls.size(), 1);

    // Nothing loadable is still accepted, and calls nothing.
    QMimeData nothing;
    nothing.setData("text/uri-list", "file:///nonexistent/tarno-drop-test.png\n");
    EXPECT_TRUE(dropOn(area, nothing));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls.size(), 1);
}

TEST_F(PopoverDropAreaTest, DeliveryOutlivesTheDropArea)
{
    auto popover = std::make_unique<PopoverDropArea>();
    popover->setDropHandler([this](const PasteboardCaptures &captures) { calls << captures; });
    QMimeData data;
    data.setText(QStringLiteral("late"));
    EXPECT_TRUE(dropOn(*popover, data));
    popover.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, QList<PasteboardCaptures>{PasteboardCaptures{Text::text("late")}});
}

} // namespace
