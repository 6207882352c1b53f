// Writes the hicolor icon theme files of the package from the program's own artwork:
//   velmora-icons <out>   ->  <out>/hicolor/<n>x<n>/apps/<id>.png,
//   <out>/hicolor/scalable/apps/<id>.svg
// The fixed sizes are the pixmaps artwork::AppIcon() draws. The SVG and the 256 px PNG come from
// a vector copy of the same drawing, which is checked against those pixmaps first: when the
// artwork changes and the copy no longer matches, the build stops here.
#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/QtArtwork.h"

namespace {

constexpr const char* kId = "org.velmora.Velmora";

struct Shape {
    QPainterPath path;
    QColor fill;  // invalid: the background gradient
};

// The background gradient of AppIcon(), on its 64 x 64 grid.
const QColor kFrom(0x4a, 0x97, 0xe6);
const QColor kTo(0x1f, 0xa8, 0x8f);

// Text as drawText(rect, Qt::AlignCenter, text) lays it out, turned into outlines.
QPainterPath CenteredText(const QRectF& rect, int pixelSize, const QString& text) {
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setPixelSize(pixelSize);
    f.setBold(true);
    QFontMetricsF m(f);
    const qreal x = rect.left() + (rect.width() - m.horizontalAdvance(text)) / 2;
    const qreal y = rect.top() + (rect.height() - m.height()) / 2 + m.ascent();
    QPainterPath p;
    p.setFillRule(Qt::WindingFill);
    p.addText(QPointF(x, y), f, text);
    return p;
}

QPainterPath Rounded(const QRectF& r, qreal radius) {
    QPainterPath p;
    p.addRoundedRect(r, radius, radius);
    return p;
}

// The same shapes, colours and text as AppIcon(), in drawing order.
std::vector<Shape> IconShapes() {
    return {
        {Rounded(QRectF(2, 2, 60, 60), 14), QColor()},
        {Rounded(QRectF(8, 10, 30, 24), 8), QColor(255, 255, 255)},
        {Rounded(QRectF(26, 28, 30, 24), 8), QColor(255, 255, 255, 210)},
        {CenteredText(QRectF(8, 9, 30, 24), 18, QStringLiteral("A")), QColor(0x1f, 0x5f, 0xa8)},
        {CenteredText(QRectF(26, 27, 30, 24), 17, QStringLiteral("译")), QColor(0x16, 0x7a, 0x68)},
    };
}

QImage Render(const std::vector<Shape>& shapes, int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    QLinearGradient g(0, 0, 64, 64);
    g.setColorAt(0, kFrom);
    g.setColorAt(1, kTo);
    for (const auto& s : shapes) p.fillPath(s.path, s.fill.isValid() ? QBrush(s.fill) : QBrush(g));
    return img;
}

// Mean difference per channel, 0..255, of two images of one size.
double MeanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
        }
    }
    return sum / (4.0 * x.width() * x.height());
}

QString PathData(const QPainterPath& path) {
    QString d;
    QTextStream out(&d);
    out.setRealNumberPrecision(4);
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            out << 'M' << e.x << ' ' << e.y;
        } else if (e.isLineTo()) {
            out << 'L' << e.x << ' ' << e.y;
        } else if (e.isCurveTo()) {
            const auto c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
            out << 'C' << e.x << ' ' << e.y << ' ' << c2.x << ' ' << c2.y << ' ' << end.x << ' '
                << end.y;
            i += 2;
        }
    }
    return d;
}

QString Svg(const std::vector<Shape>& shapes) {
    QString svg;
    QTextStream out(&svg);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
           "viewBox=\"0 0 64 64\">\n"
        << "  <defs><linearGradient id=\"bg\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" "
           "y1=\"0\" x2=\"64\" y2=\"64\"><stop offset=\"0\" stop-color=\""
        << kFrom.name() << "\"/><stop offset=\"1\" stop-color=\"" << kTo.name()
        << "\"/></linearGradient></defs>\n";
    for (const auto& s : shapes) {
        out << "  <path fill-rule=\"nonzero\" fill=\""
            << (s.fill.isValid() ? s.fill.name() : QStringLiteral("url(#bg)")) << '"';
        if (s.fill.isValid() && s.fill.alpha() != 255)
            out << " fill-opacity=\"" << QString::number(s.fill.alphaF(), 'f', 4) << '"';
        out << " d=\"" << PathData(s.path) << "\"/>\n";
    }
    out << "</svg>\n";
    return svg;
}

bool Save(const QImage& img, const std::filesystem::path& file) {
    std::filesystem::create_directories(file.parent_path());
    return img.save(QString::fromStdString(file.string()), "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-icons <output folder>\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::filesystem::path root = std::filesystem::path(argv[1]) / "hicolor";
    const QIcon icon = velmora::app::artwork::AppIcon();
    const std::vector<Shape> shapes = IconShapes();

    for (int size : {16, 32, 48, 64, 128}) {
        const QPixmap px = icon.pixmap(QSize(size, size));
        if (px.size() != QSize(size, size)) {
            std::fprintf(stderr, "velmora-icons: the artwork has no %d px icon\n", size);
            return 1;
        }
        const QImage drawn = px.toImage();
        // Small sizes differ by hinting alone; the larger ones show a drifted copy.
        const double diff = MeanDifference(drawn, Render(shapes, size));
        if (size >= 48 && diff > 2.0) {
            std::fprintf(stderr,
                         "velmora-icons: the vector icon no longer matches the artwork at %d px "
                         "(mean difference %.2f)\n",
                         size, diff);
            return 1;
        }
        std::printf("velmora-icons: %d px, mean difference to the vector copy %.2f\n", size, diff);
        const auto dir = root / (std::to_string(size) + "x" + std::to_string(size)) / "apps";
        if (!Save(drawn, dir / (std::string(kId) + ".png"))) return 1;
    }
    if (!Save(Render(shapes, 256), root / "256x256" / "apps" / (std::string(kId) + ".png")))
        return 1;

    const auto svgFile = root / "scalable" / "apps" / (std::string(kId) + ".svg");
    std::filesystem::create_directories(svgFile.parent_path());
    QFile f(QString::fromStdString(svgFile.string()));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
    f.write(Svg(shapes).toUtf8());
    return f.error() == QFile::NoError ? 0 : 1;
}
