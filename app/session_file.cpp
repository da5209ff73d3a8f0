#include "app/session_file.h"

#include <iconv.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cmath>

namespace {

constexpr auto kFormat = "wirelark-session";
// The pages' keys, in the frame's tab order.
const char* const kPageKeys[] = {"tcp-server", "tcp-client", "udp-server", "udp-client"};

QString Dotted(const Endpoint& address) {
    return QString::fromStdString(address.AddressText());
}

// ---- writing ---------------------------------------------------------------------------------

QJsonObject PageToJson(int index, const PageSnapshot& page) {
    QJsonObject object;
    const bool server = index == 0 || index == 2;
    if (server) {
        object[QStringLiteral("port")] = page.serverPort;
        object[QStringLiteral("listening")] = page.listening;
        object[QStringLiteral("echo")] = page.echo;
    }
    if (index == 0 && page.tls) {
        object[QStringLiteral("tls")] = true;
        if (!page.certificate.isEmpty()) {
            object[QStringLiteral("certificate")] = page.certificate;
            object[QStringLiteral("key")] = page.key;
        }
    }
    if (index == 2) {
        QJsonArray groups;
        for (const Endpoint& group : page.groups) groups.append(Dotted(group));
        object[QStringLiteral("groups")] = groups;
    }
    if (index == 1) {
        QJsonArray entries;
        const auto& all = page.tcpClients;
        for (std::size_t i = 0; i < all.size();) {
            std::size_t end = i + 1;
            while (end < all.size() && end - i < kMaxEntriesPerRun &&
                   all[end].address == all[i].address && all[end].port == all[i].port &&
                   all[end].connected == all[i].connected && all[end].tls == all[i].tls &&
                   all[end].verify == all[i].verify && all[end].host == all[i].host)
                ++end;
            QJsonObject entry{{QStringLiteral("address"), Dotted(all[i].address)},
                              {QStringLiteral("port"), all[i].port},
                              {QStringLiteral("connected"), all[i].connected}};
            if (all[i].tls) {
                entry[QStringLiteral("tls")] = true;
                entry[QStringLiteral("verify")] = all[i].verify;
                entry[QStringLiteral("host")] = QString::fromStdString(all[i].host);
            }
            if (end - i > 1)
                entry[QStringLiteral("count")] = static_cast<int>(end - i);
            entries.append(entry);
            i = end;
        }
        object[QStringLiteral("entries")] = entries;
    }
    if (index == 3) {
        QJsonArray clients;
        const auto& all = page.udpClients;
        for (std::size_t i = 0; i < all.size();) {
            std::size_t end = i + 1;
            // A run: the same remote end, local ports one after another.
            while (end < all.size() && end - i < kMaxEntriesPerRun &&
                   all[end].address == all[i].address && all[end].remotePort == all[i].remotePort &&
                   all[end].localPort == all[end - 1].localPort + 1 &&
                   all[end].multicastTtl == all[i].multicastTtl)
                ++end;
            QJsonObject client{{QStringLiteral("address"), Dotted(all[i].address)},
                               {QStringLiteral("remotePort"), all[i].remotePort},
                               {QStringLiteral("localPort"), all[i].localPort}};
            if (end - i > 1)
                client[QStringLiteral("count")] = static_cast<int>(end - i);
            if (all[i].multicastTtl != 1)
                client[QStringLiteral("ttl")] = all[i].multicastTtl;
            clients.append(client);
            i = end;
        }
        object[QStringLiteral("clients")] = clients;
    }
    object[QStringLiteral("hex")] = QJsonObject{{QStringLiteral("received"), page.hexReceived},
                                                {QStringLiteral("sent"), page.hexSent},
                                                {QStringLiteral("send"), page.hexSend}};
    if (!page.rules.isEmpty())
        object[QStringLiteral("rules")] = page.rules;
    return object;
}

// ---- reading ---------------------------------------------------------------------------------

// Reads values out of the document, remembering the first thing wrong with the path of the
// item it concerns ("pages.tcp-client.entries[2].port").
class Reader {
public:
    bool Failed() const { return !problem_.isEmpty(); }
    const QString& Problem() const { return problem_; }

    void Fail(const QString& path, const QString& what) {
        if (problem_.isEmpty())
            problem_ = QCoreApplication::translate("SessionFile", "%1 有错：%2").arg(path, what);
    }

    // A whole number from `low` to `high`; `fallback` when the key is missing.
    int Number(const QJsonObject& object, const QString& path, const char* key, int low, int high,
               std::optional<int> fallback = std::nullopt) {
        const QJsonValue value = object.value(QLatin1String(key));
        const QString where = Join(path, key);
        if (value.isUndefined()) {
            if (!fallback)
                Fail(where, QCoreApplication::translate("SessionFile", "缺少该项"));
            return fallback.value_or(low);
        }
        const double number = value.toDouble(std::nan(""));
        if (!value.isDouble() || number != std::floor(number) || number < low || number > high) {
            Fail(where, QCoreApplication::translate("SessionFile", "%1（应为 %2 到 %3 的整数）")
                            .arg(Shown(value))
                            .arg(low)
                            .arg(high));
            return low;
        }
        return static_cast<int>(number);
    }

    bool Switch(const QJsonObject& object, const QString& path, const char* key) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return false;
        if (!value.isBool())
            Fail(Join(path, key),
                 QCoreApplication::translate("SessionFile", "%1（应为 true 或 false）")
                     .arg(Shown(value)));
        return value.toBool();
    }

    // Text; empty when the key is missing.
    QString Text(const QJsonObject& object, const QString& path, const char* key) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isUndefined() && !value.isString())
            Fail(Join(path, key),
                 QCoreApplication::translate("SessionFile", "%1（应为文本）").arg(Shown(value)));
        return value.toString();
    }

    Endpoint Address(const QJsonObject& object, const QString& path, const char* key) {
        const QJsonValue value = object.value(QLatin1String(key));
        const std::optional<Endpoint> address =
            value.isString() ? Endpoint::FromText(value.toString().toStdString(), 0) : std::nullopt;
        if (!address)
            Fail(Join(path, key),
                 QCoreApplication::translate("SessionFile", "%1 不是 IP 地址").arg(Shown(value)));
        return address.value_or(Endpoint());
    }

    QJsonObject Object(const QJsonObject& object, const QString& path, const char* key) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isUndefined() && !value.isObject())
            Fail(Join(path, key), QCoreApplication::translate("SessionFile", "应为对象"));
        return value.toObject();
    }

    QJsonArray Array(const QJsonObject& object, const QString& path, const char* key) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isUndefined() && !value.isArray())
            Fail(Join(path, key), QCoreApplication::translate("SessionFile", "应为数组"));
        return value.toArray();
    }

    static QString Join(const QString& path, const char* key) {
        return path.isEmpty() ? QString::fromLatin1(key)
                              : QStringLiteral("%1.%2").arg(path, QLatin1String(key));
    }
    static QString Shown(const QJsonValue& value) {
        if (value.isString())
            return QStringLiteral("\"%1\"").arg(value.toString());
        if (value.isUndefined())
            return QCoreApplication::translate("SessionFile", "（无）");
        return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
            .mid(1)
            .chopped(1);
    }

private:
    QString problem_;
};

// The converter knows the code page (nothing is changed).
bool KnownEncoding(const QString& name) {
    if (name.compare(QLatin1String("Ansi"), Qt::CaseInsensitive) == 0)
        return true;
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return false;
    const iconv_t converter = iconv_open(name.toLatin1().constData(), "UTF-16LE");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(converter);
    return true;
}

void ReadPage(Reader& reader, int index, const QJsonObject& object, const QString& path,
              PageSnapshot& page) {
    const bool server = index == 0 || index == 2;
    if (server) {
        page.serverPort = reader.Number(object, path, "port", 0, 65535, 0);
        page.listening = reader.Switch(object, path, "listening");
        if (page.listening && page.serverPort == 0)
            reader.Fail(
                Reader::Join(path, "port"),
                QCoreApplication::translate("SessionFile", "0（监听须有 1 到 65535 的端口）"));
        page.echo = reader.Switch(object, path, "echo");
    }
    if (index == 0) {
        page.tls = reader.Switch(object, path, "tls");
        page.certificate = reader.Text(object, path, "certificate");
        page.key = reader.Text(object, path, "key");
    }
    const QJsonObject hex = reader.Object(object, path, "hex");
    const QString hexPath = Reader::Join(path, "hex");
    page.hexReceived = reader.Switch(hex, hexPath, "received");
    page.hexSent = reader.Switch(hex, hexPath, "sent");
    page.hexSend = reader.Switch(hex, hexPath, "send");
    page.rules = reader.Object(object, path, "rules");
    if (index == 2) {
        const QJsonArray groups = reader.Array(object, path, "groups");
        for (int i = 0; i < groups.size(); ++i) {
            const QString where = QStringLiteral("%1.groups[%2]").arg(path).arg(i);
            const std::optional<Endpoint> group =
                groups[i].isString() ? Endpoint::FromText(groups[i].toString().toStdString(), 0)
                                     : std::nullopt;
            if (!group || !group->IsMulticast()) {
                reader.Fail(where, QCoreApplication::translate(
                                       "SessionFile",
                                       "%1 不是组播地址（224.0.0.0～239.255.255.255 或 ff00::/8）")
                                       .arg(Reader::Shown(groups[i])));
                continue;
            }
            page.groups.push_back(*group);
        }
    }
    if (index == 1) {
        const QJsonArray entries = reader.Array(object, path, "entries");
        for (int i = 0; i < entries.size() && !reader.Failed(); ++i) {
            const QString where = QStringLiteral("%1.entries[%2]").arg(path).arg(i);
            const QJsonObject entry = entries[i].toObject();
            TcpClientEntrySetup setup;
            setup.address = reader.Address(entry, where, "address");
            setup.port = reader.Number(entry, where, "port", 1, 65535);
            setup.connected = reader.Switch(entry, where, "connected");
            setup.tls = reader.Switch(entry, where, "tls");
            setup.verify = setup.tls && reader.Switch(entry, where, "verify");
            setup.host = reader.Text(entry, where, "host").toStdString();
            const int count = reader.Number(entry, where, "count", 1, kMaxEntriesPerRun, 1);
            if (page.tcpClients.size() + static_cast<std::size_t>(count) > kMaxEntriesPerPage)
                reader.Fail(where, QCoreApplication::translate("SessionFile", "条目总数超过 %1")
                                       .arg(kMaxEntriesPerPage));
            if (!reader.Failed())
                page.tcpClients.insert(page.tcpClients.end(), count, setup);
        }
    }
    if (index == 3) {
        const QJsonArray clients = reader.Array(object, path, "clients");
        for (int i = 0; i < clients.size() && !reader.Failed(); ++i) {
            const QString where = QStringLiteral("%1.clients[%2]").arg(path).arg(i);
            const QJsonObject client = clients[i].toObject();
            UdpClientSetup setup;
            setup.address = reader.Address(client, where, "address");
            setup.remotePort = reader.Number(client, where, "remotePort", 1, 65535);
            setup.localPort = reader.Number(client, where, "localPort", 1, 65535);
            setup.multicastTtl = reader.Number(client, where, "ttl", 1, 255, 1);
            const int count = reader.Number(client, where, "count", 1, kMaxEntriesPerRun, 1);
            if (page.udpClients.size() + static_cast<std::size_t>(count) > kMaxEntriesPerPage)
                reader.Fail(where, QCoreApplication::translate("SessionFile", "条目总数超过 %1")
                                       .arg(kMaxEntriesPerPage));
            if (setup.localPort + count - 1 > 65535) {
                reader.Fail(Reader::Join(where, "count"),
                            QCoreApplication::translate("SessionFile", "%1（本地端口将超过 65535）")
                                .arg(count));
            }
            for (int k = 0; k < count && !reader.Failed(); ++k) {
                page.udpClients.push_back(setup);
                ++setup.localPort;
            }
        }
    }
}

// Line and column (from 1) of byte `offset` of `text`.
std::pair<int, int> LineAndColumn(const QByteArray& text, int offset) {
    int line = 1;
    int column = 1;
    for (int i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++column;  // characters, not the bytes of one
        }
    }
    return {line, column};
}

}  // namespace

QByteArray SessionToJson(const Session& session) {
    QJsonObject pages;
    for (int i = 0; i < 4; ++i)
        pages[QLatin1String(kPageKeys[i])] =
            PageToJson(i, session.pages[static_cast<std::size_t>(i)]);
    const QJsonObject root{{QStringLiteral("format"), QLatin1String(kFormat)},
                           {QStringLiteral("version"), kSessionVersion},
                           {QStringLiteral("encoding"), session.encoding},
                           {QStringLiteral("pages"), pages}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

SessionReading SessionFromJson(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        const auto [line, column] = LineAndColumn(json, error.offset);
        return {std::nullopt,
                QCoreApplication::translate("SessionFile", "不是有效的 JSON：第 %1 行第 %2 列，%3")
                    .arg(line)
                    .arg(column)
                    .arg(error.errorString())};
    }
    const QJsonObject root = document.object();
    if (!document.isObject() ||
        root.value(QLatin1String("format")).toString() != QLatin1String(kFormat))
        return {std::nullopt,
                QCoreApplication::translate("SessionFile",
                                            "不是 Wirelark 会话文件（缺少 \"format\": \"%1\"）")
                    .arg(QLatin1String(kFormat))};
    const QJsonValue version = root.value(QLatin1String("version"));
    if (!version.isDouble() || version.toDouble() < 1)
        return {std::nullopt, QCoreApplication::translate("SessionFile", "会话文件的版本有错：%1")
                                  .arg(Reader::Shown(version))};
    if (std::floor(version.toDouble()) > kSessionVersion)
        return {std::nullopt, QCoreApplication::translate(
                                  "SessionFile", "会话文件的版本 %1 比本程序新（本程序读版本 %2）")
                                  .arg(version.toDouble())
                                  .arg(kSessionVersion)};

    Reader reader;
    Session session;
    const QJsonValue encoding = root.value(QLatin1String("encoding"));
    if (!encoding.isUndefined()) {
        if (!encoding.isString() || !KnownEncoding(encoding.toString()))
            reader.Fail(QStringLiteral("encoding"),
                        QCoreApplication::translate("SessionFile", "系统不支持编码 %1")
                            .arg(Reader::Shown(encoding)));
        session.encoding = encoding.toString();
    }
    const QJsonObject pages = reader.Object(root, {}, "pages");
    for (int i = 0; i < 4 && !reader.Failed(); ++i) {
        const QString path = QStringLiteral("pages.%1").arg(QLatin1String(kPageKeys[i]));
        const QJsonValue page = pages.value(QLatin1String(kPageKeys[i]));
        if (!page.isUndefined() && !page.isObject()) {
            reader.Fail(path, QCoreApplication::translate("SessionFile", "应为对象"));
            break;
        }
        ReadPage(reader, i, page.toObject(), path, session.pages[static_cast<std::size_t>(i)]);
    }
    if (reader.Failed())
        return {std::nullopt, reader.Problem()};
    return {std::move(session), {}};
}

bool WriteSessionFile(const QString& path, const Session& session, QString* problem) {
    // A temporary file beside the target, renamed over it when whole.
    QSaveFile file(path);
    const QByteArray json = SessionToJson(session);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit()) {
        if (problem)
            *problem = file.errorString();
        return false;
    }
    return true;
}

SessionReading ReadSessionFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {
            std::nullopt,
            QCoreApplication::translate("SessionFile", "无法打开文件：%1").arg(file.errorString())};
    // A session is small; anything far larger is not one.
    constexpr qint64 kLargest = 64 * 1024 * 1024;
    if (file.size() > kLargest)
        return {std::nullopt, QCoreApplication::translate("SessionFile", "文件太大，不是会话文件")};
    return SessionFromJson(file.readAll());
}
