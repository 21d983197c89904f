// Pictures and drawing, and the canvas that shows its own surface.
#include "rbframework/canvas.h"
#include "rbframework/dispatch.h"
#include "rbframework/graphics.h"
#include "rbframework/window.h"

#include <QApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

namespace
{

constexpr rb::Color red = rb::RGB(255, 0, 0);
constexpr rb::Color white = rb::RGB(255, 255, 255);

QRgb at(const rb::Picture &p, int x, int y)
{
    return p.image().pixel(x, y);
}
bool isRed(QRgb c)
{
    return qRed(c) == 255 && qGreen(c) == 0 && qBlue(c) == 0 && qAlpha(c) == 255;
}
bool isClear(QRgb c)
{
    return qAlpha(c) == 0;
}

TEST(Picture, StartsTransparentAtThirtyTwoBitsAndRejectsBadSizes)
{
    rb::PicturePtr p = rb::NewPicture(20, 10);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Width(), 20);
    EXPECT_TRUE(isClear(at(*p, 0, 0)));
    EXPECT_TRUE(isClear(at(*p, 19, 9)));
    rb::PicturePtr opaque = rb::NewPicture(4, 4, 24);
    ASSERT_TRUE(opaque);
    EXPECT_EQ(opaque->image().pixel(0, 0), qRgb(255, 255, 255));

    for (auto [w, h, d] : {std::tuple{0, 10, 32}, {10, 0, 32}, {-1, 5, 32}, {5, 5, 7}, {100000, 100000, 32}})
        EXPECT_FALSE(rb::NewPicture(w, h, d)) << w << "x" << h << "@" << d;
}

TEST(Graphics, DrawRectLightsExactlyTheOuterPixels)
{
    rb::Picture p(12, 8);
    rb::Graphics &g = p.graphics();
    g.ForeColor(red);
    g.DrawRect(2, 1, 6, 4); // covers x 2..7, y 1..4
    struct {
        int x, y;
        bool lit;
    } cases[] = {
        {2, 1, true},  {7, 1, true},  {2, 4, true},  {7, 4, true},  {5, 1, true},  {2, 3, true},
        {8, 1, false}, {2, 5, false}, {1, 1, false}, {3, 2, false}, {6, 3, false}, {2, 0, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isRed(at(p, c.x, c.y)), c.lit) << c.x << "," << c.y;
    EXPECT_TRUE(isClear(at(p, 4, 2))) << "inside stays untouched";
}

TEST(Graphics, FillRectAndRoundedCorners)
{
    rb::Picture p(30, 20);
    rb::Graphics &g = p.graphics();
    g.ForeColor(white);
    g.FillRect(0, 0, 30, 20);
    g.ForeColor(red);
    g.FillRoundRect(1, 1, 29, 19, 6, 6); // corner radius 3
    EXPECT_EQ(at(p, 1, 1), qRgba(255, 255, 255, 255)) << "the corner pixel stays the background";
    EXPECT_EQ(at(p, 29, 19), qRgba(255, 255, 255, 255));
    EXPECT_TRUE(isRed(at(p, 4, 1))) << "the top edge past the corner is filled";
    EXPECT_TRUE(isRed(at(p, 1, 4)));
    EXPECT_TRUE(isRed(at(p, 15, 10)));
    EXPECT_EQ(at(p, 0, 10), qRgba(255, 255, 255, 255)) << "the fill starts at x 1";

    g.FillRoundRect(0, 0, 5, 5, 0, 0); // no rounding: square
    EXPECT_TRUE(isRed(at(p, 0, 0)));
}

TEST(Graphics, DrawRoundRectOutlineStaysInside)
{
    rb::Picture p(20, 14);
    rb::Graphics &g = p.graphics();
    g.ForeColor(red);
    g.DrawRoundRect(0, 0, 20, 14, 6, 6);
    EXPECT_TRUE(isRed(at(p, 10, 0)));
    EXPECT_TRUE(isRed(at(p, 10, 13)));
    EXPECT_TRUE(isRed(at(p, 0, 7)));
    EXPECT_TRUE(isRed(at(p, 19, 7)));
    EXPECT_TRUE(isClear(at(p, 0, 0))) << "rounded corner";
    EXPECT_TRUE(isClear(at(p, 10, 7)));
}

TEST(Graphics, AFilledShapeStaysInsideTheOutlineOfItsKey)
{
    // A key's drawing: the fill inset by one pixel at the top and left, then the outline over the
    // whole area. No fill may show outside the outline, at the right and bottom corners least of all.
    const rb::Color black = rb::RGB(0, 0, 0);
    const struct {
        int w, h, rad;
    } keys[] = {{450, 25, 6}, {82, 20, 6}, {40, 30, 12}};
    for (const auto &k : keys) {
        rb::Picture p(k.w, k.h);
        rb::Graphics &g = p.graphics();
        g.ForeColor(red);
        g.FillRoundRect(1, 1, k.w - 1, k.h - 1, k.rad, k.rad);
        g.ForeColor(black);
        g.DrawRoundRect(0, 0, k.w, k.h, 6, 6);
        auto isBlack = [&](int x, int y) { return at(p, x, y) == qRgba(0, 0, 0, 255); };
        int outside = 0;
        QString first;
        for (int y = 0; y < k.h; ++y)
            for (int x = 0; x < k.w; ++x) {
                if (!isRed(at(p, x, y)))
                    continue;
                bool left = false, right = false, above = false, below = false;
                for (int i = 0; i < x; ++i)
                    left = left || isBlack(i, y);
                for (int i = x + 1; i < k.w; ++i)
                    right = right || isBlack(i, y);
                for (int j = 0; j < y; ++j)
                    above = above || isBlack(x, j);
                for (int j = y + 1; j < k.h; ++j)
                    below = below || isBlack(x, j);
                if (!(left && right && above && below) && outside++ == 0)
                    first = QStringLiteral("%1,%2").arg(x).arg(y);
            }
        EXPECT_EQ(outside, 0) << k.w << "x" << k.h << ": fill outside the outline, first at "
                              << first.toStdString();
        EXPECT_TRUE(isRed(at(p, k.w / 2, k.h / 2))) << "the key is filled";
        EXPECT_TRUE(isRed(at(p, k.w - 2, k.h / 2))) << "up to the outline on the right";
    }
}

TEST(Graphics, StringWidthMatchesTheDrawnText)
{
    rb::Picture p(200, 40);
    rb::Graphics &g = p.graphics();
    g.TextFont(QStringLiteral("System"));
    g.TextSize(14);
    g.Bold(true);
    const double w = g.StringWidth(QStringLiteral("Abort"));
    EXPECT_GT(w, 10);
    EXPECT_EQ(g.StringWidth({}), 0);
    g.ForeColor(red);
    g.DrawString(QStringLiteral("Abort"), 10, 30);
    int minX = 1000, maxX = -1;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x)
            if (qAlpha(at(p, x, y)) > 0) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
    ASSERT_GE(maxX, 0) << "something was drawn";
    EXPECT_NEAR(maxX + 1 - minX, w, 3.0);
    g.Bold(false);
    EXPECT_LT(g.StringWidth(QStringLiteral("Abort")), w) << "measured in the current font";

    g.TextSize(-3);
    EXPECT_EQ(g.TextSize(), 0);
}

TEST(Graphics, DrawPictureCopiesWithItsTransparency)
{
    rb::Picture dst(10, 10, 24);
    rb::Picture src(4, 4);
    src.graphics().ForeColor(red);
    src.graphics().FillRect(1, 1, 2, 2);
    dst.graphics().DrawPicture(src, 3, 3);
    EXPECT_TRUE(isRed(at(dst, 4, 4)));
    EXPECT_EQ(at(dst, 3, 3), qRgb(255, 255, 255)) << "the transparent part leaves the target";
    dst.graphics().DrawPicture(dst, 0, 0); // onto itself: nothing, no crash
}

// --- Canvas

struct Host : rb::Window {
    Host() : Window(QStringLiteral("host"), 0, 0, 200, 100) {}
};

class CanvasTest : public ::testing::Test
{
  protected:
    void TearDown() override { rb::setUnhandledExceptionHandler({}); }
    Host w;
};

void send(QWidget *target, QEvent::Type type, QPoint pos)
{
    QMouseEvent e(type, QPointF(pos), target->mapToGlobal(QPointF(pos)), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

TEST_F(CanvasTest, MouseDownOncePerPressWithThePosition)
{
    auto &c = w.add<rb::Canvas>(QStringLiteral("key"), 10, 10, 80, 20);
    std::vector<QPoint> presses;
    c.MouseDown = [&](int x, int y) {
        presses.emplace_back(x, y);
        return true;
    };
    w.Show();
    send(c.widget(), QEvent::MouseButtonPress, {5, 6});
    send(c.widget(), QEvent::MouseButtonRelease, {5, 6});
    send(c.widget(), QEvent::MouseButtonDblClick, {7, 8}); // the second press of a double click
    send(c.widget(), QEvent::MouseButtonRelease, {7, 8});
    EXPECT_EQ(presses, (std::vector<QPoint>{{5, 6}, {7, 8}}));
    w.Hide();
}

TEST_F(CanvasTest, PaintDrawsIntoTheSurfaceThatIsShown)
{
    auto &c = w.add<rb::Canvas>(QStringLiteral("key"), 10, 10, 40, 20);
    int paints = 0;
    c.Paint = [&](rb::Graphics &g) {
        ++paints;
        g.ForeColor(red);
        g.FillRect(0, 0, g.Width(), g.Height());
    };
    w.Show();
    const QImage shot = c.widget()->grab().toImage();
    EXPECT_GE(paints, 1);
    EXPECT_TRUE(isRed(c.surface().pixel(39, 19)));
    EXPECT_EQ(QColor(shot.pixel(20, 10)), QColor(Qt::red));

    c.Width(60);
    EXPECT_EQ(c.surface().width(), 60) << "the surface follows the size";
    EXPECT_TRUE(isRed(c.surface().pixel(39, 19))) << "and keeps what it held";
    EXPECT_EQ(&c.Graphics(), c.GraphicsPtr()) << "one drawing context for the control's life";
    w.Hide();
}

TEST_F(CanvasTest, ZeroSizeHasNoGraphicsAndPaintExceptionsAreDispatched)
{
    auto &empty = w.add<rb::Canvas>(QStringLiteral("empty"), 0, 0, 0, 0);
    EXPECT_EQ(empty.GraphicsPtr(), nullptr);
    EXPECT_THROW(empty.Graphics(), rb::NilObjectException);

    auto &c = w.add<rb::Canvas>(QStringLiteral("bad"), 0, 0, 10, 10);
    int caught = 0;
    rb::setUnhandledExceptionHandler([&](const rb::RuntimeException &) { return ++caught, true; });
    c.Paint = [](rb::Graphics &) { throw rb::NilObjectException(); };
    c.MouseDown = [](int, int) -> bool { throw rb::OutOfBoundsException(); };
    w.Show();
    c.paintNow();
    send(c.widget(), QEvent::MouseButtonPress, {1, 1});
    EXPECT_EQ(caught, 2);
    w.Hide();
}

} // namespace
