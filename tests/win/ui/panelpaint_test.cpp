// The panel's painting: header images, the frame, the counter, the current
// item's preview and the footer, painted into a memory device context.
#include "support.h"

#include "collection/slots.h"
#include "shell/globals.h"
#include "ui/fonts.h"
#include "ui/panel.h"
#include "ui/panelpaint.h"

namespace {

const int W = 180, H = 620;

class PanelPaintTest : public UiTest {
protected:
    int L() const { return logoInfo.bmHeight; }
    void Paint(Canvas &canvas)
    {
        RECT client = {0, 0, W, H};
        DrawPanel(canvas.dc(), client);
    }
    // The counter box without the frame lines that cross it.
    RECT CounterInside() const { return {W - 28, L() + 41, W - 5, L() + 56}; }
    bool CounterShows(const wchar_t *text)
    {
        Canvas actual(W, H), expected(W, H);
        Paint(actual);
        RECT box = {W - 28, L() + 41, W - 3, L() + 59};
        DrawReference(expected, text, box, DT_SINGLELINE | DT_VCENTER | DT_CENTER,
                      &regularFontTemplate, 8, PANEL_TEXT_COLOR, OPAQUE);
        return actual.SameAs(expected, CounterInside());
    }
};

TEST_F(PanelPaintTest, FrameIsDrawnInItsColourAtEveryCorner)
{
    Canvas canvas(W, H);
    Paint(canvas);
    const POINT corners[] = {{2, L() + 2}, {W - 3, L() + 2}, {W - 3, L() + 58}, {2, L() + 58}};
    for (POINT p : corners) {
        EXPECT_EQ(canvas.At(p.x, p.y), PANEL_FRAME_COLOR) << p.x << ", " << p.y;
        // Three pixels wide: one pixel either side of the line.
        EXPECT_EQ(canvas.At(p.x + 1, p.y), PANEL_FRAME_COLOR) << p.x << ", " << p.y;
        EXPECT_EQ(canvas.At(p.x - 1, p.y), PANEL_FRAME_COLOR) << p.x << ", " << p.y;
        EXPECT_EQ(canvas.At(p.x, p.y + 1), PANEL_FRAME_COLOR) << p.x << ", " << p.y;
        EXPECT_EQ(canvas.At(p.x, p.y - 1), PANEL_FRAME_COLOR) << p.x << ", " << p.y;
    }
    EXPECT_EQ(canvas.At(W / 2, L() + 1), PANEL_FRAME_COLOR);
    EXPECT_EQ(canvas.At(W / 2, L() + 5), RGB(255, 255, 255)) << "inside the frame";
}

TEST_F(PanelPaintTest, HeaderCombinesSkyLogoAndButtonGlyphs)
{
    Canvas actual(W, H), sky(W, H), logo(W, H), sys(W, H);
    Paint(actual);
    BlitReference(sky, skyBitmap, skyInfo, 0, 0);
    int logoX = W / 2 - logoInfo.bmWidth / 2;
    BlitReference(logo, logoBitmap, logoInfo, logoX, 0);
    BlitReference(sys, sysBitmap, sysInfo, W - sysInfo.bmWidth, 0);
    // Sky alone left of the logo; the logo alone between the sky's end and
    // the glyphs; the glyphs ANDed onto white.
    RECT skyOnly = {0, 0, logoX, L()};
    EXPECT_TRUE(actual.SameAs(sky, skyOnly));
    RECT logoOnly = {skyInfo.bmWidth, sysInfo.bmHeight, logoX + logoInfo.bmWidth, L()};
    EXPECT_TRUE(actual.SameAs(logo, logoOnly));
    RECT glyphs = {W - sysInfo.bmWidth, 0, W, sysInfo.bmHeight};
    EXPECT_TRUE(actual.SameAs(sys, glyphs));
    // Below the images the header strip is white down to L + 60.
    EXPECT_EQ(actual.At(W / 2, L() + 30), RGB(255, 255, 255));
    // And it combines: where the logo overlaps the sky, the result is their AND.
    int x = logoX + 5, y = 20;
    COLORREF a = sky.At(x, y), b = logo.At(x, y);
    EXPECT_EQ(actual.At(x, y), RGB(GetRValue(a) & GetRValue(b), GetGValue(a) & GetGValue(b),
                                   GetBValue(a) & GetBValue(b)));
}

TEST_F(PanelPaintTest, CounterShowsTheCurrentSlotOrAStar)
{
    EXPECT_TRUE(CounterShows(L"[*]")) << "no slot current";
    StoreMissing(0, SLOT_OCCUPIED | SLOT_CURRENT);
    EXPECT_TRUE(CounterShows(L"[*]")) << "the incoming slot current";
    EXPECT_FALSE(CounterShows(L"[5]"));
    StoreMissing(0, SLOT_OCCUPIED);
    StoreMissing(5, SLOT_OCCUPIED | SLOT_CURRENT);
    EXPECT_TRUE(CounterShows(L"[5]"));
    EXPECT_FALSE(CounterShows(L"[*]"));
}

TEST_F(PanelPaintTest, PreviewOfTheCurrentItemAndTheFooter)
{
    StoreText(3, "current item", SLOT_OCCUPIED | SLOT_CURRENT);
    StoreText(1, "other item", SLOT_OCCUPIED);
    Canvas actual(W, H), expected(W, H);
    Paint(actual);
    RECT previewBox = {8, L() + 8, W - 8, L() + 52};
    DrawReference(expected, L"current item", previewBox, DT_EXPANDTABS | DT_WORDBREAK,
                  &regularFontTemplate, 8, RGB(0, 0, 0), OPAQUE);
    RECT firstLine = {8, L() + 8, W - 30, L() + 40};
    EXPECT_TRUE(actual.SameAs(expected, firstLine));

    RECT footer = {0, H - 20, W, H};
    DrawReference(expected, L"Tarn's Clipboard 2006", footer,
                  DT_SINGLELINE | DT_VCENTER | DT_CENTER, &boldFontTemplate, 8, PANEL_TEXT_COLOR,
                  TRANSPARENT);
    EXPECT_TRUE(actual.SameAs(expected, footer));
    EXPECT_GT(actual.CountColor(footer, PANEL_TEXT_COLOR), 20);
}

TEST_F(PanelPaintTest, ScrollPositionAbove32IsLoweredAtPaint)
{
    Canvas canvas(W, H);
    for (DWORD from : {40u, 32u, 7u}) {
        listTopRow = from;
        Paint(canvas);
        EXPECT_EQ(listTopRow, from > 32 ? 32u : from);
    }
}

TEST_F(PanelPaintTest, FontsComeFromTheTemplates)
{
    EXPECT_EQ(regularFontTemplate.lfWeight, 500);
    EXPECT_EQ(boldFontTemplate.lfWeight, 700);
    Canvas canvas(10, 10);
    HFONT font = CreateUiFont(&boldFontTemplate, 10, canvas.dc());
    ASSERT_NE(font, (HFONT)NULL);
    LOGFONTA made;
    GetObjectA(font, sizeof made, &made);
    EXPECT_EQ(made.lfHeight, -MulDiv(10, GetDeviceCaps(canvas.dc(), LOGPIXELSY), 72));
    EXPECT_STREQ(made.lfFaceName, "Tahoma");
    EXPECT_EQ(made.lfWeight, 700);
    EXPECT_EQ(made.lfQuality, 6);
    EXPECT_EQ(made.lfPitchAndFamily, FF_ROMAN);
    DeleteObject(font);
}

}  // namespace
