#pragma once
// Pictures and drawing over QPainter. Colours are 24-bit &hRRGGBB values.

#include <QFont>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QPainter;

namespace rb
{

using Color = uint32_t;
constexpr Color RGB(int r, int g, int b)
{
    return Color((r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF));
}

class Picture;
using PicturePtr = std::shared_ptr<Picture>;

// Draws on one image. Each call paints at once; no state but the pen and the font is kept.
// Shapes are drawn without antialiasing, so their pixels are exact; text is antialiased.
class Graphics
{
  public:
    explicit Graphics(QImage &target);
    ~Graphics();
    Graphics(const Graphics &) = delete;
    Graphics &operator=(const Graphics &) = delete;

    Color ForeColor() const { return foreColor_; }
    void ForeColor(Color c) { foreColor_ = c & 0xFFFFFF; }
    QString TextFont() const { return font_; }
    void TextFont(const QString &name) { font_ = name; }
    double TextSize() const { return size_; } // points of 72 dpi, i.e. pixels; 0: the default
    void TextSize(double points);
    bool Bold() const { return bold_; }
    void Bold(bool b) { bold_ = b; }
    bool Italic() const { return italic_; }
    void Italic(bool b) { italic_ = b; }
    bool Underline() const { return underline_; }
    void Underline(bool b) { underline_ = b; }
    int Width() const;
    int Height() const;

    void FillRect(int x, int y, int w, int h);
    void DrawRect(int x, int y, int w, int h); // a one-pixel outline inside x..x+w-1, y..y+h-1
    // arcW and arcH are the full width and height of the ellipse that rounds each corner.
    void FillRoundRect(int x, int y, int w, int h, int arcW, int arcH);
    void DrawRoundRect(int x, int y, int w, int h, int arcW, int arcH);
    void DrawString(const QString &text, int x, int baselineY);
    double StringWidth(const QString &text) const;
    void DrawPicture(const Picture &p, int x, int y);

    // Called after each drawing call; a canvas uses it to get its surface onto the screen.
    void onDrawn(std::function<void()> hook) { drawn_ = std::move(hook); }

  private:
    QFont currentFont() const;
    bool begin(QPainter &p);
    void roundRect(int x, int y, int w, int h, int arcW, int arcH, bool filled);
    void finished();
    QImage &target_;
    Color foreColor_ = 0;
    QString font_;
    double size_ = 12;
    bool bold_ = false, italic_ = false, underline_ = false;
    std::function<void()> drawn_;
};

class Picture
{
  public:
    // 32 bits: transparent at the start; other depths: opaque white. A size that is not positive, or
    // a depth not in 0, 1, 8, 16, 24, 32, gives an empty picture (see NewPicture).
    Picture(int width, int height, int depth = 32);
    Picture(const Picture &) = delete;
    Picture &operator=(const Picture &) = delete;
    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    int Depth() const { return depth_; }
    bool isNull() const { return image_.isNull(); }
    Graphics &graphics(); // the picture's own drawing context
    QImage &image() { return image_; }
    const QImage &image() const { return image_; }
    // New size, keeping the content that still fits; the drawing context stays the same object.
    void resize(int width, int height);

    static constexpr long long maxPixels = 64LL * 1024 * 1024;

  private:
    QImage make(int width, int height) const;
    int depth_;
    QImage image_;
    std::unique_ptr<Graphics> graphics_;
};

// nil when the size is not positive, too large, the depth unknown or the image cannot be made.
PicturePtr NewPicture(int width, int height, int depth = 32);

} // namespace rb
