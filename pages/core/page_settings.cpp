#include "pages/core/page_settings.h"

#include <QSettings>

namespace {
PageSettingsOpener& Opener() {
    static PageSettingsOpener open;
    return open;
}
}  // namespace

void SetPageSettingsOpener(PageSettingsOpener open) {
    Opener() = std::move(open);
}

QString PageSettingsName(int templateId) {
    switch (templateId) {
        case 129:
            return QStringLiteral("tcpServer");
        case 130:
            return QStringLiteral("tcpClient");
        case 140:
            return QStringLiteral("udpServer");
        case 141:
            return QStringLiteral("udpClient");
        default:
            return QStringLiteral("page%1").arg(templateId);
    }
}

bool ReadPageSetting(const QString& key, bool fallback) {
    if (!Opener())
        return fallback;
    const std::unique_ptr<QSettings> settings = Opener()();
    return settings ? settings->value(key, fallback).toBool() : fallback;
}

void WritePageSetting(const QString& key, bool value) {
    if (!Opener())
        return;
    if (const std::unique_ptr<QSettings> settings = Opener()())
        settings->setValue(key, value);
}

QString ReadPageText(const QString& key) {
    if (!Opener())
        return {};
    const std::unique_ptr<QSettings> settings = Opener()();
    return settings ? settings->value(key).toString() : QString();
}

void WritePageText(const QString& key, const QString& value) {
    if (!Opener())
        return;
    if (const std::unique_ptr<QSettings> settings = Opener()())
        settings->setValue(key, value);
}
