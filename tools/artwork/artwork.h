// The artwork generator's shared pieces: the list of drawn resources, the palette, fonts and
// the step that turns an antialiased drawing into a skin bitmap keyed by magenta.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <vector>

// One drawn resource, saved as res/<kind>/<name>.png.
struct Artwork {
    QString kind;  // "bitmap" or "icon"
    QString name;  // the id, or "<id>-<size>" for extra icon sizes
    QImage image;
    QString label;  // what the contact sheet says about it
};
using ArtworkList = std::vector<Artwork>;

namespace palette {
// The title band of the frame, top to bottom, and the light tab bar beneath it.
const QColor kBandTop(0x3E, 0x7C, 0xC4);
const QColor kBandBottom(0x1F, 0x55, 0x96);
const QColor kBandShadow(0x17, 0x43, 0x78);
const QColor kTabBarTop(0xF1, 0xF6, 0xFC);
const QColor kTabBarBottom(0xD5, 0xE5, 0xF5);
const QColor kTabBarLine(0x9C, 0xBB, 0xDF);
const QColor kOutline(0x00, 0x00, 0x00);  // matches the frame's painted bottom outline
// Blue accents, text.
const QColor kAccent(0x2F, 0x6D, 0xB5);
const QColor kAccentDark(0x1F, 0x4F, 0x8A);
const QColor kInk(0x1B, 0x33, 0x52);
const QColor kAlert(0xD0, 0x1F, 0x2A);
const QColor kGood(0x2E, 0xA0, 0x43);
// The background the page buttons sit on (between the four page colours).
const QColor kPageMatte(0xD8, 0xE8, 0xF5);
}  // namespace palette

// Height of the title band (rows 0 .. kTitleBandHeight-1) of the 76-pixel top pieces.
constexpr int kTitleBandHeight = 30;
constexpr int kTopPieceHeight = 76;

// The colour of the frame's top pieces at a row (title band, then tab bar).
QColor TopBandColourAt(int row);

// Chinese captions: WenQuanYi Micro Hei; Latin texts: Liberation Sans (Arial's metrics).
QFont ChineseFont(int pixelSize, bool bold = false);
QFont LatinFont(int pixelSize, bool bold = false);

// A transparent ARGB canvas of the given size.
QImage NewCanvas(int width, int height);
// Turns an antialiased ARGB drawing into an opaque skin bitmap: pixels at least half covered
// are blended over `matte` (the colour they will mostly sit on), the rest become magenta.
QImage KeyToMagenta(const QImage& drawing, const QColor& matte);
// For pieces whose background is known row by row (the frame's top band): every pixel the
// drawing covers by a quarter or more is blended over the band's colour at its frame row
// (`frameTop` + y), so texts and strokes keep their smooth edges; the rest becomes magenta.
QImage KeyOverTopBand(const QImage& drawing, int frameTop);
// The same for a drawing on an opaque background: no magenta.
QImage Opaque(const QImage& drawing, const QColor& background);

void DrawPageButtons(ArtworkList& out);
void DrawFrameButtons(ArtworkList& out);
void DrawFramePieces(ArtworkList& out);
void DrawTabItems(ArtworkList& out);
void DrawTreeIcons(ArtworkList& out);
void DrawApplicationIcon(ArtworkList& out);
void DrawAboutImages(ArtworkList& out);

// The application mark (also the 18 x 18 logo of the frame), drawn into `rect`.
class QPainter;
void PaintApplicationMark(QPainter& painter, const QRectF& rect);

// Binary menu template and accelerator table 132.
QByteArray MenuTemplate132();
QByteArray AcceleratorTable132();

// The frame's top and the page buttons assembled as the program shows them, for review.
QImage FramePreview(const ArtworkList& art, int width);
// One PNG with every resource, enlarged where small, labelled by id.
QImage ContactSheet(const ArtworkList& art);
