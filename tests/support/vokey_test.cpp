// The key control: what it draws on its own surface, when it redraws, and its events.
#include "rbframework/exceptions.h"
#include "rbframework/window.h"
#include "support/config.h"
#include "support/vokey.h"
#include "tests/common/key_pixels.h"
#include "tests/common/qstring_print.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

using korvane::vokey;

namespace
{

// Pixels compared with their alpha: a transparent pixel never passes for black.
using keypixels::countInside;
using keypixels::pixel;
using keypixels::solid;

class VokeyTest : public ::testing::Test
{
  protected:
    void SetUp() override { korvane::config::release(); }
    void TearDown() override { korvane::config::release(); }

    vokey &makeKey(int width = 120, int height = 25)
    {
        return win.add<vokey>(QStringLiteral("key") + QString::number(++made), 10, 10, width, height);
    }

    rb::Window win{QStringLiteral("keys"), 0, 0, 400, 200};
    int made = 0;
};

TEST_F(VokeyTest, DrawsFillOutlineAndCaptionForEachScheme)
{
    const struct {
        const char *scheme;
        bool lit;
        rb::Color fill, text;
    } cases[] = {
        {"red", true, 0xFF0000, 0xFFFFFF},   {"red", false, 0xD0D0D0, 0x000000},
        {"lime", true, 0x00FF00, 0x000000},  {"lime", false, 0xD0D0D0, 0x000000},
        {"other", true, 0xC5FFC5, 0x000000}, {"other", false, 0xD0D0D0, 0x000000},
    };
    QDir().mkpath(QStringLiteral(KORVANE_ARTEFACTS_DIR));
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.scheme) + (c.lit ? " lit" : " unlit"));
        vokey &key = makeKey();
        key.caption = QStringLiteral("Midi OK");
        key.setheight(25);
        key.lit = c.lit;
        key.setcolor(QString::fromLatin1(c.scheme));

        EXPECT_EQ(pixel(key, 3, 12), solid(c.fill)) << "fill beside the caption";
        EXPECT_EQ(pixel(key, 1, 12), solid(c.fill)) << "the fill starts one pixel in";
        EXPECT_EQ(pixel(key, 118, 12), solid(c.fill));
        EXPECT_EQ(pixel(key, 0, 12), solid(0u)) << "outline left";
        EXPECT_EQ(pixel(key, 119, 12), solid(0u)) << "outline right";
        EXPECT_EQ(pixel(key, 60, 0), solid(0u)) << "outline top";
        EXPECT_EQ(pixel(key, 60, 24), solid(0u)) << "outline bottom";
        EXPECT_NE(pixel(key, 0, 0), solid(c.fill)) << "corner outside the rounded outline";
        EXPECT_GT(countInside(key, c.text), 5) << "caption drawn in its colour";

        const QString png = QStringLiteral(KORVANE_ARTEFACTS_DIR "/vokey_%1_%2.png")
                                .arg(QString::fromLatin1(c.scheme), c.lit ? "lit" : "unlit");
        EXPECT_TRUE(key.surface().scaled(480, 100).save(png));
    }
}

TEST_F(VokeyTest, CaptionSitsCentredAndRaised)
{
    vokey &key = makeKey(120, 40);
    key.caption = QStringLiteral("M");
    key.setheight(40); // textsize 22, offset -5, baseline 31 - 5 = 26
    int top = key.Height(), bottom = -1, left = key.Width(), right = -1;
    for (int y = 2; y < key.Height() - 2; ++y)
        for (int x = 2; x < key.Width() - 2; ++x)
            if (pixel(key, x, y) != solid(key.offcolor)) {
                top = std::min(top, y), bottom = std::max(bottom, y);
                left = std::min(left, x), right = std::max(right, x);
            }
    ASSERT_GE(bottom, 0) << "caption drawn";
    EXPECT_NEAR(bottom, 25, 2) << "baseline at height/2 + size/2 - height/8";
    EXPECT_NEAR((left + right) / 2.0, 60, 3) << "centred";
}

TEST_F(VokeyTest, NoCaptionMeansOnlyFillAndOutline)
{
    const struct {
        const char *name;
        std::function<void(vokey &)> set;
        rb::Color fill;
    } cases[] = {
        {"empty caption", [](vokey &) {}, 0xD0D0D0},
        {"lit with empty lit caption in use",
         [](vokey &k) { k.caption = "X", k.lit = true, k.flitcaption = true; }, 0x00FF40},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        vokey &key = makeKey();
        c.set(key);
        key.redraw();
        const int all = (key.Width() - 6) * (key.Height() - 6);
        EXPECT_EQ(countInside(key, c.fill), all);
    }
}

// Written directly, the state names the key at its next redraw; through a setter, at once, before
// the key is drawn.
TEST_F(VokeyTest, TheCaptionShownIsTheKeysAccessibleName)
{
    const struct {
        const char *name;
        std::function<void(vokey &)> set;
        bool redrawn;
        QString shown;
    } cases[] = {
        {"caption", [](vokey &k) { k.caption = "Midi OK"; }, true, "Midi OK"},
        {"lit caption while lit", [](vokey &k) { k.caption = "Off", k.Setlitcaption("On"), k.lit = true; },
         true, "On"},
        {"caption while not lit", [](vokey &k) { k.caption = "Off", k.Setlitcaption("On"); }, true, "Off"},
        {"no caption", [](vokey &) {}, true, ""},
        {"new caption set", [](vokey &k) { k.setcaption("Midi OK"); }, false, "Midi OK"},
        {"caption written, then a colour", [](vokey &k) { k.caption = "Off", k.setcolor("red"); }, false,
         "Off"},
        {"lit with a lit caption", [](vokey &k) { k.Setlitcaption("On"), k.setlit(true); }, false, "On"},
        {"lit caption dropped while lit",
         [](vokey &k) { k.caption = "Off", k.Setlitcaption("On"), k.Toglit(), k.Setlitcaption(""); }, false,
         "Off"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        vokey &key = makeKey();
        c.set(key);
        if (c.redrawn)
            key.redraw();
        else
            EXPECT_EQ(key.redraws, 0) << "named before it is drawn";
        EXPECT_EQ(key.widget()->accessibleName(), c.shown);
    }
}

TEST_F(VokeyTest, LowKeysGetSquareShapes)
{
    vokey &twelve = makeKey(40, 25);
    twelve.setheight(12);
    EXPECT_EQ(twelve.rad, 6);
    EXPECT_EQ(pixel(twelve, 0, 0), solid(0u)) << "square outline";
    EXPECT_EQ(pixel(twelve, 39, 11), solid(0u));
    EXPECT_NE(pixel(twelve, 1, 1), solid(twelve.offcolor)) << "fill still rounded";
    EXPECT_EQ(pixel(twelve, 5, 6), solid(twelve.offcolor));

    vokey &thirteen = makeKey(40, 13);
    thirteen.redraw();
    EXPECT_NE(pixel(thirteen, 0, 0), solid(0u)) << "rounded outline from 13 pixels";

    vokey &ten = makeKey(40, 25);
    ten.setheight(10);
    ten.redraw();
    EXPECT_EQ(ten.rad, 0);
    EXPECT_EQ(pixel(ten, 1, 1), solid(ten.offcolor)) << "square fill";
    EXPECT_EQ(pixel(ten, 0, 0), solid(0u));
}

TEST_F(VokeyTest, KeyWithoutSurfaceRaisesNilObject)
{
    vokey &flat = makeKey(40, 0);
    EXPECT_THROW(flat.redraw(), rb::NilObjectException);
    EXPECT_THROW(flat.setcaption(QStringLiteral("x")), rb::NilObjectException);
    EXPECT_EQ(flat.redraws, 0);

    vokey &key = makeKey(40, 25);
    EXPECT_THROW(key.setheight(0), rb::NilObjectException) << "the redraw through settextsize";
}

TEST_F(VokeyTest, SetheightScalesTheCaption)
{
    const struct {
        int height, textsize, rad;
    } cases[] = {{25, 14, 6}, {20, 11, 6}, {13, 7, 6}, {12, 6, 6}, {11, 6, 0}, {1, 0, 0}};
    for (const auto &c : cases) {
        vokey &key = makeKey();
        key.setheight(c.height);
        EXPECT_EQ(key.Height(), c.height);
        EXPECT_EQ(key.textsize, c.textsize) << c.height;
        EXPECT_EQ(key.rad, c.rad) << c.height;
    }
}

TEST_F(VokeyTest, SettersRedrawAsTheyShould)
{
    const struct {
        const char *name;
        std::function<void(vokey &)> run;
        int redraws;
        std::function<void(const vokey &)> check;
    } cases[] = {
        {"new caption", [](vokey &k) { k.setcaption("Abort"); }, 1,
         [](const vokey &k) { EXPECT_EQ(k.caption, "Abort"); }},
        {"caption in other case",
         [](vokey &k) {
             k.caption = "Abort";
             k.setcaption("ABORT");
         },
         0, [](const vokey &k) { EXPECT_EQ(k.caption, "Abort"); }},
        {"same lit", [](vokey &k) { k.setlit(false); }, 0, nullptr},
        {"new lit", [](vokey &k) { k.setlit(true); }, 1, [](const vokey &k) { EXPECT_TRUE(k.lit); }},
        {"colour while unlit", [](vokey &k) { k.setcolor("Lime"); }, 1, nullptr},
        {"same kursor", [](vokey &k) { k.setkursor(0); }, 0, nullptr},
        {"new kursor", [](vokey &k) { k.setkursor(3); }, 1, [](const vokey &k) { EXPECT_EQ(k.kursor, 3); }},
        {"same rad", [](vokey &k) { k.setrad(6); }, 1, nullptr},
        {"same textsize", [](vokey &k) { k.settextsize(12); }, 1, nullptr},
        {"height", [](vokey &k) { k.setheight(25); }, 1, nullptr},
        {"direct writes", [](vokey &k) { k.lit = true, k.caption = "x", k.offcolor = 0x123456; }, 0, nullptr},
        {"lit caption while unlit", [](vokey &k) { k.Setlitcaption("On"); }, 0,
         [](const vokey &k) {
             EXPECT_EQ(k.litcaption, "On");
             EXPECT_TRUE(k.flitcaption);
         }},
        {"lit caption while lit",
         [](vokey &k) {
             k.lit = true;
             k.Setlitcaption("On");
         },
         1, nullptr},
        {"lit caption in other case",
         [](vokey &k) {
             k.lit = true, k.litcaption = "On", k.flitcaption = true;
             k.Setlitcaption("ON");
         },
         0, nullptr},
        {"empty lit caption",
         [](vokey &k) {
             k.lit = true, k.litcaption = "On", k.flitcaption = true;
             k.Setlitcaption("");
         },
         1, [](const vokey &k) { EXPECT_FALSE(k.flitcaption); }},
        {"toggle twice, shown between",
         [](vokey &k) {
             k.Toglit();
             (void)k.surface();
             k.Toglit();
         },
         2, [](const vokey &k) { EXPECT_FALSE(k.lit); }},
        {"several changes before it is shown",
         [](vokey &k) {
             k.setcolor("red");
             k.setlit(true);
             k.setcaption("Midi OK");
         },
         1, nullptr},
        {"tag 18", [](vokey &k) { k.settag(18); }, 1,
         [](const vokey &k) {
             EXPECT_EQ(k.caption, "On");
             EXPECT_EQ(k.litcolor, 0xFF0000u);
             EXPECT_EQ(k.TextLitcolor, 0xFFFFFFu);
             EXPECT_FALSE(k.lit);
         }},
        {"tag 19", [](vokey &k) { k.settag(19); }, 1,
         [](const vokey &k) {
             EXPECT_EQ(k.caption, "Off");
             EXPECT_TRUE(k.lit);
             EXPECT_EQ(k.litcolor, 0x00FF40u);
         }},
        {"same tag",
         [](vokey &k) {
             k.Tag = 18;
             k.settag(18);
         },
         0, [](const vokey &k) { EXPECT_EQ(k.caption, ""); }},
        {"tag without caption", [](vokey &k) { k.settag(7); }, 1,
         [](const vokey &k) { EXPECT_EQ(k.caption, "???"); }},
        {"tag number", [](vokey &k) { k.settagnum(133); }, 1,
         [](const vokey &k) {
             EXPECT_EQ(k.caption, "133");
             EXPECT_EQ(k.Tag, 133);
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        vokey &key = makeKey();
        c.run(key);
        (void)key.surface();
        EXPECT_EQ(key.redraws, c.redraws);
        if (c.check)
            c.check(key);
    }
}

TEST_F(VokeyTest, SetcolorChoosesTheLitColoursByName)
{
    const struct {
        const char *scheme;
        rb::Color fill, text;
    } cases[] = {{"red", 0xFF0000, 0xFFFFFF},   {"Red", 0xFF0000, 0xFFFFFF},  {"RED", 0xFF0000, 0xFFFFFF},
                 {"lime", 0x00FF00, 0x000000},  {"Lime", 0x00FF00, 0x000000}, {"", 0xC5FFC5, 0x000000},
                 {"green", 0xC5FFC5, 0x000000}, {"red ", 0xC5FFC5, 0x000000}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.scheme);
        vokey &key = makeKey();
        key.offcolor = 0x112233;
        key.TextOffColor = 0x445566;
        key.TextLitcolor = 0x777777;
        key.setcolor(QString::fromLatin1(c.scheme));
        EXPECT_EQ(key.litcolor, c.fill);
        EXPECT_EQ(key.TextLitcolor, c.text);
        EXPECT_EQ(key.offcolor, 0x112233u);
        EXPECT_EQ(key.TextOffColor, 0x445566u);
    }
}

TEST_F(VokeyTest, OpeningTakesTheFontAndHeightThenRaisesOpen1)
{
    const struct {
        const char *basefont;
        const char *font;
    } cases[] = {{nullptr, "Tahoma"}, {"", "Tahoma"}, {"DejaVu Sans", "DejaVu Sans"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.font);
        korvane::config::release();
        if (c.basefont) {
            korvane::config::parray[0] = QStringLiteral("basefont");
            korvane::config::parray[1] = QString::fromLatin1(c.basefont);
        }
        rb::Window w(QStringLiteral("open"), 0, 0, 200, 100);
        vokey &key = w.add<vokey>(QStringLiteral("showmidi"), 10, 10, 150, 25);
        key.Textfont = QStringLiteral("Courier");
        int opened = 0;
        key.open1 = [&](vokey &k) {
            ++opened;
            EXPECT_EQ(&k, &key);
            EXPECT_EQ(k.textsize, 14) << "height handled before open1";
        };
        w.Show();
        EXPECT_EQ(opened, 1);
        EXPECT_EQ(key.Textfont, QString::fromLatin1(c.font));
        EXPECT_EQ(key.textsize, 14);
        w.Hide();
    }
}

TEST_F(VokeyTest, PaintRedrawsAndEachPressRaisesActionOnce)
{
    vokey &key = makeKey();
    int actions = 0;
    key.action = [&](vokey &k) {
        ++actions;
        EXPECT_EQ(&k, &key);
    };
    win.Show();
    const int before = key.redraws;
    const QImage shown = key.widget()->grab().toImage();
    EXPECT_GT(key.redraws, before) << "a paint draws the key";
    EXPECT_EQ(shown.pixel(3, 12), solid(key.offcolor));

    auto send = [&](QEvent::Type type, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(5, 5), QPointF(15, 15), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(key.widget(), &e);
        return e.isAccepted();
    };
    for (int press = 1; press <= 3; ++press) {
        EXPECT_TRUE(send(QEvent::MouseButtonPress, Qt::LeftButton)) << "the key claims the press";
        EXPECT_EQ(actions, press) << "raised at the press";
        send(QEvent::MouseButtonRelease, Qt::NoButton);
        EXPECT_EQ(actions, press) << "not again at the release";
    }
    EXPECT_FALSE(key.lit) << "a press changes nothing by itself";
    win.Hide();
}

} // namespace
