#include "app/command_line.h"

#include <sys/stat.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <utility>

#include "app/settings_file.h"
#include "app/ui_language.h"

namespace {

enum class Outcome { Run, Help, Version, Mistake };

struct Reading {
    Outcome outcome = Outcome::Run;
    StartOptions options;
    QString mistake;
    QString help;  // the usage, as the parser writes it
};

// Qt's own options for any Qt program (QGuiApplication acts on them): accepted, not listed.
struct QtOption {
    const char* name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},
    {"qwindowtitle", true},    {"display", true},
    {"geometry", true},        {"style", true},
    {"stylesheet", true},      {"reverse", false},
    {"widgetcount", false},
};

// The names of Qt's platform plugins installed where Qt looks for them (read from each
// plugin's metadata, nothing loaded): its own folder, QT_PLUGIN_PATH, and the folders named
// by -platformpluginpath or QT_QPA_PLATFORM_PLUGIN_PATH.
QStringList PlatformNames(const QString& pluginPath) {
    QStringList folders{QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                        QStringLiteral("/platforms")};
    for (const QString& path :
         qEnvironmentVariable("QT_PLUGIN_PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts))
        folders << path + QStringLiteral("/platforms");
    folders << pluginPath << qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
    QStringList names;
    for (const QString& folder : folders) {
        if (folder.isEmpty())
            continue;
        const QDir dir(folder);
        for (const QString& file : dir.entryList({QStringLiteral("*.so")}, QDir::Files)) {
            const QJsonObject meta = QPluginLoader(dir.filePath(file)).metaData();
            for (const auto key : meta.value(QStringLiteral("MetaData"))
                                      .toObject()
                                      .value(QStringLiteral("Keys"))
                                      .toArray())
                names << key.toString();
        }
    }
    names.removeDuplicates();
    return names;
}

// Qt ends the program with an abort when the platform it is asked for ("name:options", or
// several separated by ";") is not installed: the mistake is found here instead. Empty when
// it is there, or when nothing is installed where we look (Qt may have it built in).
QString MissingPlatform(const QString& spec, const QString& pluginPath) {
    const QStringList names = PlatformNames(pluginPath);
    if (spec.isEmpty() || names.isEmpty())
        return {};
    for (const QString& one : spec.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (names.contains(one.section(QLatin1Char(':'), 0, 0), Qt::CaseInsensitive))
            return {};
    }
    return QCoreApplication::translate("CommandLine", "没有这个平台插件：%1（已安装的有：%2）")
        .arg(spec, names.join(QStringLiteral(", ")));
}

// `text` as a number from `low` to `high`, or 0.
int Number(const QString& text, int low, int high) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= low && value <= high ? value : 0;
}

Reading Read(const QStringList& arguments) {
    QCommandLineParser parser;
    // "-platform xcb" as Qt programs take it; -h and -v still work.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QCoreApplication::translate("CommandLine", "手工测试 TCP 与 UDP 网络程序的工具。"));
    const QCommandLineOption help(
        {QStringLiteral("h"), QStringLiteral("help")},
        QCoreApplication::translate("CommandLine", "显示这些选项，然后退出。"));
    const QCommandLineOption version(
        {QStringLiteral("v"), QStringLiteral("version")},
        QCoreApplication::translate("CommandLine", "显示版本，然后退出。"));
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        QCoreApplication::translate("CommandLine", "使用另一个设置文件。"),
        QCoreApplication::translate("CommandLine", "文件"));
    const QCommandLineOption tcpServer(
        QStringLiteral("tcp-server"),
        QCoreApplication::translate("CommandLine", "启动时在该端口创建 TCP 服务器。"),
        QCoreApplication::translate("CommandLine", "端口"));
    const QCommandLineOption udpServer(
        QStringLiteral("udp-server"),
        QCoreApplication::translate("CommandLine", "启动时在该端口创建 UDP 服务器。"),
        QCoreApplication::translate("CommandLine", "端口"));
    const QCommandLineOption page(
        QStringLiteral("page"),
        QCoreApplication::translate(
            "CommandLine",
            "启动时显示第 N 页：1 TCP 服务器，2 TCP 客户端，3 UDP 服务器，4 UDP 客户端。"),
        QStringLiteral("N"));
    const QCommandLineOption session(
        QStringLiteral("session"),
        QCoreApplication::translate("CommandLine", "启动时打开会话文件。"),
        QCoreApplication::translate("CommandLine", "文件"));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QCoreApplication::translate(
            "CommandLine", "不开窗口运行 --session 的会话，直到收到 SIGINT/SIGTERM 或到时。"));
    const QCommandLineOption logDir(
        QStringLiteral("log-dir"),
        QCoreApplication::translate("CommandLine", "无窗口运行时把各条目的收发记录写入该目录。"),
        QCoreApplication::translate("CommandLine", "目录"));
    const QCommandLineOption language(
        QStringLiteral("lang"),
        QCoreApplication::translate("CommandLine",
                                    "本次运行的界面语言：zh 中文，en 英文（不改变设置）。"),
        QStringLiteral("zh|en"));
    const QCommandLineOption duration(
        QStringLiteral("duration"),
        QCoreApplication::translate("CommandLine", "无窗口运行的秒数。"),
        QCoreApplication::translate("CommandLine", "秒"));
    parser.addOptions({help, version, settings, tcpServer, udpServer, page, session, headless,
                       logDir, duration, language});
    for (const QtOption& qt : kQtOptions) {
        QCommandLineOption option(QString::fromLatin1(qt.name));
        if (qt.takesValue)
            option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    Reading reading;
    reading.help = parser.helpText();
    auto mistake = [&reading](const QString& text) {
        reading.outcome = Outcome::Mistake;
        reading.mistake = text;
        return reading;
    };
    if (!parser.parse(arguments))
        return mistake(parser.errorText());
    // First, so that the answers below are in the language asked for (or kept in the
    // settings file named).
    reading.options.settingsPath = parser.value(settings);
    if (parser.isSet(language)) {
        reading.options.language = LanguageFromName(parser.value(language));
        if (!reading.options.language) {
            return mistake(
                QCoreApplication::translate("CommandLine", "界面语言有错：%1（应为 zh 或 en）")
                    .arg(parser.value(language)));
        }
    }
    if (parser.isSet(help)) {
        reading.outcome = Outcome::Help;
        return reading;
    }
    if (parser.isSet(version)) {
        reading.outcome = Outcome::Version;
        return reading;
    }
    if (!parser.positionalArguments().isEmpty())
        return mistake(QCoreApplication::translate("CommandLine", "多余的参数：%1")
                           .arg(parser.positionalArguments().join(' ')));

    StartOptions& options = reading.options;
    // Qt would open a named pipe (or a device) as the settings file and wait on it.
    struct stat status {};
    if (!options.settingsPath.isEmpty() &&
        ::stat(QFile::encodeName(options.settingsPath).constData(), &status) == 0 &&
        !S_ISREG(status.st_mode)) {
        return mistake(QCoreApplication::translate("CommandLine", "设置文件不是普通文件：%1")
                           .arg(options.settingsPath));
    }
    const QString platform = parser.isSet(QStringLiteral("platform"))
                                 ? parser.value(QStringLiteral("platform"))
                                 : qEnvironmentVariable("QT_QPA_PLATFORM");
    const QString missing =
        MissingPlatform(platform, parser.value(QStringLiteral("platformpluginpath")));
    if (!missing.isEmpty())
        return mistake(missing);
    // Qt would make the window as large as asked, whatever the screen; the frame applies it
    // kept on the screen instead (an unreadable one is ignored, as Qt does).
    for (const char* name : {"qwindowgeometry", "geometry"}) {
        if (parser.isSet(QString::fromLatin1(name)))
            options.geometry = StartGeometry::Parse(parser.value(QString::fromLatin1(name)));
    }
    const std::pair<const QCommandLineOption*, int*> servers[] = {
        {&tcpServer, &options.tcpServerPort}, {&udpServer, &options.udpServerPort}};
    for (const auto& [option, port] : servers) {
        if (!parser.isSet(*option))
            continue;
        *port = Number(parser.value(*option), 1, 65535);
        if (*port == 0) {
            return mistake(
                QCoreApplication::translate("CommandLine", "端口号有错：%1（应为 1 到 65535）")
                    .arg(parser.value(*option)));
        }
    }
    if (parser.isSet(page)) {
        options.page = Number(parser.value(page), 1, 4) - 1;
        if (options.page < 0)
            return mistake(QCoreApplication::translate("CommandLine", "页号有错：%1（应为 1 到 4）")
                               .arg(parser.value(page)));
    }
    options.sessionPath = parser.value(session);
    options.headless = parser.isSet(headless);
    options.logDir = parser.value(logDir);
    if (options.headless && options.sessionPath.isEmpty())
        return mistake(
            QCoreApplication::translate("CommandLine", "--headless 须与 --session 一起使用"));
    if (!options.headless && (parser.isSet(logDir) || parser.isSet(duration)))
        return mistake(QCoreApplication::translate("CommandLine",
                                                   "--log-dir 与 --duration 只用于 --headless"));
    if (parser.isSet(duration)) {
        options.durationSeconds = Number(parser.value(duration), 1, 2'000'000);
        if (options.durationSeconds == 0) {
            return mistake(
                QCoreApplication::translate("CommandLine", "秒数有错：%1（应为 1 到 2000000）")
                    .arg(parser.value(duration)));
        }
    }
    return reading;
}

// Takes the window geometry options out of argv, so that Qt leaves the sizing to the frame.
void DropGeometryArguments(int& argc, char** argv) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        if (std::strncmp(name, "--", 2) == 0)
            ++name;
        const bool geometry =
            std::strcmp(name, "-qwindowgeometry") == 0 || std::strcmp(name, "-geometry") == 0;
        const bool joined = std::strncmp(name, "-qwindowgeometry=", 17) == 0 ||
                            std::strncmp(name, "-geometry=", 10) == 0;
        if (geometry && i + 1 < argc) {
            ++i;  // and its value
            continue;
        }
        if (joined)
            continue;
        argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
}

void Print(std::FILE* stream, const QString& text) {
    std::fputs(text.toUtf8().constData(), stream);
}

}  // namespace

std::optional<int> ReadCommandLine(int& argc, char** argv, StartOptions& options) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const Reading first = Read(arguments);
    if (first.outcome == Outcome::Run) {
        options = first.options;
        DropGeometryArguments(argc, argv);
        return std::nullopt;
    }

    // Answering needs no display: a core application gives the program's name and Qt's
    // translated texts, and the reading is done again to use them.
    QCoreApplication core(argc, argv);
    // In the language of the run: --lang when it names one, else the one kept in a settings
    // file that can be read.
    std::optional<UiLanguage> language = first.options.language;
    if (!language) {
        const QString path = first.options.settingsPath;
        struct stat status {};
        const bool readable =
            path.isEmpty() ||
            (::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode));
        UseSettingsFile(path);
        language = readable ? KeptLanguage() : UiLanguage::Chinese;
    }
    InstallInterfaceLanguage(*language);
    const Reading answer = Read(QCoreApplication::arguments());
    switch (answer.outcome) {
        case Outcome::Help:
            Print(stdout, answer.help);
            return 0;
        case Outcome::Version:
            Print(stdout, QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                        QCoreApplication::applicationVersion()));
            return 0;
        default:
            Print(stderr, QStringLiteral("%1: %2\n\n%3")
                              .arg(QCoreApplication::applicationName().toLower(), answer.mistake,
                                   answer.help));
            return 2;
    }
}
