#pragma once
// A control that draws itself. It keeps its own drawing surface (a picture of its size); Paint
// handlers draw into Graphics(), and the surface is what the screen shows.

#include "exceptions.h"
#include "graphics.h"
#include "rectcontrol.h"

#include <functional>

namespace rb
{

class Canvas : public RectControl
{
  public:
    Canvas(Window &window, QString name, int left, int top, int width, int height);
    ~Canvas() override;

    // The control's own drawing surface; nil (NilObjectException on use) only for a zero size.
    rb::Graphics *GraphicsPtr();
    rb::Graphics &Graphics() { return deref(GraphicsPtr()); }
    // What the control shows, for tests and screenshots; brought up to date first when invalidated.
    const QImage &surface();

    // Asks for the control to be drawn afresh: Paint runs at its next paint, or when its surface is
    // read before that, once for any number of requests.
    void Invalidate();

    // Handlers for an instance that is not subclassed.
    std::function<void(rb::Graphics &)> Paint;
    std::function<bool(int x, int y)> MouseDown; // true claims the press
    std::function<void()> Open;

    void Event_Open() override
    {
        if (Open)
            Open();
    }
    virtual void Event_Paint(rb::Graphics &g)
    {
        if (Paint)
            Paint(g);
    }
    virtual bool Event_MouseDown(int x, int y) { return MouseDown ? MouseDown(x, y) : false; }

    // What a paint of the control does: Paint through the dispatch point, then the surface shown.
    void paintNow();

  protected:
    void resized() override;

  private:
    class Widget;
    Widget *canvasWidget() const;
    void pressed(int x, int y, bool &claimed);
    std::unique_ptr<Picture> surface_;
    bool painting_ = false;
    bool invalid_ = false;
    friend class Widget;
};

} // namespace rb
