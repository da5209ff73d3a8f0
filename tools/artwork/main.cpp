// wl_artwork: draws every picture the program carries and writes them into res/, together
// with the binary menu and accelerator table; optionally a contact sheet for review.
//
//   wl_artwork --res <repo>/res [--sheet <file.png>]
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>

#include "tools/artwork/artwork.h"

namespace {

bool WriteFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    return file.write(data) == data.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption resOption(QStringLiteral("res"),
                                       QStringLiteral("The res/ folder to write into."),
                                       QStringLiteral("dir"));
    const QCommandLineOption sheetOption(QStringLiteral("sheet"),
                                         QStringLiteral("Also write a contact sheet PNG."),
                                         QStringLiteral("file"));
    parser.addOption(resOption);
    parser.addOption(sheetOption);
    parser.process(app);

    ArtworkList art;
    DrawPageButtons(art);
    DrawFrameButtons(art);
    DrawFramePieces(art);
    DrawTabItems(art);
    DrawTreeIcons(art);
    DrawApplicationIcon(art);
    DrawAboutImages(art);

    if (parser.isSet(resOption)) {
        const QDir res(parser.value(resOption));
        for (const char* sub : {"bitmap", "bitmap/en", "icon", "menu", "accelerator"}) {
            res.mkpath(QLatin1String(sub));
        }
        for (const Artwork& item : art) {
            const QString path =
                res.filePath(item.kind + QLatin1Char('/') + item.name + QStringLiteral(".png"));
            if (!item.image.save(path, "PNG", 9)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
        if (!WriteFile(res.filePath(QStringLiteral("menu/132.bin")), MenuTemplate132()) ||
            !WriteFile(res.filePath(QStringLiteral("accelerator/132.bin")),
                       AcceleratorTable132())) {
            std::fprintf(stderr, "cannot write the menu or accelerator data\n");
            return 1;
        }
        std::printf("wrote %zu images, menu 132 and accelerators 132 into %s\n", art.size(),
                    qPrintable(res.absolutePath()));
    }
    if (parser.isSet(sheetOption)) {
        const QString path = parser.value(sheetOption);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!ContactSheet(art).save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        // The assembled frame at twice its size, to judge the pixels.
        const QImage preview = FramePreview(art, 747);
        const QString previewPath =
            QFileInfo(path).absolutePath() + QStringLiteral("/frame_preview.png");
        preview.scaled(preview.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation)
            .save(previewPath, "PNG");
        std::printf("wrote the contact sheet %s and %s\n", qPrintable(path),
                    qPrintable(previewPath));
    }
    return 0;
}
