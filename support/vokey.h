#pragma once
// A key drawn as a hardware key: a filled rounded rectangle, lit or not, with a centred caption and
// a thin black outline. It raises action when the mouse button goes down on it.

#include "rbframework/canvas.h"
#include "rbframework/graphics.h"
#include "rbframework/text.h"

#include <cstdint>
#include <functional>

namespace korvane
{

class vokey : public rb::Canvas
{
  public:
    vokey(rb::Window &window, QString name, int left, int top, int width, int height);

    // Writing these directly changes neither the drawing nor the key's name until the next redraw;
    // the setters below that redraw rename the key at once and have it drawn at its next paint.
    rb::Color litcolor = 0x00FF40;
    rb::Color offcolor = 0xD0D0D0;
    bool lit = false;
    rb::String caption;
    rb::String Textfont = QStringLiteral("tahoma");
    rb::Color TextLitcolor = 0x000000;
    rb::Color TextOffColor = 0x000000;
    int32_t textsize = 12;
    bool Bold = true;
    bool underline = false;
    bool Italic = false;
    int32_t kursor = 0;    // kept for the owner; not drawn
    int32_t Tag = 0;       // the unit command the key stands for
    int32_t rad = 6;       // corner size of the fill
    bool border = true;    // kept for the owner; the outline is always drawn
    rb::String litcaption; // shown instead of caption while lit, when flitcaption
    bool flitcaption = false;

    std::function<void(vokey &)> action; // the mouse button went down on the key
    std::function<void(vokey &)> open1;  // the key has finished opening

    int redraws = 0; // how many times the key was drawn

    void Event_Paint(rb::Graphics &g) override;
    void Event_Open() override;
    bool Event_MouseDown(int x, int y) override;

    void redraw();
    void setcaption(const rb::String &text);
    void setlit(bool value);
    void setcolor(const rb::String &scheme); // "red", "lime", anything else a pale green
    void setkursor(int32_t value);
    void setheight(int32_t height);
    void tag2caption();
    void settag(int32_t value);
    void settagnum(int32_t value);
    void setrad(int32_t value);
    void settextsize(int32_t value);
    void Setlitcaption(const rb::String &text);
    void Toglit();

  private:
    const rb::String &shownText() const; // the caption the key's state shows
    void redrawAtPaint();
};

} // namespace korvane
