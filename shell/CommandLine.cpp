#include "shell/CommandLine.h"

#include "TarnoConfig.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace tarno {

namespace {

QString usageText(QCommandLineParser &parser, const QString &program)
{
    // The parser names the program after the application object, which does not exist yet.
    QString text = parser.helpText();
    const qsizetype end = text.indexOf(QStringLiteral(" [options]"));
    if (text.startsWith(QStringLiteral("Usage: ")) && end > 0)
        text.replace(7, end - 7, program);
    return text;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tarno keeps a history of what you copy, in the system tray."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption toggle(QStringLiteral("toggle"),
                                    QStringLiteral("Open the history, or close it when it is open."));
    const QCommandLineOption show(QStringLiteral("show"), QStringLiteral("Open the history."));
    const QCommandLineOption quit(QStringLiteral("quit"), QStringLiteral("Quit the running Tarno."));
    parser.addOptions({toggle, show, quit});

    const QString program =
        arguments.isEmpty() ? QStringLiteral("tarno") : arguments.first().section(QLatin1Char('/'), -1);
    if (!parser.parse(arguments.isEmpty() ? QStringList{program} : arguments))
        return {CommandLine::Action::invalid, parser.errorText()};
    // The parser's own --help-all adds only Qt's options, which this program does not take.
    if (parser.isSet(help) || parser.optionNames().contains(QStringLiteral("help-all")))
        return {CommandLine::Action::help, usageText(parser, program)};
    if (parser.isSet(version))
        return {CommandLine::Action::version, QStringLiteral("tarno " TARNO_VERSION)};
    if (!parser.positionalArguments().isEmpty())
        return {CommandLine::Action::invalid,
                QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first())};
    const int chosen = int(parser.isSet(toggle)) + int(parser.isSet(show)) + int(parser.isSet(quit));
    if (chosen > 1)
        return {CommandLine::Action::invalid,
                QStringLiteral("Give only one of --toggle, --show and --quit.")};
    if (parser.isSet(toggle))
        return {CommandLine::Action::toggle, {}};
    if (parser.isSet(show))
        return {CommandLine::Action::show, {}};
    if (parser.isSet(quit))
        return {CommandLine::Action::quit, {}};
    return {};
}

LaunchPlan planLaunch(CommandLine::Action action, bool anotherRunning)
{
    using Action = CommandLine::Action;
    switch (action) {
    case Action::run:
        // The one already running stays in charge.
        return anotherRunning ? LaunchPlan{LaunchPlan::Step::exit, false, 0, {}} : LaunchPlan{};
    case Action::toggle:
    case Action::show:
        // With none running, either one means the user wants the history in front of them.
        return anotherRunning ? LaunchPlan{LaunchPlan::Step::forward, false, 0, {}}
                              : LaunchPlan{LaunchPlan::Step::start, true, 0, {}};
    case Action::quit:
        return anotherRunning ? LaunchPlan{LaunchPlan::Step::forward, false, 0, {}}
                              : LaunchPlan{LaunchPlan::Step::exit, false, 1,
                                           QStringLiteral("no Tarno is running on this display")};
    case Action::help:
    case Action::version:
        return {LaunchPlan::Step::exit, false, 0, {}};
    case Action::invalid:
        break;
    }
    return {LaunchPlan::Step::exit, false, 2, {}};
}

QString displayInstanceKey(const QString &x11Display, const QString &waylandDisplay)
{
    QString key;
    // [host]:number[.screen]; every screen of one display is one Tarno's.
    static const QRegularExpression x11(QStringLiteral(R"(^(.*):(\d+)(\.\d+)?$)"));
    const QRegularExpressionMatch match = x11.match(x11Display);
    if (match.hasMatch()) {
        const QString host = match.captured(1);
        const bool local =
            host.isEmpty() || host == QStringLiteral("unix") || host == QStringLiteral("localhost");
        key = (local ? QString() : host + QLatin1Char('_')) + QLatin1Char('x') + match.captured(2);
    } else if (!x11Display.isEmpty()) {
        key = QLatin1Char('x') + x11Display;
    } else if (!waylandDisplay.isEmpty()) {
        key = waylandDisplay.section(QLatin1Char('/'), -1);
    } else {
        key = QStringLiteral("none");
    }
    for (QChar &c : key) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128))
            c = QLatin1Char('_');
    }
    // A bus name's element may not start with a digit.
    if (key.front().isDigit())
        key.prepend(QLatin1Char('_'));
    return key;
}

QString controlServiceName(const QString &displayKey)
{
    return QStringLiteral(TARNO_APP_ID ".") + displayKey;
}

} // namespace tarno
