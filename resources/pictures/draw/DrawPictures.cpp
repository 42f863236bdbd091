// Draws the program's raster pictures (background, plug, open/closed labels, document, icon)
// into a folder, and their Windows resource forms into its win32/ subfolder; the results are
// committed, so the program's build never runs this.
//
//   DrawPictures OUTDIR                  draw every picture into OUTDIR; the lamps for win32/
//                                        are read from OUTDIR's hand-written LED*.xpm
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
#include <QFile>
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

// The first page at the window's stored outer size, 453 x 408, when all of it is client area:
// no page shown at that size is larger.
const QSize kShownBackground(451, 385);

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

// ---- win32/: the same pictures in the forms the Win32 face's resources take ---------------
//
// Qt writes neither 4-bit nor premultiplied bitmaps, nor icons with several sizes, so these are
// put together byte by byte.

void put16(QByteArray& bytes, quint32 value) {
    bytes.append(static_cast<char>(value & 0xFF));
    bytes.append(static_cast<char>((value >> 8) & 0xFF));
}

void put32(QByteArray& bytes, quint32 value) {
    put16(bytes, value & 0xFFFF);
    put16(bytes, value >> 16);
}

// Rows of a Windows bitmap are padded to whole 32-bit words.
int rowBytes(int width, int bits) {
    return (width * bits + 31) / 32 * 4;
}

// BITMAPINFOHEADER, uncompressed (BI_RGB). A positive height means the rows run bottom-up.
void putInfoHeader(QByteArray& bytes, int width, int height, int bits, int colours,
                   qsizetype imageSize) {
    put32(bytes, 40);
    put32(bytes, width);
    put32(bytes, height);
    put16(bytes, 1);
    put16(bytes, bits);
    put32(bytes, 0);
    put32(bytes, imageSize);
    // 96 dpi, as Qt writes the other BMPs.
    put32(bytes, 3780);
    put32(bytes, 3780);
    put32(bytes, colours);
    put32(bytes, 0);
}

// BITMAPFILEHEADER in front of a header, colour table and pixels.
QByteArray bitmapFile(const QByteArray& dib, int tableBytes) {
    QByteArray file("BM");
    put32(file, 14 + dib.size());
    put32(file, 0);
    put32(file, 14 + 40 + tableBytes);
    return file + dib;
}

bool writeFile(const QByteArray& bytes, const QString& dir, const QString& name) {
    const QString path = QDir(dir).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// 4 bits per pixel with a 16-entry table, filled in the order the colours first occur in the
// file. The bottom-left pixel comes first, so a keyed ground is always entry 0.
bool saveBmp4(const QImage& image, const QString& dir, const QString& name) {
    if (image.hasAlphaChannel()) {
        std::fprintf(stderr, "%s: a 4-bit bitmap has no alpha\n", qPrintable(name));
        return false;
    }
    QList<QRgb> table;
    QByteArray pixels;
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(rowBytes(image.width(), 4), '\0');
        for (int x = 0; x < image.width(); ++x) {
            const QRgb colour = image.pixel(x, y);
            qsizetype index = table.indexOf(colour);
            if (index < 0) {
                if (table.size() == 16) {
                    std::fprintf(stderr, "%s: more than 16 colours\n", qPrintable(name));
                    return false;
                }
                index = table.size();
                table.append(colour);
            }
            row[x / 2] = static_cast<char>(row[x / 2] | (x % 2 ? index : index << 4));
        }
        pixels += row;
    }
    QByteArray dib;
    putInfoHeader(dib, image.width(), image.height(), 4, 16, pixels.size());
    for (int i = 0; i < 16; ++i) {
        const QRgb colour = table.value(i);
        dib.append(static_cast<char>(qBlue(colour)));
        dib.append(static_cast<char>(qGreen(colour)));
        dib.append(static_cast<char>(qRed(colour)));
        dib.append('\0');
    }
    return writeFile(bitmapFile(dib + pixels, 16 * 4), dir, name);
}

// The lamps are the hand-written XPMs of `pictureDir`, taken over pixel for pixel.
bool saveLampBitmaps(const QString& pictureDir, const QString& dir) {
    const QStringList names = QDir(pictureDir).entryList({"LED*.xpm"}, QDir::Files, QDir::Name);
    if (names.isEmpty()) {
        std::fprintf(stderr, "no LED*.xpm in %s\n", qPrintable(pictureDir));
        return false;
    }
    bool ok = true;
    for (const QString& name : names) {
        const QImage lamp(QDir(pictureDir).filePath(name));
        if (lamp.isNull()) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
            ok = false;
            continue;
        }
        ok &= saveBmp4(lamp, dir, QFileInfo(name).completeBaseName() + ".bmp");
    }
    return ok;
}

// 32-bit B G R A rows, bottom-up. Fully transparent pixels are written as zero in every channel.
// AlphaBlend with AC_SRC_ALPHA wants the colour premultiplied; icons want it straight.
QByteArray bgraRows(const QImage& image, bool premultiply) {
    const QImage straight = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray rows;
    for (int y = straight.height() - 1; y >= 0; --y) {
        for (int x = 0; x < straight.width(); ++x) {
            const QRgb colour = straight.pixel(x, y);
            const int alpha = qAlpha(colour);
            for (const int channel : {qBlue(colour), qGreen(colour), qRed(colour)}) {
                const int value = premultiply ? (channel * alpha + 127) / 255 : channel;
                rows.append(static_cast<char>(alpha == 0 ? 0 : value));
            }
            rows.append(static_cast<char>(alpha));
        }
    }
    return rows;
}

bool saveBmp32Premultiplied(const QImage& image, const QString& dir, const QString& name) {
    const QByteArray pixels = bgraRows(image, true);
    QByteArray dib;
    putInfoHeader(dib, image.width(), image.height(), 32, 0, pixels.size());
    return writeFile(bitmapFile(dib + pixels, 0), dir, name);
}

// An icon file with one 32-bit image per size, each a smooth downscale of `icon`. Every image
// carries an AND mask as well, for whatever draws icons without alpha; it masks out exactly the
// fully transparent pixels, whose colour is zero, so nothing is XORed onto the screen.
bool saveIco(const QImage& icon, const QList<int>& sizes, const QString& dir, const QString& name) {
    QByteArray directory;
    put16(directory, 0);
    put16(directory, 1);
    put16(directory, sizes.size());
    QByteArray images;
    const qsizetype firstOffset = 6 + 16 * sizes.size();
    for (const int size : sizes) {
        const QImage image =
            size == icon.width()
                ? icon
                : icon.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                      .scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QByteArray colours = bgraRows(image, false);
        QByteArray mask;
        for (int y = size - 1; y >= 0; --y) {
            QByteArray row(rowBytes(size, 1), '\0');
            for (int x = 0; x < size; ++x) {
                if (qAlpha(image.pixel(x, y)) == 0) {
                    row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
                }
            }
            mask += row;
        }
        // The header counts the colour rows and the mask rows together: twice the height.
        QByteArray dib;
        putInfoHeader(dib, size, 2 * size, 32, 0, colours.size() + mask.size());
        dib += colours + mask;

        directory.append(static_cast<char>(size));
        directory.append(static_cast<char>(size));
        directory.append('\0');
        directory.append('\0');
        put16(directory, 1);
        put16(directory, 32);
        put32(directory, dib.size());
        put32(directory, firstOffset + images.size());
        images += dib;
    }
    return writeFile(directory + images, dir, name);
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
    // The background as the page shows it at the window's stored size, read back from the
    // JPEG as the program reads it: what start-up paints without decoding the large picture.
    const QImage shown =
        QImage(QDir(out).filePath("background.jpg"))
            .scaled(kShownBackground, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB888);
    ok &= save(shown, out, "background_shown.png");
    ok &= saveBmp24(drawPlug(QColor(0x00, 0xD0, 0x00)), out, "plug_on.bmp");
    ok &= saveBmp24(drawPlug(QColor(0xE8, 0x00, 0x00)), out, "plug_off.bmp");
    ok &= saveBmp24(drawLabel(QString::fromUtf8("açık"), family), out, "acik.bmp");
    ok &= saveBmp24(drawLabel(QString::fromUtf8("kapalı"), family), out, "kapali.bmp");
    const QImage document = drawDocument(
        {QColor(0x1F, 0x4E, 0x9A), Qt::white, QColor(0xC9, 0xD9, 0xF2), QColor(0x7C, 0x98, 0xC8)});
    const QImage documentDisabled =
        drawDocument({QColor(0x8A, 0x8A, 0x8A), QColor(0xF4, 0xF4, 0xF4), QColor(0xD8, 0xD8, 0xD8),
                      QColor(0xB8, 0xB8, 0xB8)});
    const QImage icon = drawIcon();
    ok &= save(document, out, "document.png");
    ok &= save(documentDisabled, out, "document_disabled.png");
    ok &= save(icon, out, "icon.png");

    const QString win32 = QDir(out).filePath("win32");
    QDir().mkpath(win32);
    // For the Win32 face as a plain bitmap, which Win32 loads itself: a JPEG would bring in
    // the system's picture decoder (OLE and its codecs) at start-up for it.
    ok &= saveBmp24(shown, win32, "background_shown.bmp");
    ok &= saveLampBitmaps(out, win32);
    ok &= saveBmp32Premultiplied(document, win32, "document.bmp");
    ok &= saveBmp32Premultiplied(documentDisabled, win32, "document_disabled.bmp");
    ok &= saveIco(icon, {64, 48, 32, 16}, win32, "icon.ico");
    return ok ? 0 : 1;
}
