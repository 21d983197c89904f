#include "canvas.h"

#include "dispatch.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

namespace rb
{

class Canvas::Widget : public QWidget
{
  public:
    explicit Widget(Canvas *owner) : owner_(owner)
    {
        setAttribute(Qt::WA_OpaquePaintEvent, false);
        setFocusPolicy(Qt::NoFocus);
    }
    void forget() { owner_ = nullptr; }

  protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!owner_)
            return;
        owner_->paintNow();
        QPainter p(this);
        p.drawImage(QPoint(0, 0), owner_->surface());
    }

    void mousePressEvent(QMouseEvent *e) override
    {
        // A double click's second press arrives as mouseDoubleClickEvent, which QWidget hands here:
        // each physical press reaches MouseDown once.
        if (!owner_) {
            e->ignore();
            return;
        }
        const QPoint pos = e->position().toPoint();
        bool claimed = false;
        owner_->pressed(pos.x(), pos.y(), claimed);
        e->setAccepted(claimed);
    }

  private:
    Canvas *owner_;
};

Canvas::Canvas(Window &window, QString name, int left, int top, int width, int height)
    : RectControl(window, std::move(name), new Widget(this), left, top, width, height),
      surface_(std::make_unique<Picture>(std::max(width, 0), std::max(height, 0)))
{
    // Drawing outside a paint (a setter that redraws at once) shows at the next paint.
    surface_->graphics().onDrawn([this] {
        if (!painting_)
            Refresh();
    });
}

Canvas::~Canvas()
{
    if (Widget *w = canvasWidget())
        w->forget();
}

Canvas::Widget *Canvas::canvasWidget() const
{
    return static_cast<Widget *>(widget());
}

rb::Graphics *Canvas::GraphicsPtr()
{
    if (!surface_ || surface_->isNull())
        return nullptr;
    return &surface_->graphics();
}

const QImage &Canvas::surface()
{
    if (invalid_)
        paintNow();
    return surface_->image();
}

void Canvas::Invalidate()
{
    invalid_ = true;
    Refresh();
}

void Canvas::resized()
{
    if (surface_)
        surface_->resize(Width(), Height());
}

void Canvas::paintNow()
{
    rb::Graphics *g = GraphicsPtr();
    if (!g)
        return;
    invalid_ = false;
    painting_ = true;
    dispatch([this, g] { Event_Paint(*g); });
    painting_ = false;
}

void Canvas::pressed(int x, int y, bool &claimed)
{
    dispatch([&] { claimed = Event_MouseDown(x, y); });
}

} // namespace rb
