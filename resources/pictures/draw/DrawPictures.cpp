// Draws the program's raster pictures (background, plug, open/closed labels, document, icon)
// into a folder; the results are committed, so the program's build never runs this.
//
//   DrawPictures OUTDIR                  draw every picture into OUTDIR
//   DrawPictures --preview SRCDIR DSTDIR write enlarged PNG copies of SRCDIR's pictures to DSTDIR
//                                        and print size, depth and bottom-left colour of each
//   DrawPictures --bitmap-letters ...    draw the labels with the built-in letters, as if no
//                                        font were installed
//
// Several pictures are keyed: the program makes every pixel of the bottom-left pixel's colour
// transparent. Their grounds are therefore one exact colour, and nothing drawn on them may
// touch the bottom-left corner.

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRadialGradient>
#include <QSet>
#include <QString>
#include <QTransform>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

const QColor kLabelGround(0xDB, 0xDB, 0xDB);

bool save(const QImage& image, const QString& dir, const QString& name, int quality = -1) {
    const QString path = QDir(dir).filePath(name);
    if (!image.save(path, nullptr, quality)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// BMP readers of the program expect 24 bits per pixel; QImage would write 32 for ARGB/RGB32.
bool saveBmp24(const QImage& image, const QString& dir, const QString& name) {
    return save(image.convertToFormat(QImage::Format_RGB888), dir, name);
}

// ---- background.jpg: a friendly white robot on a light grey ground ------------------------

const QColor kRobotWhite(0xFF, 0xFF, 0xFF);
const QColor kRobotShade(0xE3, 0xE6, 0xEA);
const QColor kRobotLine(0xB9, 0xBE, 0xC6);

// Flat white shape: a shade crescent on the lower right, a light grey outline around it.
void robotPart(QPainter& p, const QPainterPath& shape, qreal shade = 18) {
    p.save();
    p.setClipPath(shape);
    p.fillPath(shape, kRobotShade);
    p.fillPath(shape.translated(-shade, -shade), kRobotWhite);
    p.restore();
    p.strokePath(shape, QPen(kRobotLine, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

QPainterPath roundedRect(const QRectF& r, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

QPainterPath ellipse(const QPointF& centre, qreal rx, qreal ry) {
    QPainterPath path;
    path.addEllipse(centre, rx, ry);
    return path;
}

// A rounded arm hanging from `shoulder`, turned by `degrees` (0 hangs straight down, positive
// turns the hand to the right), and where its hand goes.
QTransform armTransform(const QPointF& shoulder, qreal degrees) {
    QTransform t;
    t.translate(shoulder.x(), shoulder.y());
    t.rotate(-degrees);
    return t;
}

QPainterPath arm(const QPointF& shoulder, qreal degrees, qreal length, qreal width) {
    return armTransform(shoulder, degrees)
        .map(roundedRect(QRectF(-width / 2, 0, width, length), width / 2));
}

QPointF hand(const QPointF& shoulder, qreal degrees, qreal length) {
    return armTransform(shoulder, degrees).map(QPointF(0, length));
}

QImage drawBackground() {
    QImage image(1600, 1200, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient ground(0, 0, 0, 1200);
    ground.setColorAt(0, QColor(0xEE, 0xEF, 0xF1));
    ground.setColorAt(1, QColor(0xD9, 0xDB, 0xDE));
    p.fillRect(image.rect(), ground);

    // Soft floor shadow under the feet.
    QRadialGradient shadow(QPointF(800, 1075), 330);
    shadow.setColorAt(0, QColor(0, 0, 0, 40));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.save();
    p.translate(800, 1075);
    p.scale(1.0, 0.16);
    p.translate(-800, -1075);
    p.fillPath(ellipse(QPointF(800, 1075), 330, 330), shadow);
    p.restore();

    const QPen line(kRobotLine, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);

    // Antenna.
    p.setPen(QPen(kRobotLine, 12, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(800, 250), QPointF(800, 180));
    robotPart(p, ellipse(QPointF(800, 165), 26, 26), 8);

    // Legs and feet behind the body.
    robotPart(p, roundedRect(QRectF(690, 900, 80, 150), 30), 12);
    robotPart(p, roundedRect(QRectF(830, 900, 80, 150), 30), 12);
    robotPart(p, roundedRect(QRectF(650, 1025, 140, 55), 27), 10);
    robotPart(p, roundedRect(QRectF(810, 1025, 140, 55), 27), 10);

    // Arms: the left one hangs, the right one waves.
    const QPointF leftShoulder(615, 640), rightShoulder(985, 640);
    robotPart(p, arm(leftShoulder, -20, 270, 74), 12);
    robotPart(p, ellipse(hand(leftShoulder, -20, 285), 46, 46), 10);
    robotPart(p, arm(rightShoulder, 140, 260, 74), 12);
    robotPart(p, ellipse(hand(rightShoulder, 140, 275), 46, 46), 10);

    // Neck, body and a chest panel with three soft lights.
    robotPart(p, roundedRect(QRectF(755, 500, 90, 60), 14), 8);
    robotPart(p, roundedRect(QRectF(580, 545, 440, 380), 90), 26);
    const QPainterPath panel = roundedRect(QRectF(680, 650, 240, 150), 34);
    p.fillPath(panel, QColor(0xF1, 0xF3, 0xF6));
    p.strokePath(panel, line);
    const QColor lights[] = {QColor(0x8F, 0xD1, 0xA8), QColor(0x8F, 0xBF, 0xE8),
                             QColor(0xF2, 0xC9, 0x7E)};
    for (int i = 0; i < 3; ++i) {
        const QPainterPath dot = ellipse(QPointF(740 + i * 60, 725), 19, 19);
        p.fillPath(dot, lights[i]);
        p.strokePath(dot, QPen(kRobotLine, 4));
    }

    // Head with ears, eyes and a smile.
    robotPart(p, roundedRect(QRectF(580, 345, 40, 110), 18), 8);
    robotPart(p, roundedRect(QRectF(980, 345, 40, 110), 18), 8);
    robotPart(p, roundedRect(QRectF(610, 245, 380, 270), 100), 24);
    const QPainterPath face = roundedRect(QRectF(660, 300, 280, 165), 70);
    p.fillPath(face, QColor(0x4A, 0x58, 0x6B));
    p.strokePath(face, QPen(kRobotLine, 6));
    for (const qreal x : {735.0, 865.0}) {
        p.fillPath(ellipse(QPointF(x, 370), 30, 34), QColor(0x9F, 0xE3, 0xFF));
        p.fillPath(ellipse(QPointF(x + 9, 360), 10, 10), Qt::white);
    }
    QPainterPath smile;
    smile.moveTo(760, 420);
    smile.quadTo(800, 448, 840, 420);
    p.strokePath(smile, QPen(QColor(0x9F, 0xE3, 0xFF), 9, Qt::SolidLine, Qt::RoundCap));
    return image;
}

// ---- plug_on.bmp / plug_off.bmp: a mains plug in a green or red halo ----------------------

QImage drawPlug(const QColor& halo) {
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(kLabelGround);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QPainterPath body;
    body.addRoundedRect(QRectF(13, 8, 14, 14), 3, 3);
    QPainterPath prongs;
    prongs.addRect(QRectF(27, 10.5, 8, 2.5));
    prongs.addRect(QRectF(27, 17, 8, 2.5));
    QPainterPath cable;
    cable.moveTo(13, 15);
    cable.cubicTo(8, 15, 8, 21, 4, 21);
    QPainterPathStroker stroker;
    stroker.setWidth(2.6);
    stroker.setCapStyle(Qt::RoundCap);
    const QPainterPath cableShape = stroker.createStroke(cable);
    const QPainterPath silhouette = body.united(prongs).united(cableShape);

    // Halo: the silhouette widened in steps of falling strength. It stays clear of the
    // bottom-left corner, which must keep the ground colour.
    for (const auto& [width, alpha] : {std::pair{8.0, 45}, {6.0, 70}, {4.0, 110}, {2.0, 170}}) {
        QColor c = halo;
        c.setAlpha(alpha);
        p.strokePath(silhouette, QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }

    p.fillPath(cableShape, QColor(0x30, 0x30, 0x30));
    p.fillPath(prongs, QColor(0xC8, 0xC8, 0xC8));
    p.strokePath(prongs, QPen(QColor(0x70, 0x70, 0x70), 0.8));
    QLinearGradient shine(0, 8, 0, 22);
    shine.setColorAt(0, QColor(0x70, 0x70, 0x70));
    shine.setColorAt(1, QColor(0x2C, 0x2C, 0x2C));
    p.fillPath(body, shine);
    p.strokePath(body, QPen(QColor(0x1C, 0x1C, 0x1C), 1));
    // Grip ribs on the body.
    p.setPen(QPen(QColor(0x88, 0x88, 0x88), 1));
    p.drawLine(QPointF(17.5, 11), QPointF(17.5, 19));
    p.drawLine(QPointF(20.5, 11), QPointF(20.5, 19));
    p.end();
    return image;
}

// ---- acik.bmp / kapali.bmp: "açık" and "kapalı" in black on the label ground -----------------

// Letters of the two words, 10 rows each, for a machine without the usual fonts. Row 7 sits on
// the baseline; rows 8 and 9 hold the descender of p and the cedilla of ç.
struct Letter {
    char32_t code;
    const char* rows[10];
};

const Letter kLetters[] = {
    {U'a', {"....", "....", ".##.", "...#", ".###", "#..#", "#..#", ".###", "....", "...."}},
    {U'ç', {"....", "....", ".###", "#...", "#...", "#...", "#...", ".###", "..#.", ".##."}},
    {U'ı', {".", ".", "#", "#", "#", "#", "#", "#", ".", "."}},
    {U'k', {"#...", "#...", "#..#", "#.#.", "##..", "#.#.", "#..#", "#..#", "....", "...."}},
    {U'l', {"#", "#", "#", "#", "#", "#", "#", "#", ".", "."}},
    {U'p', {"....", "....", "###.", "#..#", "#..#", "#..#", "#..#", "###.", "#...", "#..."}},
};

const Letter* findLetter(char32_t code) {
    for (const Letter& letter : kLetters) {
        if (letter.code == code) {
            return &letter;
        }
    }
    return nullptr;
}

void drawBitmapWord(QImage& image, const QString& word) {
    int width = -1;
    for (const char32_t c : word.toUcs4()) {
        width += static_cast<int>(std::strlen(findLetter(c)->rows[0])) + 1;
    }
    int x = (image.width() - width) / 2;
    for (const char32_t c : word.toUcs4()) {
        const Letter* letter = findLetter(c);
        const int w = static_cast<int>(std::strlen(letter->rows[0]));
        for (int row = 0; row < 10; ++row) {
            for (int col = 0; col < w; ++col) {
                if (letter->rows[row][col] == '#') {
                    image.setPixelColor(x + col, row, Qt::black);
                }
            }
        }
        x += w + 1;
    }
}

// The first of DejaVu Sans and Liberation Sans that can be loaded, or an empty string.
QString labelFontFamily() {
    const char* files[] = {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                           "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"};
    for (const char* file : files) {
        const int id = QFontDatabase::addApplicationFont(QString::fromUtf8(file));
        if (id >= 0 && !QFontDatabase::applicationFontFamilies(id).isEmpty()) {
            return QFontDatabase::applicationFontFamilies(id).first();
        }
    }
    return {};
}

QImage drawLabel(const QString& word, const QString& family) {
    QImage image(40, 10, QImage::Format_RGB32);
    image.fill(kLabelGround);
    if (family.isEmpty()) {
        drawBitmapWord(image, word);
        return image;
    }
    QFont font(family);
    font.setPixelSize(9);
    // Hinted one-bit glyphs: smoothed ones turn into grey smudges at this height.
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(font);
    // Centre the ink itself, not the font's line box: ascender, descender and cedilla must all
    // fit into ten rows.
    const QRect ink = metrics.tightBoundingRect(word);
    const int x = (image.width() - ink.width()) / 2 - ink.left();
    const int y = (image.height() - ink.height()) / 2 - ink.top();
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(x, y, word);
    p.end();
    return image;
}

// ---- document.png / document_disabled.png: a page with a folded corner ---------------------

struct PageColours {
    QColor outline, page, fold, text;
};

QImage drawDocument(const PageColours& c) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    // Whole pixels only: at this size smoothing would blur every edge.
    p.setRenderHint(QPainter::Antialiasing, false);
    const QPolygon page({QPoint(2, 0), QPoint(9, 0), QPoint(13, 4), QPoint(13, 15), QPoint(2, 15)});
    p.setPen(c.outline);
    p.setBrush(c.page);
    p.drawPolygon(page);
    p.setBrush(c.fold);
    p.drawPolygon(QPolygon({QPoint(9, 0), QPoint(9, 4), QPoint(13, 4)}));
    p.setPen(c.text);
    p.drawLine(4, 6, 11, 6);
    p.drawLine(4, 8, 11, 8);
    p.drawLine(4, 10, 11, 10);
    p.drawLine(4, 12, 8, 12);
    p.end();
    return image;
}

// ---- icon.png: two laboratory flasks and a lightning bolt ---------------------------------

const QColor kGlassLine(0x27, 0x36, 0x4A);
const QColor kGlass(0xE6, 0xF3, 0xFF, 0xD8);

void flask(QPainter& p, const QPainterPath& glass, const QPainterPath& liquidArea,
           const QColor& liquid, const QRectF& lip) {
    p.fillPath(glass, kGlass);
    p.save();
    p.setClipPath(glass);
    p.fillPath(liquidArea, liquid);
    p.restore();
    p.strokePath(glass, QPen(kGlassLine, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.fillPath(roundedRect(lip, 1.2), kGlass);
    p.strokePath(roundedRect(lip, 1.2), QPen(kGlassLine, 2.0));
}

QImage drawIcon() {
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Erlenmeyer flask on the left, green liquid.
    QPainterPath cone;
    cone.moveTo(13, 18);
    cone.lineTo(21, 18);
    cone.lineTo(21, 31);
    cone.lineTo(33, 55);
    cone.quadTo(34, 59, 30, 59);
    cone.lineTo(4, 59);
    cone.quadTo(0, 59, 1, 55);
    cone.lineTo(13, 31);
    cone.closeSubpath();
    QPainterPath coneLiquid;
    coneLiquid.addRect(QRectF(0, 42, 34, 20));
    flask(p, cone, coneLiquid, QColor(0x3F, 0xB9, 0x5A), QRectF(11, 14, 12, 4));

    // Round-bottom flask on the right, red liquid.
    QPainterPath round;
    round.addEllipse(QPointF(48, 46), 13.5, 13.5);
    QPainterPath neck;
    neck.addRect(QRectF(44, 18, 8, 18));
    round = round.united(neck);
    QPainterPath roundLiquid;
    roundLiquid.addRect(QRectF(30, 46, 34, 18));
    flask(p, round, roundLiquid, QColor(0xE0, 0x3E, 0x5C), QRectF(42, 14, 12, 4));

    // Bubbles and a glint so that the glass reads as glass.
    p.setPen(QPen(QColor(255, 255, 255, 220), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(12, 51), 2, 2);
    p.drawEllipse(QPointF(20, 47), 1.4, 1.4);
    p.drawEllipse(QPointF(45, 53), 2, 2);
    p.drawEllipse(QPointF(52, 50), 1.4, 1.4);
    p.setPen(QPen(QColor(255, 255, 255, 230), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(38, 36, 20, 20), 110 * 16, 50 * 16);

    // Lightning bolt over the gap between the flasks.
    const QPolygonF bolt({QPointF(37, 2), QPointF(23, 27), QPointF(31, 27), QPointF(25, 47),
                          QPointF(43, 19), QPointF(34, 19), QPointF(43, 2)});
    p.setBrush(QColor(0xFF, 0xD2, 0x1F));
    p.setPen(QPen(QColor(0xC2, 0x5E, 0x00), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolygon(bolt);
    p.end();
    return image;
}

// ---- preview ------------------------------------------------------------------------------

int preview(const QString& sourceDir, const QString& targetDir) {
    QDir().mkpath(targetDir);
    const QStringList names =
        QDir(sourceDir).entryList({"*.xpm", "*.bmp", "*.png", "*.jpg"}, QDir::Files, QDir::Name);
    int failures = 0;
    QList<QImage> small;
    for (const QString& name : names) {
        const QImage image(QDir(sourceDir).filePath(name));
        if (image.isNull()) {
            std::printf("%-22s UNREADABLE\n", qPrintable(name));
            ++failures;
            continue;
        }
        QSet<QRgb> colours;
        for (int y = 0; y < image.height() && colours.size() <= 256; ++y) {
            for (int x = 0; x < image.width(); ++x) {
                colours.insert(image.pixel(x, y));
            }
        }
        const QColor corner = image.pixelColor(0, image.height() - 1);
        std::printf("%-22s %4dx%-4d depth %2d  colours %s  bottom-left %s alpha %d\n",
                    qPrintable(name), image.width(), image.height(), image.depth(),
                    colours.size() > 256 ? ">256" : qPrintable(QString::number(colours.size())),
                    qPrintable(corner.name()), corner.alpha());
        // Small pictures are enlarged without smoothing so each pixel shows; transparent ones
        // go on a chequer so their edges show too.
        const int scale = image.width() <= 64 ? 8 : 1;
        QImage big(image.size() * scale, QImage::Format_RGB32);
        QPainter p(&big);
        for (int y = 0; y < big.height(); y += 8) {
            for (int x = 0; x < big.width(); x += 8) {
                p.fillRect(x, y, 8, 8, ((x + y) / 8) % 2 ? QColor(0xCC, 0xCC, 0xCC) : Qt::white);
            }
        }
        p.drawImage(big.rect(), image);
        p.end();
        if (scale > 1) {
            small.append(big);
        }
        big.save(QDir(targetDir).filePath(QFileInfo(name).completeBaseName() + "_" +
                                          QFileInfo(name).suffix() + ".png"));
    }
    // All enlarged small pictures on one sheet, in name order, left to right.
    const int sheetWidth = 1400, gap = 12;
    QList<QPoint> places;
    int x = gap, y = gap, rowHeight = 0;
    for (const QImage& image : small) {
        if (x + image.width() + gap > sheetWidth) {
            x = gap;
            y += rowHeight + gap;
            rowHeight = 0;
        }
        places.append(QPoint(x, y));
        x += image.width() + gap;
        rowHeight = std::max(rowHeight, image.height());
    }
    QImage sheet(sheetWidth, y + rowHeight + gap, QImage::Format_RGB32);
    sheet.fill(QColor(0x40, 0x40, 0x40));
    QPainter p(&sheet);
    for (qsizetype i = 0; i < small.size(); ++i) {
        p.drawImage(places[i], small[i]);
    }
    p.end();
    sheet.save(QDir(targetDir).filePath("sheet.png"));
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool bitmapLetters = args.removeAll("--bitmap-letters") > 0;
    if (args.size() == 3 && args[0] == "--preview") {
        return preview(args[1], args[2]);
    }
    if (args.size() != 1) {
        std::fprintf(stderr,
                     "usage: DrawPictures [--bitmap-letters] OUTDIR\n"
                     "       DrawPictures --preview SRCDIR DSTDIR\n");
        return 2;
    }
    const QString out = args[0];
    QDir().mkpath(out);

    const QString family = bitmapLetters ? QString() : labelFontFamily();
    if (family.isEmpty()) {
        std::fprintf(stderr, "labels: drawing the built-in letters\n");
    }

    bool ok = true;
    ok &= save(drawBackground(), out, "background.jpg", 90);
    ok &= saveBmp24(drawPlug(QColor(0x00, 0xD0, 0x00)), out, "plug_on.bmp");
    ok &= saveBmp24(drawPlug(QColor(0xE8, 0x00, 0x00)), out, "plug_off.bmp");
    ok &= saveBmp24(drawLabel(QString::fromUtf8("açık"), family), out, "acik.bmp");
    ok &= saveBmp24(drawLabel(QString::fromUtf8("kapalı"), family), out, "kapali.bmp");
    ok &= save(drawDocument({QColor(0x1F, 0x4E, 0x9A), Qt::white, QColor(0xC9, 0xD9, 0xF2),
                             QColor(0x7C, 0x98, 0xC8)}),
               out, "document.png");
    ok &= save(drawDocument({QColor(0x8A, 0x8A, 0x8A), QColor(0xF4, 0xF4, 0xF4),
                             QColor(0xD8, 0xD8, 0xD8), QColor(0xB8, 0xB8, 0xB8)}),
               out, "document_disabled.png");
    ok &= save(drawIcon(), out, "icon.png");
    return ok ? 0 : 1;
}
