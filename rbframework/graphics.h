#pragma once
// Pictures and drawing over QPainter. Colours are 24-bit &hRRGGBB values.

#include <QFont>
#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>

class QPainter;

namespace rb {

using Color = uint32_t;
constexpr Color RGB(int r, int g, int b) { return Color((r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF)); }

class Picture;
using PicturePtr = std::shared_ptr<Picture>;

// Draws on one image. Each call paints at once; no state but the pen and the font is kept.
class Graphics {
public:
    explicit Graphics(QImage &target);
    ~Graphics();
    Graphics(const Graphics &) = delete;
    Graphics &operator=(const Graphics &) = delete;

    Color ForeColor() const { return foreColor_; }
    void ForeColor(Color c) { foreColor_ = c; }
    QString TextFont() const { return font_; }
    void TextFont(const QString &name) { font_ = name; }
    double TextSize() const { return size_; }   // points; 0 means the default size
    void TextSize(double points) { size_ = points; }
    bool Bold() const { return bold_; }
    void Bold(bool b) { bold_ = b; }
    bool Italic() const { return italic_; }
    void Italic(bool b) { italic_ = b; }
    bool Underline() const { return underline_; }
    void Underline(bool b) { underline_ = b; }
    int Width() const;
    int Height() const;

    void FillRect(int x, int y, int w, int h);
    void DrawRect(int x, int y, int w, int h);          // a one-pixel outline inside x..x+w-1, y..y+h-1
    void FillRoundRect(int x, int y, int w, int h, int arcW, int arcH);
    void DrawRoundRect(int x, int y, int w, int h, int arcW, int arcH);
    void DrawString(const QString &text, int x, int baselineY);
    double StringWidth(const QString &text) const;
    void DrawPicture(const Picture &p, int x, int y);

private:
    QFont currentFont() const;
    QImage &target_;
    Color foreColor_ = 0;
    QString font_;
    double size_ = 12;
    bool bold_ = false, italic_ = false, underline_ = false;
};

class Picture {
public:
    Picture(int width, int height, int depth = 32);   // transparent white at the start
    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    Graphics &graphics();                             // the picture's own drawing context
    QImage &image() { return image_; }
    const QImage &image() const { return image_; }

private:
    QImage image_;
    std::unique_ptr<Graphics> graphics_;
};

// nil when the size is not positive or the image cannot be made.
PicturePtr NewPicture(int width, int height, int depth = 32);

} // namespace rb
