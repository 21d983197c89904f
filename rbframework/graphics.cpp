#include "graphics.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace rb
{

namespace
{

QColor toQColor(Color c)
{
    return QColor(int(c >> 16 & 0xFF), int(c >> 8 & 0xFF), int(c & 0xFF));
}

constexpr double maxTextSize = 1000;

} // namespace

Graphics::Graphics(QImage &target) : target_(target) {}

Graphics::~Graphics() = default;

void Graphics::TextSize(double points)
{
    // Negative, not-a-number and absurd sizes fall back to the default or the largest size.
    if (!(points > 0))
        size_ = 0;
    else
        size_ = std::min(points, maxTextSize);
}

int Graphics::Width() const
{
    return target_.width();
}
int Graphics::Height() const
{
    return target_.height();
}

QFont Graphics::currentFont() const
{
    QFont f = QApplication::font();
    if (!font_.isEmpty() && font_.compare(QLatin1String("System"), Qt::CaseInsensitive) != 0)
        f.setFamily(font_);
    // The framework's points are screen pixels (72 dpi), whatever the platform's font scaling.
    if (size_ > 0)
        f.setPixelSize(std::max(1, qRound(size_)));
    f.setBold(bold_);
    f.setItalic(italic_);
    f.setUnderline(underline_);
    return f;
}

bool Graphics::begin(QPainter &p)
{
    if (target_.isNull() || !p.begin(&target_))
        return false;
    p.setRenderHint(QPainter::Antialiasing, false);
    return true;
}

void Graphics::finished()
{
    if (drawn_)
        drawn_();
}

void Graphics::FillRect(int x, int y, int w, int h)
{
    if (w <= 0 || h <= 0)
        return;
    QPainter p;
    if (!begin(p))
        return;
    p.fillRect(QRect(x, y, w, h), toQColor(foreColor_));
    p.end();
    finished();
}

void Graphics::DrawRect(int x, int y, int w, int h)
{
    if (w <= 0 || h <= 0)
        return;
    QPainter p;
    if (!begin(p))
        return;
    // Four one-pixel strips: exact whatever the pen rules.
    const QColor c = toQColor(foreColor_);
    p.fillRect(QRect(x, y, w, 1), c);
    p.fillRect(QRect(x, y + h - 1, w, 1), c);
    p.fillRect(QRect(x, y, 1, h), c);
    p.fillRect(QRect(x + w - 1, y, 1, h), c);
    p.end();
    finished();
}

// The outline is what an aliased one-pixel pen on x..x+w-1 lights: the outermost pixels of the
// w-by-h area. Filled, everything inside it is lit too, so that a shape filled and then outlined
// shows none of its fill outside the corners' curves. Corners too small to round give a rectangle.
void Graphics::roundRect(int x, int y, int w, int h, int arcW, int arcH, bool filled)
{
    if (w <= 0 || h <= 0)
        return;
    const double rx = std::clamp(arcW, 0, w) / 2.0;
    const double ry = std::clamp(arcH, 0, h) / 2.0;
    if (rx <= 0 || ry <= 0 || w < 3 || h < 3) {
        if (filled)
            FillRect(x, y, w, h);
        else
            DrawRect(x, y, w, h);
        return;
    }
    QPainter p;
    if (!begin(p))
        return;
    QPen pen(toQColor(foreColor_));
    pen.setWidth(1);
    pen.setCosmetic(true);
    p.setPen(pen);
    p.setBrush(filled ? QBrush(toQColor(foreColor_)) : QBrush(Qt::NoBrush));
    p.drawRoundedRect(QRectF(x, y, w - 1, h - 1), rx, ry, Qt::AbsoluteSize);
    p.end();
    finished();
}

void Graphics::FillRoundRect(int x, int y, int w, int h, int arcW, int arcH)
{
    roundRect(x, y, w, h, arcW, arcH, true);
}

void Graphics::DrawRoundRect(int x, int y, int w, int h, int arcW, int arcH)
{
    roundRect(x, y, w, h, arcW, arcH, false);
}

void Graphics::DrawString(const QString &text, int x, int baselineY)
{
    if (text.isEmpty())
        return;
    QPainter p;
    if (!begin(p))
        return;
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(currentFont());
    p.setPen(toQColor(foreColor_));
    p.drawText(QPointF(x, baselineY), text);
    p.end();
    finished();
}

double Graphics::StringWidth(const QString &text) const
{
    if (text.isEmpty())
        return 0;
    // Measured on the target itself, so that the width matches what DrawString paints.
    if (target_.isNull())
        return QFontMetricsF(currentFont()).horizontalAdvance(text);
    return QFontMetricsF(currentFont(), &target_).horizontalAdvance(text);
}

void Graphics::DrawPicture(const Picture &pic, int x, int y)
{
    if (pic.isNull() || &pic.image() == &target_)
        return;
    QPainter p;
    if (!begin(p))
        return;
    p.drawImage(QPoint(x, y), pic.image());
    p.end();
    finished();
}

// --- Picture

namespace
{

bool validDepth(int depth)
{
    return depth == 0 || depth == 1 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

bool validSize(int width, int height)
{
    return width > 0 && height > 0 && (long long)width * height <= Picture::maxPixels;
}

} // namespace

Picture::Picture(int width, int height, int depth) : depth_(validDepth(depth) ? depth : 32)
{
    if (validDepth(depth))
        image_ = make(width, height);
}

QImage Picture::make(int width, int height) const
{
    if (!validSize(width, height))
        return {};
    QImage img(width, height, depth_ == 32 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (img.isNull())
        return {};
    img.fill(depth_ == 32 ? QColor(255, 255, 255, 0) : QColor(Qt::white));
    return img;
}

Graphics &Picture::graphics()
{
    if (!graphics_)
        graphics_ = std::make_unique<Graphics>(image_);
    return *graphics_;
}

void Picture::resize(int width, int height)
{
    if (width == image_.width() && height == image_.height())
        return;
    QImage next = make(width, height);
    if (!next.isNull() && !image_.isNull()) {
        QPainter p(&next);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(QPoint(0, 0), image_);
    }
    image_ = std::move(next); // graphics_ refers to image_, which stays the same object
}

PicturePtr NewPicture(int width, int height, int depth)
{
    if (!validSize(width, height) || !validDepth(depth))
        return nullptr;
    auto p = std::make_shared<Picture>(width, height, depth);
    if (p->isNull())
        return nullptr;
    return p;
}

} // namespace rb
