// Draws Tessel's pictures into the files beside this source, which the program builds in as resources:
// the strip "SmallImages" of the 16×16 status pictures on an olive background that the window treats
// as transparent, the 40×40 tool-button pictures, the program icon and the 351×208 picture
// of the about box. The program icon also comes as an SVG drawing, and with its PNG sizes it is the
// icon an installation puts into the desktop's icon theme.
//
// Build the target tessel_make_pictures (it needs Qt's SVG module) and run it with this folder as its
// argument after changing a drawing here; the files it writes are kept with the sources.

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <vector>

namespace {

constexpr int kSample = 8;  // samples per pixel along each axis
const QColor kOlive(128, 128, 0);

using Drawing = std::function<void(QPainter&)>;

// A closed polygon through `corners`, drawn with the painter's pen and brush.
void drawPolygon(QPainter& p, std::initializer_list<QPointF> corners) {
    QPainterPath path;
    path.moveTo(*corners.begin());
    for (auto corner = corners.begin() + 1; corner != corners.end(); ++corner) path.lineTo(*corner);
    path.closeSubpath();
    p.drawPath(path);
}

// Paints `draw` in pixel units at kSample times the size (and `scale` times more for screens with
// `scale` device pixels to a pixel), with anti-aliasing.
QImage paintLarge(int width, int height, const Drawing& draw, int scale = 1) {
    QImage large(width * scale * kSample, height * scale * kSample, QImage::Format_ARGB32_Premultiplied);
    large.fill(Qt::transparent);
    QPainter painter(&large);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(kSample * scale, kSample * scale);
    draw(painter);
    return large;
}

struct Coverage {
    double red = 0, green = 0, blue = 0, alpha = 0;  // premultiplied sums, 0..1 per sample
};

Coverage coverageAt(const QImage& large, int x, int y) {
    Coverage c;
    for (int sy = 0; sy < kSample; ++sy) {
        const auto* line = reinterpret_cast<const QRgb*>(large.constScanLine(y * kSample + sy));
        for (int sx = 0; sx < kSample; ++sx) {
            const QRgb p = line[x * kSample + sx];
            c.red += qRed(p) / 255.0;
            c.green += qGreen(p) / 255.0;
            c.blue += qBlue(p) / 255.0;
            c.alpha += qAlpha(p) / 255.0;
        }
    }
    const double samples = kSample * kSample;
    c.red /= samples;
    c.green /= samples;
    c.blue /= samples;
    c.alpha /= samples;
    return c;
}

int channel(double value) {
    return std::clamp(static_cast<int>(std::lround(value * 255.0)), 0, 255);
}

// A picture with real transparency, edges smoothed.
QImage reduceSmooth(const QImage& large) {
    QImage out(large.width() / kSample, large.height() / kSample, QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const Coverage c = coverageAt(large, x, y);
            if (c.alpha <= 0) {
                out.setPixel(x, y, qRgba(0, 0, 0, 0));
                continue;
            }
            out.setPixel(x, y,
                         qRgba(channel(c.red / c.alpha), channel(c.green / c.alpha),
                               channel(c.blue / c.alpha), channel(c.alpha)));
        }
    }
    return out;
}

// A picture for a colour-keyed image list: every pixel is either fully drawn or olive. Inside a shape
// the colours still blend; only the outline is hard.
QImage reduceOnOlive(const QImage& large) {
    QImage out(large.width() / kSample, large.height() / kSample, QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const Coverage c = coverageAt(large, x, y);
            QRgb pixel = kOlive.rgb();
            if (c.alpha >= 0.5) {
                pixel = qRgb(channel(c.red / c.alpha), channel(c.green / c.alpha), channel(c.blue / c.alpha));
                // A drawn pixel must never read as background.
                if (pixel == kOlive.rgb()) pixel = qRgb(128, 128, 1);
            }
            out.setPixel(x, y, pixel);
        }
    }
    return out;
}

// ---- A 5-pixel-high alphabet for the lettered tiles --------------------------------------------------

const std::map<char, std::vector<const char*>>& glyphs() {
    static const std::map<char, std::vector<const char*>> table = {
        {'0', {"###", "#.#", "#.#", "#.#", "###"}},
        {'1', {".#.", "##.", ".#.", ".#.", "###"}},
        {'7', {"###", "..#", ".#.", ".#.", ".#."}},
        {'A', {".#.", "#.#", "###", "#.#", "#.#"}},
        {'D', {"##.", "#.#", "#.#", "#.#", "##."}},
        {'E', {"###", "#..", "##.", "#..", "###"}},
        {'H', {"#.#", "#.#", "###", "#.#", "#.#"}},
        {'I', {"#", "#", "#", "#", "#"}},
        {'M', {"#...#", "##.##", "#.#.#", "#...#", "#...#"}},
        {'m', {"#.#", "###", "###", "#.#", "#.#"}},  // a narrow M where five pixels do not fit
        {'N', {"#..#", "##.#", "#.##", "#..#", "#..#"}},
        {'O', {".#.", "#.#", "#.#", "#.#", ".#."}},
        {'R', {"##.", "#.#", "##.", "#.#", "#.#"}},
        {'S', {".##", "#..", ".#.", "..#", "##."}},
        {'T', {"###", ".#.", ".#.", ".#.", ".#."}},
        {'U', {"#.#", "#.#", "#.#", "#.#", "###"}},
        {'Y', {"#.#", "#.#", ".#.", ".#.", ".#."}},
        {'.', {".", ".", ".", ".", "#"}},
    };
    return table;
}

int textWidth(const QString& text) {
    int width = 0;
    for (QChar ch : text) width += static_cast<int>(std::strlen(glyphs().at(ch.toLatin1())[0])) + 1;
    return width > 0 ? width - 1 : 0;
}

// Whole pixels, so the letters stay sharp.
void drawText(QPainter& painter, const QString& text, int centreX, int top, const QColor& colour) {
    int x = centreX - textWidth(text) / 2;
    for (QChar ch : text) {
        const auto& rows = glyphs().at(ch.toLatin1());
        const int width = static_cast<int>(std::strlen(rows[0]));
        for (int row = 0; row < 5; ++row) {
            for (int column = 0; column < width; ++column) {
                if (rows[static_cast<std::size_t>(row)][column] == '#')
                    painter.fillRect(QRectF(x + column, top + row, 1, 1), colour);
            }
        }
        x += width + 1;
    }
}

// A rounded tile with two lines of letters: the period or the moment a watch runs.
Drawing tile(const QString& upper, const QString& lower, const QColor& face, const QColor& ink) {
    return [=](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1.0));
        p.setBrush(face);
        p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 2.2, 2.2);
        // A light upper edge gives the tile some depth.
        p.setPen(QPen(face.lighter(135), 1.0));
        p.drawLine(QPointF(2.5, 1.5), QPointF(13.5, 1.5));
        p.setRenderHint(QPainter::Antialiasing, false);
        drawText(p, upper, 8, 2, ink);
        drawText(p, lower, 8, 9, ink);
    };
}

void noEntry(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(130, 0, 0));
    p.drawEllipse(QPointF(8, 8), 7.9, 7.9);
    p.setBrush(QColor(225, 25, 25));
    p.drawEllipse(QPointF(8, 8), 6.9, 6.9);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3, 6, 10, 4));
}

void handOnButton(QPainter& p) {
    // The red push button on its dark plate.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 70, 70));
    p.drawRect(QRectF(0, 13, 13, 3));
    p.setPen(QPen(QColor(110, 0, 0), 0.9));
    p.setBrush(QColor(235, 35, 35));
    QPainterPath dome;
    dome.moveTo(1.5, 13.5);
    dome.cubicTo(1.5, 8.8, 11.5, 8.8, 11.5, 13.5);
    dome.closeSubpath();
    p.drawPath(dome);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 170, 170));
    p.drawEllipse(QPointF(4.8, 11.6), 1.1, 0.8);
    // A hand coming in from the upper right in a blue sleeve, index finger pressing down.
    const QColor skin(250, 205, 150);
    const QPen outline(QColor(110, 60, 20), 0.9);
    p.save();
    p.translate(8.4, 5.4);
    p.rotate(28);
    p.setPen(outline);
    p.setBrush(skin);
    p.drawRoundedRect(QRectF(-1.6, -1, 3.2, 6.4), 1.5, 1.5);    // the finger
    p.drawRoundedRect(QRectF(-3.4, -6.5, 7.6, 6.4), 2.2, 2.2);  // the fist
    p.setPen(QPen(QColor(110, 60, 20), 0.7));
    p.drawLine(QPointF(-3.2, -3.4), QPointF(1.2, -3.4));  // folded fingers
    p.setPen(QPen(QColor(20, 50, 140), 0.8));
    p.setBrush(QColor(60, 110, 220));
    p.drawRect(QRectF(-3.8, -9.5, 8.4, 3.2));  // the sleeve
    p.restore();
}

// A disc lit from the upper left with a darker rim, filling the picture: the ground of the marks of a
// watch's state.
void litDisc(QPainter& p, const QColor& lit, const QColor& shaded, const QColor& rim, double reach) {
    QRadialGradient light(QPointF(6, 5), reach);
    light.setColorAt(0, lit);
    light.setColorAt(1, shaded);
    p.setPen(QPen(rim, 0.9));
    p.setBrush(light);
    p.drawEllipse(QPointF(8, 8), 7.4, 7.4);
}

// A watch that is running now: the green of Check Now's button with the two arrows of synchronisation
// going round, unlike any tile of what a watch is set to do.
void runningMark(QPainter& p) {
    // Darker than the button: the white arrows must stand out at sixteen pixels.
    litDisc(p, QColor(60, 170, 70), QColor(10, 105, 30), QColor(5, 70, 15), 9);
    const QPointF centre(8, 8);
    const double radius = 4.2;
    for (const double end : {40.0, 220.0}) {
        // Angles counter-clockwise from three o'clock, as Qt counts them; each arc goes round clockwise
        // and ends in its arrowhead.
        p.setPen(QPen(Qt::white, 1.9, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius),
                  static_cast<int>((end + 120) * 16), -120 * 16);
        const double angle = end * M_PI / 180;
        const QPointF at = centre + QPointF(radius * std::cos(angle), -radius * std::sin(angle));
        const QPointF ahead(std::sin(angle), std::cos(angle));     // clockwise along the ring
        const QPointF outward(std::cos(angle), -std::sin(angle));  // away from the centre
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        drawPolygon(p,
                    {at + ahead * 2.6, at - ahead * 0.4 + outward * 2.3, at - ahead * 0.4 - outward * 2.3});
    }
}

// A watch whose last run failed or met a conflict, until its next clean run: an amber disc with an
// exclamation mark, beside the red disc of Stop and the green one of a running watch.
void attentionMark(QPainter& p) {
    litDisc(p, QColor(255, 215, 90), QColor(235, 140, 0), QColor(140, 70, 0), 10);
    // On whole pixels, so that the mark stays sharp at sixteen pixels.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 30, 0));
    p.drawRect(QRectF(7, 3, 2, 6));   // the stroke
    p.drawRect(QRectF(7, 10, 2, 2));  // the dot
}

QImage smallImages(int scale) {
    const QColor ink(20, 30, 110);
    const QColor timerFace(215, 232, 250);
    const std::vector<Drawing> pictures = {
        noEntry,                                                        // 0 Stop
        tile("ON", "RUN", QColor(200, 240, 190), QColor(0, 90, 0)),     // 1 On Start
        handOnButton,                                                   // 2 Manual
        tile("10", "MIN", timerFace, ink),                              // 3 10 minutes
        tile("1", "HR.", timerFace, ink),                               // 4 1 hour
        tile("1", "DAY", timerFace, ink),                               // 5 1 day
        tile("7", "DS.", timerFace, ink),                               // 6 1 week
        tile("10", "DS.", timerFace, ink),                              // 7 10 days
        tile("1", "MN.", timerFace, ink),                               // 8 1 month
        tile("ON", "TImE", QColor(255, 225, 170), QColor(130, 50, 0)),  // 9 at a time of day
        runningMark,                                                    // 10 running now
        attentionMark,                                                  // 11 last run failed
    };
    const int size = 16 * scale;
    QImage strip(size * static_cast<int>(pictures.size()), size, QImage::Format_RGB32);
    QPainter painter(&strip);
    for (std::size_t i = 0; i < pictures.size(); ++i)
        painter.drawImage(static_cast<int>(i) * size, 0,
                          reduceOnOlive(paintLarge(16, 16, pictures[i], scale)));
    return strip;
}

// ---- Tool-button pictures, 40×40 -------------------------------------------------------------------

// The watch sheet: a page with lines, the common ground of add, edit and delete.
void sheet(QPainter& p) {
    p.setPen(QPen(QColor(80, 90, 110), 1.2));
    p.setBrush(QColor(250, 250, 252));
    drawPolygon(p, {{7, 4}, {25, 4}, {32, 11}, {32, 36}, {7, 36}});  // page
    p.setBrush(QColor(215, 220, 230));
    drawPolygon(p, {{25, 4}, {25, 11}, {32, 11}});  // fold
    p.setPen(QPen(QColor(140, 160, 200), 1.6));
    for (double y : {15.0, 20.0, 25.0}) p.drawLine(QPointF(11, y), QPointF(28, y));
}

void badge(QPainter& p, const QColor& fill) {
    p.setPen(QPen(fill.darker(160), 1.2));
    p.setBrush(fill);
    p.drawEllipse(QPointF(28, 28), 9.5, 9.5);
}

void addPicture(QPainter& p) {
    sheet(p);
    badge(p, QColor(40, 170, 60));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(22.5, 26.2, 11, 3.6));
    p.drawRect(QRectF(26.2, 22.5, 3.6, 11));
}

void editPicture(QPainter& p) {
    sheet(p);
    p.save();
    p.translate(26, 25);
    p.rotate(45);
    // A yellow pencil lying across the sheet, its point at the lower left.
    p.setPen(QPen(QColor(90, 60, 10), 1.1));
    p.setBrush(QColor(250, 200, 40));
    p.drawRect(QRectF(-4, -14, 8, 20));
    p.setBrush(QColor(230, 120, 140));
    p.drawRect(QRectF(-4, -18, 8, 4));
    p.setBrush(QColor(240, 215, 170));
    drawPolygon(p, {{-4, 6}, {4, 6}, {0, 14}});  // point
    p.setBrush(QColor(40, 40, 40));
    drawPolygon(p, {{-1.4, 11.2}, {1.4, 11.2}, {0, 14}});  // lead
    p.restore();
}

void deletePicture(QPainter& p) {
    sheet(p);
    badge(p, QColor(215, 35, 35));
    p.setPen(QPen(Qt::white, 3.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(24, 24), QPointF(32, 32));
    p.drawLine(QPointF(32, 24), QPointF(24, 32));
}

void runPicture(QPainter& p) {
    // A green "go" disc with a lightning-fast play mark: run this watch now.
    QRadialGradient light(QPointF(15, 13), 22);
    light.setColorAt(0, QColor(120, 220, 120));
    light.setColorAt(1, QColor(20, 140, 40));
    p.setPen(QPen(QColor(10, 90, 20), 1.4));
    p.setBrush(light);
    p.drawEllipse(QPointF(20, 20), 16.5, 16.5);
    p.setPen(QPen(QColor(255, 255, 255), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    drawPolygon(p, {{15, 10.5}, {29, 20}, {15, 29.5}});  // play
}

void helpPicture(QPainter& p) {
    QRadialGradient light(QPointF(15, 13), 22);
    light.setColorAt(0, QColor(110, 160, 240));
    light.setColorAt(1, QColor(20, 70, 170));
    p.setPen(QPen(QColor(10, 40, 110), 1.4));
    p.setBrush(light);
    p.drawEllipse(QPointF(20, 20), 16.5, 16.5);
    // The question mark as strokes, so no font is needed.
    p.setPen(QPen(Qt::white, 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath hook;
    hook.moveTo(14, 15.5);
    hook.cubicTo(14, 8.5, 26.5, 8.5, 26.5, 15);
    hook.cubicTo(26.5, 19.5, 20, 19.5, 20, 24);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(20, 30.5), 2.6, 2.6);
}

void exitPicture(QPainter& p) {
    // An open door with an arrow leaving through it.
    p.setPen(QPen(QColor(70, 45, 20), 1.4));
    p.setBrush(QColor(60, 60, 70));
    p.drawRect(QRectF(8, 4, 18, 32));  // the dark doorway
    p.setBrush(QColor(170, 110, 55));
    drawPolygon(p, {{8, 4}, {18, 8}, {18, 39}, {8, 36}});  // door
    p.setBrush(QColor(250, 210, 60));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(15.5, 22), 1.4, 1.4);
    p.setPen(QPen(QColor(120, 10, 10), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(225, 40, 40));
    drawPolygon(p, {{21, 17}, {29, 17}, {29, 11.5}, {38.5, 20}, {29, 28.5}, {29, 23}, {21, 23}});  // arrow
}

void previewPicture(QPainter& p) {
    // The watch sheet under a magnifying glass: look at what a run would do before it does it.
    sheet(p);
    p.setPen(QPen(QColor(60, 40, 20), 1.2));
    p.setBrush(QColor(120, 80, 40));
    p.save();
    p.translate(30.5, 30.5);
    p.rotate(45);
    p.drawRoundedRect(QRectF(-2.6, -2, 5.2, 12.5), 2, 2);  // the handle
    p.restore();
    QRadialGradient glass(QPointF(20, 19), 11);
    glass.setColorAt(0, QColor(235, 245, 255, 210));
    glass.setColorAt(1, QColor(150, 195, 240, 210));
    p.setPen(QPen(QColor(40, 60, 90), 3.2));
    p.setBrush(glass);
    p.drawEllipse(QPointF(22, 22), 9.5, 9.5);  // the lens in its rim
    p.setPen(QPen(QColor(255, 255, 255, 220), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(16, 16, 12, 12), 100 * 16, 70 * 16);  // a glint
}

void stopPicture(QPainter& p) {
    // A red octagon with a white square: stop the run.
    p.setPen(QPen(QColor(110, 0, 0), 1.4));
    p.setBrush(QColor(215, 35, 35));
    drawPolygon(p,
                {{13.5, 4}, {26.5, 4}, {36, 13.5}, {36, 26.5}, {26.5, 36}, {13.5, 36}, {4, 26.5}, {4, 13.5}});
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(14, 14, 12, 12));
}

// ---- Program icon ----------------------------------------------------------------------------------

// Two tiles of a mosaic with the circling arrows of synchronisation, drawn on a 64-unit square.
void programPicture(QPainter& p, int size) {
    p.scale(size / 64.0, size / 64.0);
    p.setPen(QPen(QColor(30, 60, 120), 2));
    p.setBrush(QColor(90, 150, 230));
    p.drawRoundedRect(QRectF(3, 3, 34, 34), 6, 6);
    p.setBrush(QColor(250, 190, 50));
    p.setPen(QPen(QColor(150, 90, 10), 2));
    p.drawRoundedRect(QRectF(27, 27, 34, 34), 6, 6);

    const QPen arrowPen(QColor(255, 255, 255), 5.5, Qt::SolidLine, Qt::FlatCap);
    const QPen rimPen(QColor(20, 40, 80), 9, Qt::SolidLine, Qt::FlatCap);
    const auto arc = [&](double startAngle) {
        QPainterPath path;
        path.arcMoveTo(QRectF(14, 14, 36, 36), startAngle);
        path.arcTo(QRectF(14, 14, 36, 36), startAngle, 120);
        return path;
    };
    const auto head = [&](double angleDegrees) {
        // An arrow head at the end of an arc, pointing along the circle.
        const double a = angleDegrees * M_PI / 180.0;
        const QPointF tip(32 + 18 * std::cos(a), 32 - 18 * std::sin(a));
        const QPointF along(-std::sin(a), -std::cos(a));  // counter-clockwise direction on screen
        const QPointF out(std::cos(a), -std::sin(a));
        QPainterPath path;
        path.moveTo(tip + along * 7);
        path.lineTo(tip + out * 7);
        path.lineTo(tip - out * 7);
        path.closeSubpath();
        return path;
    };
    p.setBrush(Qt::NoBrush);
    for (double start : {30.0, 210.0}) {
        p.setPen(rimPen);
        p.drawPath(arc(start));
    }
    for (double start : {30.0, 210.0}) {
        p.setPen(QPen(QColor(20, 40, 80), 2.5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.setBrush(Qt::white);
        p.drawPath(head(start + 120));
    }
    for (double start : {30.0, 210.0}) {
        p.setPen(arrowPen);
        p.setBrush(Qt::NoBrush);
        p.drawPath(arc(start));
    }
}

// ---- About box ---------------------------------------------------------------------------------------

// A night-blue field that a mosaic of tiles fills in towards the lower right, the program icon large on
// the left and the name on the right. The lower strip stays calm: the web address is written over it.
void aboutPicture(QPainter& p) {
    constexpr int kWidth = 351, kHeight = 208;
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0, QColor(14, 32, 78));
    sky.setColorAt(1, QColor(28, 72, 132));
    p.fillRect(QRectF(0, 0, kWidth, kHeight), sky);

    const std::vector<QColor> palette = {QColor(90, 150, 230), QColor(60, 120, 200), QColor(120, 180, 240),
                                         QColor(250, 190, 50), QColor(70, 140, 215)};
    p.setPen(Qt::NoPen);
    unsigned seed = 20260601;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    for (int y = 0; y < kHeight; y += 19) {
        for (int x = 0; x < kWidth; x += 19) {
            const double reach = 0.55 * x / kWidth + 0.45 * y / kHeight;
            const unsigned roll = next() % 100;
            const QColor base = palette[next() % palette.size()];
            if (roll > reach * 150) continue;
            QColor tile = base;
            tile.setAlphaF(std::min(0.55, 0.12 + reach * 0.45));
            p.setBrush(tile);
            p.drawRoundedRect(QRectF(x + 1.5, y + 1.5, 16, 16), 3, 3);
        }
    }
    QLinearGradient strip(0, 170, 0, kHeight);
    strip.setColorAt(0, QColor(8, 20, 50, 0));
    strip.setColorAt(0.35, QColor(8, 20, 50, 190));
    strip.setColorAt(1, QColor(8, 20, 50, 220));
    p.fillRect(QRectF(0, 170, kWidth, kHeight - 170), strip);

    p.save();
    p.translate(18, 34);
    programPicture(p, 112);
    p.restore();

    QFont name(QStringLiteral("DejaVu Sans"));
    name.setPixelSize(46);
    name.setBold(true);
    p.setFont(name);
    p.setPen(QColor(0, 0, 0, 110));
    p.drawText(QPointF(149, 106), QStringLiteral("Tessel"));
    p.setPen(Qt::white);
    p.drawText(QPointF(147, 104), QStringLiteral("Tessel"));

    QFont line(QStringLiteral("DejaVu Sans"));
    line.setPixelSize(14);
    line.setItalic(true);
    p.setFont(line);
    p.setPen(QColor(190, 220, 255));
    p.drawText(QPointF(150, 132), QStringLiteral("keeps folders in step"));
}

// The program icon as a drawing that scales to any size.
bool saveIconDrawing(const QString& folder, const QString& name) {
    const QString path = folder + QLatin1Char('/') + name;
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(64, 64));
    svg.setViewBox(QRect(0, 0, 64, 64));
    svg.setTitle(QStringLiteral("Tessel"));
    svg.setDescription(QStringLiteral("Two tiles of a mosaic with the circling arrows of synchronisation"));
    QPainter painter;
    if (!painter.begin(&svg)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    programPicture(painter, 64);
    painter.end();
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool save(const QImage& image, const QString& folder, const QString& name) {
    const QString path = folder + QLatin1Char('/') + name;
    if (image.save(path, "PNG")) {
        std::printf("%s\n", qPrintable(path));
        return true;
    }
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: tessel_make_pictures FOLDER\n");
        return 2;
    }
    // The about picture's lettering needs the font database, which needs an application; no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    // Each picture also at twice the size, for screens with two device pixels to a pixel.
    const auto name = [](const char* base, int scale) {
        return QString::fromLatin1(base) + (scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
    };
    bool ok = true;
    const std::vector<std::pair<const char*, Drawing>> tools = {
        {"add", addPicture},         {"edit", editPicture}, {"delete", deletePicture}, {"run", runPicture},
        {"preview", previewPicture}, {"stop", stopPicture}, {"help", helpPicture},     {"exit", exitPicture},
    };
    for (int scale : {1, 2}) {
        ok = save(smallImages(scale), folder, name("SmallImages", scale)) && ok;
        for (const auto& [role, draw] : tools) {
            const QByteArray base = QByteArray("tool-") + role;
            ok = save(reduceSmooth(paintLarge(40, 40, draw, scale)), folder, name(base.constData(), scale)) &&
                 ok;
        }
        ok =
            save(reduceSmooth(paintLarge(351, 208, aboutPicture, scale)), folder, name("About", scale)) && ok;
    }
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QImage icon =
            reduceSmooth(paintLarge(size, size, [size](QPainter& p) { programPicture(p, size); }));
        ok = save(icon, folder, QStringLiteral("Tessel-%1.png").arg(size)) && ok;
    }
    ok = saveIconDrawing(folder, QStringLiteral("Tessel.svg")) && ok;
    return ok ? 0 : 1;
}
