#include "vokey.h"

#include "config.h"
#include "rbframework/exceptions.h"
#include "vosr.h"

namespace korvane
{

vokey::vokey(rb::Window &window, QString name, int left, int top, int width, int height)
    : rb::Canvas(window, std::move(name), left, top, width, height)
{
}

void vokey::Event_Paint(rb::Graphics &)
{
    redraw();
}

void vokey::Event_Open()
{
    Textfont = config::getfont(QStringLiteral("basefont"));
    setheight(Height());
    if (open1)
        open1(*this);
}

bool vokey::Event_MouseDown(int, int)
{
    if (action)
        action(*this);
    return true;
}

void vokey::redraw()
{
    const int w = Width();
    const int h = Height();
    const int offset = -h / 8;

    // The whole key goes into a fresh picture first, so a half-drawn key is never shown.
    rb::PicturePtr pic = rb::NewPicture(w, h, 32);
    rb::Picture &picture = rb::deref(pic);
    rb::Graphics &g = picture.graphics();

    g.ForeColor(lit ? litcolor : offcolor);
    const rb::String &text = shownText();
    g.FillRoundRect(1, 1, w - 1, h - 1, rad, rad);

    if (!text.isEmpty()) {
        g.ForeColor(lit ? TextLitcolor : TextOffColor);
        g.TextFont(Textfont);
        g.TextSize(textsize);
        g.Bold(Bold);
        g.Underline(underline);
        g.Italic(Italic);
        const double size = g.TextSize();
        const int y = int(h / 2.0 + size / 2.0);
        const int x = int(w / 2.0 - g.StringWidth(text) / 2.0);
        g.DrawString(text, x, y + offset);
    }

    g.ForeColor(rb::RGB(0, 0, 0));
    if (picture.Height() > 12)
        g.DrawRoundRect(0, 0, w, h, 6, 6);
    else
        g.DrawRect(0, 0, w, h);

    Graphics().DrawPicture(picture, 0, 0);
    // The caption is drawn, not a widget's text: it is also the key's name for assistive technology.
    widget()->setAccessibleName(text);
    ++redraws;
}

const rb::String &vokey::shownText() const
{
    return lit && flitcaption ? litcaption : caption;
}

// Drawn when the key is painted: a key changed several times before it is shown, or while its page
// is not, is drawn once. Its name follows the change at once, painted or not.
void vokey::redrawAtPaint()
{
    Graphics(); // a key without a drawing surface raises NilObjectException here, as redraw does
    widget()->setAccessibleName(shownText());
    Invalidate();
}

void vokey::setcaption(const rb::String &text)
{
    if (rb::Same(text, caption))
        return;
    caption = text;
    redrawAtPaint();
}

void vokey::setlit(bool value)
{
    if (value == lit)
        return;
    lit = value;
    redrawAtPaint();
}

void vokey::setcolor(const rb::String &scheme)
{
    if (rb::Same(scheme, QStringLiteral("red"))) {
        litcolor = 0xFF0000;
        TextLitcolor = 0xFFFFFF;
    } else if (rb::Same(scheme, QStringLiteral("lime"))) {
        litcolor = 0x00FF00;
        TextLitcolor = 0x000000;
    } else {
        litcolor = 0xC5FFC5;
        TextLitcolor = 0x000000;
    }
    redrawAtPaint();
}

void vokey::setkursor(int32_t value)
{
    if (value == kursor)
        return;
    kursor = value;
    redrawAtPaint();
}

void vokey::setheight(int32_t height)
{
    Height(height);
    settextsize(Height() * 4 / 7);
    if (height < 12)
        rad = 0;
}

void vokey::tag2caption()
{
    setcaption(vosr::cmd2caption(Tag));
    if (Tag == 18)
        setcolor(QStringLiteral("Red"));
    if (Tag == 19)
        setlit(true);
}

void vokey::settag(int32_t value)
{
    if (value == Tag)
        return;
    Tag = value;
    tag2caption();
}

void vokey::settagnum(int32_t value)
{
    Tag = value;
    setcaption(rb::Str(value));
}

void vokey::setrad(int32_t value)
{
    rad = value;
    redrawAtPaint();
}

void vokey::settextsize(int32_t value)
{
    textsize = value;
    redrawAtPaint();
}

void vokey::Setlitcaption(const rb::String &text)
{
    if (rb::Same(text, litcaption))
        return;
    litcaption = text;
    flitcaption = !text.isEmpty();
    if (lit)
        redrawAtPaint();
}

void vokey::Toglit()
{
    lit = !lit;
    redrawAtPaint();
}

} // namespace korvane
