// The review sheet: every drawn resource on one page, enlarged where small, labelled by id,
// size and role. Magenta is shown as a checkerboard so that the keyed-out parts stand out.
#include <QPainter>

#include "tools/artwork/artwork.h"

namespace {

constexpr int kColumns = 8;
constexpr int kCellWidth = 190;
constexpr int kCellHeight = 190;
constexpr int kMargin = 16;
constexpr int kHeaderHeight = 40;

// Enlargement (positive) or reduction (negative: divide) so that the image fills its cell.
int ZoomFor(const QImage& image) {
    const int longest = std::max(image.width(), image.height());
    if (longest <= 24 || image.width() <= 6) {
        return 4;
    }
    if (longest <= 51 || (image.width() <= 70 && image.height() <= 45)) {
        return 2;
    }
    if (longest > 150) {
        return -(longest + 149) / 150;
    }
    return 1;
}

const Artwork* Find(const ArtworkList& art, const QString& name) {
    for (const Artwork& item : art) {
        if (item.name == name) {
            return &item;
        }
    }
    return nullptr;
}

QImage Image(const ArtworkList& art, int id) {
    const Artwork* item = Find(art, QString::number(id));
    return item != nullptr ? item->image : QImage();
}

// Draws a skin bitmap with magenta as the transparent colour.
void DrawKeyed(QPainter& painter, int x, int y, const QImage& image) {
    QImage keyed = image.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < keyed.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(row));
        for (int column = 0; column < keyed.width(); ++column) {
            if ((line[column] & 0xFFFFFF) == 0xFF00FF) {
                line[column] = 0;
            }
        }
    }
    painter.drawImage(x, y, keyed);
}

}  // namespace

// The frame's top as the program assembles it: corners, tiled edges, logo, title, tabs (item
// 0 selected, item 1 hovered), menu and close buttons, and a strip of each page colour with
// the page buttons on it.
QImage FramePreview(const ArtworkList& art, int width) {
    constexpr int kHeight = 260;
    QImage preview(width, kHeight, QImage::Format_RGB32);
    preview.fill(Qt::white);
    QPainter painter(&preview);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, width - 1, kHeight - 1);
    const QImage topLeft = Image(art, 224), topEdge = Image(art, 222), topRight = Image(art, 217);
    const QImage left = Image(art, 227), right = Image(art, 223);
    const QImage bottomLeft = Image(art, 218), bottomRight = Image(art, 219);
    for (int x = topLeft.width(); x < width - topRight.width(); x += topEdge.width()) {
        painter.drawImage(x, 0, topEdge);
    }
    painter.drawImage(0, 0, topLeft);
    painter.drawImage(width - topRight.width(), 0, topRight);
    for (int y = topLeft.height(); y < kHeight - bottomLeft.height(); y += left.height()) {
        painter.drawImage(0, y, left);
        painter.drawImage(width - right.width(), y, right);
    }
    painter.drawImage(0, kHeight - bottomLeft.height(), bottomLeft);
    painter.drawImage(width - bottomRight.width(), kHeight - bottomRight.height(), bottomRight);
    DrawKeyed(painter, 8, 8, Image(art, 284));
    QFont title = LatinFont(15, true);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRect(28, 8, 200, 16), Qt::AlignCenter, QStringLiteral("Wirelark V1.0"));
    const int tabs[4][3] = {{306, 305, 307}, {302, 304, 303}, {296, 297, 298}, {301, 300, 299}};
    for (int i = 3; i >= 0; --i) {
        DrawKeyed(painter, 70 * i + 12, 30, Image(art, tabs[i][i == 1 ? 1 : 0]));
    }
    DrawKeyed(painter, 12, 30, Image(art, tabs[0][2]));
    DrawKeyed(painter, width - 81, 8, Image(art, 288));
    DrawKeyed(painter, 330, 8, Image(art, 286));  // hover and pressed examples
    DrawKeyed(painter, 390, 8, Image(art, 287));
    DrawKeyed(painter, width - 21, 5, Image(art, 210));
    DrawKeyed(painter, 450, 5, Image(art, 209));
    DrawKeyed(painter, 475, 5, Image(art, 211));

    const QColor pages[] = {QColor(232, 243, 250), QColor(200, 220, 240), QColor(170, 220, 250),
                            QColor(230, 240, 240)};
    const int rowIds[4][4] = {
        {236, 273, 269, 265}, {241, 270, 266, 262}, {237, 271, 267, 263}, {240, 272, 268, 264}};
    const int stripHeight = (kHeight - 2 - 75) / 4;
    for (int p = 0; p < 4; ++p) {
        const int top = 75 + p * stripHeight;
        painter.fillRect(QRect(2, top, width - 4, stripHeight), pages[p]);
        int x = 16;
        for (int id : rowIds[p]) {
            DrawKeyed(painter, x, top + 10, Image(art, id));
            x += 60;
        }
        const int send[] = {257, 254, 255, 256};
        const int clearReceived[] = {253, 250, 251, 252};
        const int clearSent[] = {249, 246, 247, 248};
        DrawKeyed(painter, x + 20, top + 10, Image(art, send[p]));
        DrawKeyed(painter, x + 90, top + 10, Image(art, clearReceived[p]));
        DrawKeyed(painter, x + 190, top + 10, Image(art, clearSent[p]));
        for (int icon = 0; icon < 6; ++icon) {
            const int iconIds[] = {136, 137, 140, 142, 144, 143};
            const Artwork* item = nullptr;
            for (const Artwork& candidate : art) {
                if (candidate.kind == QLatin1String("icon") &&
                    candidate.name == QString::number(iconIds[icon])) {
                    item = &candidate;
                }
            }
            if (item != nullptr) {
                painter.drawImage(x + 300 + icon * 22, top + 14, item->image);
            }
        }
    }
    painter.end();
    return preview;
}

// The image with its magenta pixels replaced by a checkerboard.
QImage ShowKey(const QImage& image) {
    QImage shown = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < shown.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == 0xFF00FF) {
                line[x] =
                    ((x / 2 + y / 2) % 2) != 0 ? qRgb(0xE6, 0xE6, 0xE6) : qRgb(0xFF, 0xFF, 0xFF);
            }
        }
    }
    return shown;
}

QImage ContactSheet(const ArtworkList& art) {
    const int count = static_cast<int>(art.size());
    const int rows = (count + kColumns - 1) / kColumns;
    const int previewWidth = kColumns * kCellWidth - 8;
    const QImage preview = FramePreview(art, previewWidth);
    const int gridBottom = kHeaderHeight + kMargin + rows * kCellHeight;
    QImage sheet(kMargin * 2 + kColumns * kCellWidth, gridBottom + preview.height() + kMargin * 2,
                 QImage::Format_RGB32);
    sheet.fill(QColor(0xF7, 0xF8, 0xFA));
    QPainter painter(&sheet);
    painter.setFont(LatinFont(18, true));
    painter.setPen(palette::kInk);
    painter.drawText(QRect(kMargin, 8, sheet.width(), 28), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Wirelark resources (%1 images; small ones enlarged, "
                                    "magenta shown as a checkerboard)")
                         .arg(count));
    for (int i = 0; i < count; ++i) {
        const Artwork& item = art[i];
        const QRect cell(kMargin + (i % kColumns) * kCellWidth,
                         kHeaderHeight + kMargin + (i / kColumns) * kCellHeight, kCellWidth - 8,
                         kCellHeight - 8);
        painter.setPen(QColor(0xD5, 0xDA, 0xE1));
        painter.setBrush(Qt::white);
        painter.drawRect(cell);

        const int zoom = ZoomFor(item.image);
        const QSize size = zoom > 0 ? item.image.size() * zoom : item.image.size() / -zoom;
        const QImage shown =
            ShowKey(item.image)
                .scaled(size, Qt::IgnoreAspectRatio,
                        zoom > 0 ? Qt::FastTransformation : Qt::SmoothTransformation);
        const QRect picture(cell.left() + (cell.width() - shown.width()) / 2,
                            cell.top() + 8 + std::max(0, (130 - shown.height()) / 2), shown.width(),
                            shown.height());
        painter.drawImage(picture.topLeft(), shown);

        painter.setPen(palette::kInk);
        painter.setFont(LatinFont(13, true));
        const QString name = item.kind == QLatin1String("icon")
                                 ? QStringLiteral("icon %1").arg(item.name)
                                 : item.name;
        painter.drawText(QRect(cell.left() + 6, cell.bottom() - 40, cell.width() - 12, 18),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("%1   %2x%3%4")
                             .arg(name)
                             .arg(item.image.width())
                             .arg(item.image.height())
                             .arg(zoom > 1   ? QStringLiteral("  (x%1)").arg(zoom)
                                  : zoom < 0 ? QStringLiteral("  (1/%1)").arg(-zoom)
                                             : QString()));
        QFont labelFont = ChineseFont(12);
        painter.setFont(labelFont);
        painter.setPen(QColor(0x50, 0x5A, 0x66));
        painter.drawText(QRect(cell.left() + 6, cell.bottom() - 21, cell.width() - 12, 18),
                         Qt::AlignLeft | Qt::AlignVCenter, item.label);
    }
    painter.drawImage(kMargin, gridBottom + kMargin / 2, preview);
    painter.end();
    return sheet;
}
